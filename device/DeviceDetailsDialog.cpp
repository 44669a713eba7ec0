#include "device/DeviceDetailsDialog.h"
#include "ui_DeviceDetailsDialog.h"

#include "device/PluginInterface.h"
#include "report/RussianFormat.h"

#include <QPushButton>

namespace {

QString dateTimeText(const QDateTime &dateTime, QString (*format)(const QDateTime &))
{
    return dateTime.isNull() ? QStringLiteral("—") : format(dateTime);
}

} // namespace

DeviceDetailsDialog::DeviceDetailsDialog(const DeviceInfo *info, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::DeviceDetailsDialog)
{
    ui->setupUi(this);
    ui->buttonBox->button(QDialogButtonBox::Ok)->setText(tr("Продолжить"));
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &DeviceDetailsDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &DeviceDetailsDialog::reject);
    if (!info)
        return;
    ui->deviceGroupBox->setTitle(info->name);
    ui->deviceNumberLabel->setText(QString::number(info->serialNumber));
    ui->firmwareLabel->setText(QString::number(quint8(info->firmwareVersion), 16));
    ui->creationDateLabel->setText(dateTimeText(info->manufactureDate, &RussianFormat::dateTime));
    ui->deviceTimeLabel->setText(dateTimeText(info->deviceTime, &RussianFormat::recordTime));
    ui->accumulatedEDLabel->setText(tr("%1 мЗв").arg(info->accumulatedDose, 0, 'f', 3));
    ui->historyCountLabel->setText(QString::number(info->historyCount));
    ui->historyTypeLabel->setText(info->cyclicHistory ? tr("Циклическая") : tr("Линейная"));
}

DeviceDetailsDialog::~DeviceDetailsDialog() = default;
