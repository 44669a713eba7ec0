#include "ui/ProgrammSettingsDialog.h"

ProgrammSettingsDialog::ProgrammSettingsDialog(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("ProgrammSettingsDialog"));
}
