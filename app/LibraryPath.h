#pragma once

#include <QString>
#include <QStringList>

// Where the program looks for the device plug-ins first: the directory
// "mydlls" beside the executable and the installed plug-in directory,
// searched in that order before the system loader's own search path.
namespace LibraryPath {

// Remembers the directory searched first for libraries loaded by name.
void setLibraryDirectory(const QString &dir);

// Remembers the directories searched, in order, for libraries loaded by name.
void setLibraryDirectories(const QStringList &dirs);

// The first directory set above, or an empty string when none was set.
QString libraryDirectory();

// All directories set above, in search order.
QStringList libraryDirectories();

// The full path of the platform's file for the library called `connector`
// (for example "<dir>/libtm4040.so" for "tm4040") when that file exists in
// one of the library directories (the first that has it); otherwise
// `connector` unchanged, so that QLibrary falls back to the loader's own
// search.
QString resolve(const QString &connector);

} // namespace LibraryPath
