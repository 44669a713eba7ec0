#include "ui/DeviceUsageDialog.h"

DeviceUsageDialog::DeviceUsageDialog(const SharedGroup &, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("DeviceUsageDialog"));
}
