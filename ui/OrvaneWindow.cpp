#include "ui/OrvaneWindow.h"

OrvaneWindow::OrvaneWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(QString::fromUtf8("КВР-ТМ4040"));
}
