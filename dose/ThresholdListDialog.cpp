#include "dose/ThresholdListDialog.h"

ThresholdListDialog::ThresholdListDialog(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("ThresholdListDialog"));
}
