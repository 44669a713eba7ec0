#pragma once

#include <QString>

class QMainWindow;
class QWidget;

// What an operator arranged on this workstation: the main window's place
// and size, the width of its tree column, the panes of its splitters and
// the columns of its tables. Kept in the per-user settings of the machine
// (QSettings), not in the shared database: every desk has its own screen.
class WorkstationLayout
{
public:
    // Puts back what save() kept; without it, a size that fits the screen.
    static void restore(QMainWindow *window);
    static void save(const QMainWindow *window);

    // The settings group under which a window's layout is kept.
    static QString groupOf(const QWidget *window);
};
