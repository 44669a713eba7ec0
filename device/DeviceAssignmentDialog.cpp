#include "device/DeviceAssignmentDialog.h"
#include "ui_DeviceAssignmentDialog.h"

#include "db/DataBase.h"
#include "device/DeviceConnection.h"
#include "report/RussianFormat.h"

#include <QCalendarWidget>
#include <QMessageBox>

DeviceAssignmentDialog::DeviceAssignmentDialog(DeviceConnection *connection, const SharedUser &user,
                                               QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::DeviceAssignmentDialog)
    , m_connection(connection)
    , m_user(user)
{
    ui->setupUi(this);
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &DeviceAssignmentDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &DeviceAssignmentDialog::reject);

    const QDateTime now = QDateTime::currentDateTime();
    ui->assignmentDateEdit->setDate(now.date());
    ui->assignmentTimeEdit->setTime(now.time());
    ui->assignmentDateEdit->calendarWidget()->setFirstDayOfWeek(Qt::Monday);

    const QDateTime deviceTime = m_connection && m_connection->plugin()
        ? m_connection->plugin()->readDeviceTime()
        : QDateTime();
    ui->currentDeviceTimeLabel->setText(
        deviceTime.isNull() ? tr("ОШИБКА!") : RussianFormat::recordTime(deviceTime));
}

DeviceAssignmentDialog::~DeviceAssignmentDialog() = default;

void DeviceAssignmentDialog::accept()
{
    if (!m_user || !m_connection || !m_connection->info())
        return;
    AbstractPlugin *plugin = m_connection->plugin();
    QDateTime assignmentTime;
    if (ui->assignmentTimeGroupBox->isChecked())
        assignmentTime = QDateTime(ui->assignmentDateEdit->date(), ui->assignmentTimeEdit->time());
    if (ui->synchronizeTimeGroupBox->isChecked())
        plugin->writeTime(QDateTime::currentDateTime());
    // Devices that keep their owner's data (not the TM4040, a single-channel
    // device) would get it written here; no plug-in of that kind exists.

    if (!VDB::DataBase::instance()->assignDevice(m_user, m_connection->deviceType(),
                                                 m_connection->info()->serialNumber, assignmentTime,
                                                 ui->commentTextEdit->toPlainText())) {
        // Closing as if assigned would hide that nothing was stored.
        QMessageBox::critical(this, tr("Ошибка"), tr("Не удалось назначить прибор"));
        return;
    }
    QDialog::accept();
}
