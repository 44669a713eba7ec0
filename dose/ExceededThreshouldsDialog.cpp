#include "dose/ExceededThreshouldsDialog.h"

ExceededThreshouldsDialog::ExceededThreshouldsDialog(bool, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("ExceededThreshouldsDialog"));
}
