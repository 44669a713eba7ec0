#include "device/ResetDoseDialog.h"
#include "ui_ResetDoseDialog.h"

#include "app/ConfirmCredentialsDialog.h"
#include "db/AuditOperation.h"
#include "db/DataBase.h"
#include "db/DoseUnits.h"
#include "device/DeviceConnection.h"
#include "device/ResetDoseWorker.h"

ResetDoseDialog::ResetDoseDialog(DeviceConnection *connection, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::ResetDoseDialog)
    , m_connection(connection)
{
    ui->setupUi(this);
    if (const DeviceInfo *info = m_connection ? m_connection->info() : nullptr)
        setWindowTitle(tr("Доза прибора: %1#%2").arg(info->name).arg(info->serialNumber));
    // The title may not be shown (or read); the form says it too.
    ui->deviceLabel->setText(tr("Накопленная доза прибора %1")
                                 .arg(m_connection ? m_connection->deviceText() : QString()));
    for (int channel = 0; channel < VDB::ChannelCount; ++channel)
        ui->channelComboBox->addItem(VDB::channelName(channel));
    ui->channelComboBox->setCurrentIndex(VDB::Gamma);
    ui->doseLabel->setText(QStringLiteral("0.0000 %1").arg(DoseUnits::currentMilliUnitName()));
    ui->resetPushButton->hide();
    if (m_connection && m_connection->plugin() && m_connection->plugin()->isSingleChannel()) {
        ui->channelComboBox->hide();
        ui->channelLabel->hide();
    }

    connect(ui->channelComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ResetDoseDialog::channelChanged);
    connect(this, &ResetDoseDialog::formLoaded, this, &ResetDoseDialog::readDose,
            static_cast<Qt::ConnectionType>(Qt::QueuedConnection | Qt::UniqueConnection));
    connect(ui->resetPushButton, &QPushButton::clicked, this, &ResetDoseDialog::resetClicked);
    connect(ui->closePushButton, &QPushButton::clicked, this, &ResetDoseDialog::accept);
}

ResetDoseDialog::~ResetDoseDialog()
{
    m_worker.join();
}

void ResetDoseDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // The first reading starts once the window is on screen.
    if (!m_shown) {
        m_shown = true;
        emit formLoaded();
    }
}

void ResetDoseDialog::readDose()
{
    startWorker(true);
}

void ResetDoseDialog::resetClicked()
{
    if (m_busy)
        return;
    if (!m_connection)
        return;
    if (!ConfirmCredentialsDialog::confirmAdministrator(
            this, tr("Сброс накопленной дозы прибора %1").arg(m_connection->deviceText())))
        return;
    m_doseBeforeReset = ui->doseLabel->text();
    m_resetting = true;
    startWorker(false);
}

void ResetDoseDialog::startWorker(bool read)
{
    if (m_busy || !m_connection || !m_connection->info())
        return;
    m_busy = true;
    ui->resetPushButton->setEnabled(false);
    ui->closePushButton->setEnabled(false);
    ui->progressBar->setRange(0, 0);
    ui->progressBar->setValue(0);

    auto *worker = new ResetDoseWorker(m_connection, read);
    m_worker.start(worker, &ResetDoseWorker::finished);
    connect(worker, &ResetDoseWorker::finished, this, &ResetDoseDialog::finish);
    connect(worker, &ResetDoseWorker::doseReaded, this, &ResetDoseDialog::processDose);
    m_worker.run();
}

void ResetDoseDialog::processDose(VDB::Channel channel, double doseLevel)
{
    if (channel >= 0 && channel < ui->channelComboBox->count())
        ui->channelComboBox->setItemData(channel, doseLevel);
}

void ResetDoseDialog::finish(bool result)
{
    m_worker.join();
    m_busy = false;
    if (m_resetting && result) {
        VDB::DataBase::instance()->recordOperation(VDB::AuditOperation::DoseReset,
                                                   m_connection->deviceText(),
                                                   tr("доза до сброса: %1").arg(m_doseBeforeReset));
    }
    m_resetting = false;
    ui->closePushButton->setEnabled(true);
    ui->resetPushButton->setEnabled(true);
    ui->resetPushButton->setVisible(result);
    ui->progressBar->setRange(0, 100);
    ui->progressBar->setValue(100);
    channelChanged();
}

void ResetDoseDialog::channelChanged()
{
    const QVariant data = ui->channelComboBox->currentData();
    const DoseUnits::Scaled scaled = DoseUnits::scale(data.isValid() ? data.toDouble() : 0.0);
    ui->doseLabel->setText(QStringLiteral("%1 %2").arg(scaled.number, 0, 'f', 4).arg(scaled.unit));
}

void ResetDoseDialog::reject()
{
    if (m_busy)
        return;
    QDialog::reject();
}
