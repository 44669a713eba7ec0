#include "device/ReadHistoryDialog.h"
#include "ui_ReadHistoryDialog.h"

#include "app/ConfirmCredentialsDialog.h"
#include "db/DataBase.h"
#include "device/ConnectorHelper.h"

#include <QMessageBox>
#include <QPushButton>

namespace {

DeviceType *assignedType(const SharedUser &user)
{
    return user && user->device ? user->device->type : nullptr;
}

} // namespace

ReadHistoryDialog::ReadHistoryDialog(const SharedUser &user, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::ReadHistoryDialog)
    , m_user(user)
    , m_connection(assignedType(user))
{
    ui->setupUi(this);
    ui->buttonBox->button(QDialogButtonBox::Ok)->setText(tr("Чтение истории"));
    ui->buttonBox->button(QDialogButtonBox::Close)->setText(tr("Закрыть"));
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &ReadHistoryDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &ReadHistoryDialog::reject);

    const Options &options = VDB::DataBase::instance()->options();
    ui->delHistoryCheckBox->setChecked(options.delHistory);
    ui->turnOffCheckBox->setChecked(options.turnOffDevice);
    ui->unlinkDeviceCheckBox->setChecked(options.undockDevice);
    ui->synchTimeCheckBox->setChecked(options.synchronizeDate);

    if (!m_user)
        return;
    ui->nameLabel->setText(m_user->fullName());
    QPixmap photo = m_user->photo;
    if (photo.isNull())
        photo.load(QStringLiteral(":/images/resources/pics/blank_user.png"));
    if (!photo.isNull())
        photo = photo.scaled(ui->photoLabel->maximumSize(), Qt::KeepAspectRatio,
                             Qt::SmoothTransformation);
    ui->photoLabel->setPixmap(photo);
    if (const SharedDevice device = m_user->device) {
        ui->typeLabel->setText(device->type ? device->type->name : QString());
        ui->serialLabel->setText(QString::number(device->serial));
        ui->assignedLabel->setText(
            device->assignDate.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")));
    }
}

ReadHistoryDialog::~ReadHistoryDialog()
{
    if (m_stop)
        m_stop->store(true);
    emit stopReading();
    m_worker.join();
}

void ReadHistoryDialog::accept()
{
    switch (m_state) {
    case Reading:
        cancelReading();
        return;
    case Connecting:
    case Cancelling:
        // One device call at a time: wait for the running one to end.
        return;
    case Idle:
        break;
    }
    if (!m_user || !m_user->device)
        return;
    // Looking for the assigned device may take the plug-in's whole answer
    // time, so it runs on a worker thread like the download.
    setState(Connecting);
    auto *helper = new ConnectorHelper(&m_connection, m_user->device->serial);
    m_worker.start(helper, &ConnectorHelper::finished);
    connect(helper, &ConnectorHelper::finished, this, &ReadHistoryDialog::connected);
    m_worker.run();
}

void ReadHistoryDialog::reject()
{
    if (m_state == Reading)
        cancelReading();
    if (m_state != Idle)
        return;
    QDialog::reject();
}

void ReadHistoryDialog::connected(bool found)
{
    m_worker.join();
    setState(Idle);
    if (!found) {
        const auto answer = QMessageBox::critical(
            this, tr("Внимание"),
            tr("Ошибка при работе с прибором:\n\nНа доступных портах прибор не найден\n\n"
               "История не будет записана в БД. Продолжить?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return;
        if (!ConfirmCredentialsDialog::confirmAdministrator(this))
            return;
    }
    if (m_connection.hasDevice()) {
        startReading();
        return;
    }
    // An administrator confirmed going on without the device.
    if (ui->unlinkDeviceCheckBox->isChecked())
        VDB::DataBase::instance()->unassignDevice(m_user);
    QDialog::accept();
}

void ReadHistoryDialog::startReading()
{
    setState(Reading);
    if (ui->synchTimeCheckBox->isChecked())
        m_connection.plugin()->writeTime(QDateTime::currentDateTime());
    m_reading = true;
    m_events.clear();

    auto *reader = new HistoryReader(&m_connection);
    m_stop = reader->stopFlag();
    m_worker.start(reader, &HistoryReader::finished);
    connect(reader, &HistoryReader::finished, this, &ReadHistoryDialog::historyReaded);
    connect(reader, &HistoryReader::eventReaded, this, &ReadHistoryDialog::addEvent);
    connect(reader, &HistoryReader::inProgress, this, &ReadHistoryDialog::showProgress);
    connect(this, &ReadHistoryDialog::stopReading, reader, &HistoryReader::stop);
    m_worker.run();
}

void ReadHistoryDialog::showProgress(int percent)
{
    if (ui->progressBar->maximum() == 0)
        ui->progressBar->setRange(0, 100);
    ui->progressBar->setValue(percent);
}

void ReadHistoryDialog::cancelReading()
{
    // The results of this reading are thrown away when it ends.
    m_reading = false;
    m_stop->store(true);
    emit stopReading();
    setState(Cancelling);
}

void ReadHistoryDialog::addEvent(VDB::Event event)
{
    event.user = m_user;
    m_events.append(event);
}

void ReadHistoryDialog::historyReaded()
{
    m_worker.join();
    m_stop.reset();
    setState(Idle);
    if (!m_reading) {
        ui->progressBar->setValue(0);
        m_events.clear();
        return;
    }
    m_reading = false;
    storeHistory();
}

void ReadHistoryDialog::storeHistory()
{
    VDB::DataBase *db = VDB::DataBase::instance();
    const bool clear = ui->delHistoryCheckBox->isChecked();
    const QString kept = clear ? tr("\n\nИстория в приборе не удалена.") : QString();
    EventBatchReport stored;
    if (!db->addEvents(m_events, &stored)) {
        // Nothing was stored: the device keeps its history and its owner.
        ui->progressBar->setValue(0);
        QMessageBox::critical(this, tr("Ошибка"),
                              tr("Не удалось записать историю в базу данных.") + kept);
        return;
    }

    // A failed download looks like an empty history, and decoding stops at a
    // damaged record: clear the device only when all it reported came in.
    const int reported = m_connection.info()->historyCount;
    const int received = m_events.size();
    if (received < reported) {
        const QString what = received == 0
            ? tr("Не удалось прочитать историю прибора.")
            : tr("История прибора прочитана не полностью: записано событий %1 из %2.")
                  .arg(received)
                  .arg(reported);
        QMessageBox::warning(this, tr("Предупреждение"), what + kept);
    } else if (clear && received > 0) {
        m_connection.plugin()->clearHistory();
    }

    if (stored.outsideAssignment > 0) {
        QMessageBox::information(
            this, tr("Чтение истории"),
            tr("Записей вне назначения прибора этому пользователю: %1.\nОни сохранены для "
               "носившего прибор в то время (или без владельца, если он неизвестен) и в дозу "
               "этого пользователя не входят.")
                .arg(stored.outsideAssignment));
    }

    if (ui->unlinkDeviceCheckBox->isChecked()) {
        // Devices that keep their owner's data (not the TM4040, a
        // single-channel device) would get it erased here first.
        if (!db->unassignDevice(m_user))
            QMessageBox::warning(this, tr("Предупреждение"), tr("Не удалось открепить прибор"));
    }
    QDialog::accept();
}

void ReadHistoryDialog::setState(State state)
{
    m_state = state;
    QPushButton *ok = ui->buttonBox->button(QDialogButtonBox::Ok);
    QPushButton *close = ui->buttonBox->button(QDialogButtonBox::Close);
    const bool reading = state == Reading || state == Cancelling;
    ok->setText(reading ? tr("Отмена") : tr("Чтение истории"));
    ok->setEnabled(state == Idle || state == Reading);
    close->setEnabled(state == Idle);
    // Busy while connecting and while the device sends its history: the
    // percentages come only once the records are there.
    if (state == Connecting || state == Reading) {
        ui->progressBar->setRange(0, 0);
    } else if (ui->progressBar->maximum() == 0) {
        ui->progressBar->setRange(0, 100);
        ui->progressBar->setValue(0);
    }
}
