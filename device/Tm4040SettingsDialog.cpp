#include "device/Tm4040SettingsDialog.h"
#include "ui_Tm4040SettingsDialog.h"

#include "db/AuditOperation.h"
#include "db/DataBase.h"
#include "device/DeviceConnection.h"

#include <QApplication>
#include <QDebug>
#include <QMessageBox>

namespace {

// The wait cursor while the GUI thread waits for the device.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

} // namespace

Tm4040SettingsDialog::Tm4040SettingsDialog(DeviceConnection *connection, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::Tm4040SettingsDialog)
    , m_connection(connection)
{
    ui->setupUi(this);
    connect(ui->writeSettingsPushButton, &QPushButton::clicked, this,
            &Tm4040SettingsDialog::writeSettings);
    connect(ui->readSettingsPushButton, &QPushButton::clicked, this,
            &Tm4040SettingsDialog::readSettings);
    connect(ui->closePushButton, &QPushButton::clicked, this, &Tm4040SettingsDialog::reject);
    readSettings();
}

Tm4040SettingsDialog::~Tm4040SettingsDialog() = default;

AbstractPlugin *Tm4040SettingsDialog::plugin() const
{
    return m_connection ? m_connection->plugin() : nullptr;
}

void Tm4040SettingsDialog::readSettings()
{
    qDebug() << "Tm4040SettingsDialog::readSettings";
    bool ok = false;
    if (AbstractPlugin *p = plugin()) {
        WaitCursor wait;
        ok = p->readSettings(&m_settings);
    }
    if (!ok) {
        QMessageBox::critical(this, tr("Ошибка"), tr("Операция завершилась с ошибкой"));
        return;
    }
    if (const DeviceInfo *info = m_connection->info()) {
        ui->serialNumberLabel->setText(QString::number(info->serialNumber));
        ui->firmwareVersionLabel->setText(
            QString::number(quint8(info->firmwareVersion), 16).toUpper());
    }
    ui->medThresholdDoubleSpinBox->setValue(m_settings.medThreshold);
    ui->edThresholdDoubleSpinBox->setValue(m_settings.edThreshold);
    ui->accumulatedDoseLabel->setText(tr("%1 мЗв").arg(m_settings.accumulatedDose, 0, 'f', 3));
    ui->historyStepHoursSpinBox->setValue(m_settings.historyStepHours);
    ui->historyStepMinutesSpinBox->setValue(m_settings.historyStepMinutes);
    ui->historyStepSecondsSpinBox->setValue(m_settings.historyStepSeconds);
    ui->nextHistoryRecordTimeEdit->setTime(QTime(
        m_settings.nextRecordHours, m_settings.nextRecordMinutes, m_settings.nextRecordSeconds));
    ui->cyclicHistoryRadioButton->setChecked(m_settings.cyclicHistory);
    ui->linearHistoryRadioButton->setChecked(!m_settings.cyclicHistory);
    ui->historyEventsCountLabel->setText(QString::number(m_settings.historyEventsCount));
    ui->alarmEnabledCheckBox->setChecked(m_settings.alarmEnabled);
    ui->alarmTimeEdit->setTime(QTime(m_settings.alarmHour, m_settings.alarmMinute));
}

void Tm4040SettingsDialog::writeSettings()
{
    AbstractPlugin *p = plugin();
    if (!p)
        return;
    m_settings.medThreshold = ui->medThresholdDoubleSpinBox->value();
    m_settings.edThreshold = ui->edThresholdDoubleSpinBox->value();
    m_settings.historyStepHours = quint8(ui->historyStepHoursSpinBox->value());
    m_settings.historyStepMinutes = quint8(ui->historyStepMinutesSpinBox->value());
    m_settings.historyStepSeconds = quint8(ui->historyStepSecondsSpinBox->value());
    m_settings.cyclicHistory = ui->cyclicHistoryRadioButton->isChecked();
    m_settings.clearHistoryOnWrite = ui->clearHistoryRadioButton->isChecked();
    m_settings.alarmEnabled = ui->alarmEnabledCheckBox->isChecked();
    m_settings.alarmHour = quint8(ui->alarmTimeEdit->time().hour());
    m_settings.alarmMinute = quint8(ui->alarmTimeEdit->time().minute());
    m_settings.resetAccumulatedDose = ui->resetAccumulatedDoseRadioButton->isChecked();

    bool written;
    {
        WaitCursor wait;
        written = p->writeSettings(&m_settings, false);
    }
    if (!written) {
        QMessageBox::critical(this, tr("Ошибка"), tr("Не удалось записать настройки"));
        return;
    }
    if (ui->syncTimeRadioButton->isChecked()) {
        bool synchronized;
        {
            WaitCursor wait;
            synchronized = p->writeTime(QDateTime::currentDateTime());
        }
        if (!synchronized) {
            QMessageBox::critical(this, tr("Ошибка"), tr("Не удалось синхронизировать время."));
            return;
        }
    }
    VDB::DataBase::instance()->recordOperation(VDB::AuditOperation::DeviceSettingsWritten,
                                               m_connection->deviceText(), writtenText());
    ui->syncTimeRadioButton->setChecked(false);
    ui->clearHistoryRadioButton->setChecked(false);
    ui->resetAccumulatedDoseRadioButton->setChecked(false);
    readSettings();
    ui->clearHistoryRadioButton->setChecked(false);
    ui->resetAccumulatedDoseRadioButton->setChecked(false);
    QMessageBox::information(this, tr("Готово"), tr("Настройки записаны"));
    readSettings();
}

QString Tm4040SettingsDialog::writtenText() const
{
    const auto yesNo = [](bool value) {
        return value ? tr("да") : tr("нет");
    };
    QStringList parts;
    parts << tr("порог ЭД %1 мЗв").arg(m_settings.edThreshold, 0, 'f', 3)
          << tr("порог МЭД %1 мЗв/ч").arg(m_settings.medThreshold, 0, 'f', 2)
          << tr("шаг записи %1:%2:%3")
                 .arg(m_settings.historyStepHours, 2, 10, QLatin1Char('0'))
                 .arg(m_settings.historyStepMinutes, 2, 10, QLatin1Char('0'))
                 .arg(m_settings.historyStepSeconds, 2, 10, QLatin1Char('0'))
          << tr("история %1").arg(m_settings.cyclicHistory ? tr("циклическая") : tr("линейная"))
          << tr("будильник %1 %2:%3")
                 .arg(m_settings.alarmEnabled ? tr("вкл.") : tr("выкл."))
                 .arg(m_settings.alarmHour, 2, 10, QLatin1Char('0'))
                 .arg(m_settings.alarmMinute, 2, 10, QLatin1Char('0'))
          << tr("очистка журнала: %1").arg(yesNo(m_settings.clearHistoryOnWrite));
    if (m_settings.resetAccumulatedDose)
        parts << tr("сброс накопленной дозы, до сброса %1 мЗв")
                     .arg(m_settings.accumulatedDose, 0, 'f', 3);
    parts << tr("синхронизация времени: %1").arg(yesNo(ui->syncTimeRadioButton->isChecked()));
    return parts.join(QStringLiteral("; "));
}
