#pragma once

#include <QString>

// Where the program looks for the device plug-ins first: the directory
// "mydlls" beside the executable, searched before the system loader's own
// search path.
namespace LibraryPath {

// Remembers the directory searched first for libraries loaded by name.
void setLibraryDirectory(const QString &dir);

// The directory set above, or an empty string when none was set.
QString libraryDirectory();

// The full path of the platform's file for the library called `connector`
// (for example "<dir>/libtm4040.so" for "tm4040") when that file exists in
// the library directory; otherwise `connector` unchanged, so that QLibrary
// falls back to the loader's own search.
QString resolve(const QString &connector);

} // namespace LibraryPath
