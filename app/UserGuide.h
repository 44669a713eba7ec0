#pragma once

#include <QString>
#include <QStringList>

// Where the operator's guide, "User guide.pdf", is found: in the folder
// "help" beside the executable in the build tree, or in the installed help
// folder. The folders are set once at start-up.
namespace UserGuide {

// The guide's file name.
QString fileName();

// Remembers the folders searched for the guide, in order.
void setSearchDirectories(const QStringList &dirs);
QStringList searchDirectories();

// The full path of the guide in the first folder that has it, or an empty
// string when none has.
QString find();

// Where the guide was expected: its path in each folder searched.
QStringList expectedPaths();

// False when the desktop says it has no program for PDF files
// (xdg-mime knows none); true when it has one or cannot tell.
bool desktopHasPdfViewer();

} // namespace UserGuide
