#pragma once

#include <QString>
#include <QStringList>

// Where the program's parts lie relative to its executable: in the build
// tree the plug-ins and the user guide sit beside it ("mydlls", "help");
// once installed they sit under the prefix's library and data folders. The
// installed places are found relative to the executable, so an installed
// tree works wherever it was installed to.
namespace InstallLayout {

// The program's version, as the package carries it.
QString version();

// The developer's web site.
QString homepage();

// The folders searched for device plug-ins, in order.
QStringList pluginDirectories(const QString &executableDir);

// The folders searched for the user guide, in order.
QStringList helpDirectories(const QString &executableDir);

} // namespace InstallLayout
