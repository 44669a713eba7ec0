#pragma once

#include <QMainWindow>

// The program's main window.
class OrvaneWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit OrvaneWindow(QWidget *parent = nullptr);
};
