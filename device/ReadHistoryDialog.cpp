#include "device/ReadHistoryDialog.h"
#include "ui_ReadHistoryDialog.h"

#include "app/ConfirmCredentialsDialog.h"
#include "db/AuditOperation.h"
#include "db/DataBase.h"
#include "device/ConnectorHelper.h"
#include "device/HistoryProgress.h"
#include "report/RussianFormat.h"

#include <QCheckBox>
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

    ui->summaryLabel->hide();
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
        ui->assignedLabel->setText(RussianFormat::recordTime(device->assignDate));
    }
}

ReadHistoryDialog::~ReadHistoryDialog()
{
    if (m_stop)
        m_stop->store(true);
    emit stopReading();
    m_worker.join();
}

QString ReadHistoryDialog::summary() const
{
    return ui->summaryLabel->isHidden() ? QString() : ui->summaryLabel->text();
}

void ReadHistoryDialog::accept()
{
    if (m_finished)
        return;
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
    showSummary(QString());
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
    // After a stored import, closing is the end of it.
    if (m_finished)
        QDialog::accept();
    else
        QDialog::reject();
}

void ReadHistoryDialog::connected(bool found)
{
    m_worker.join();
    setState(Idle);
    if (!found) {
        // A device that answered with another number is not "not found":
        // the operator may have picked up the wrong dosimeter.
        const int other = m_connection.otherSerial();
        const QString problem = other >= 0
            ? tr("Ответил другой прибор: серийный номер %1, а назначен прибор с номером %2")
                  .arg(other)
                  .arg(m_user->device->serial)
            : tr("На доступных портах прибор не найден");
        const auto answer = QMessageBox::critical(
            this, tr("Внимание"),
            tr("Ошибка при работе с прибором:\n\n%1\n\nИстория не будет записана в БД. "
               "Продолжить?")
                .arg(problem),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return;
        if (!ConfirmCredentialsDialog::confirmAdministrator(this, operationWithoutHistory()))
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

QString ReadHistoryDialog::operationWithoutHistory() const
{
    const SharedDevice device = m_user->device;
    const QString name = DeviceConnection::deviceText(device->type ? device->type->name : QString(),
                                                      device->serial);
    if (ui->unlinkDeviceCheckBox->isChecked())
        return tr("Открепление прибора %1 от пользователя %2 без чтения его истории")
            .arg(name, m_user->fullName());
    return tr("Завершение без чтения истории прибора %1").arg(name);
}

void ReadHistoryDialog::startReading()
{
    setState(Reading);
    m_clock = ClockLeft;
    if (ui->synchTimeCheckBox->isChecked())
        m_clock = m_connection.plugin()->writeTime(QDateTime::currentDateTime()) ? ClockSet
                                                                                 : ClockFailed;
    m_reading = true;
    m_events.clear();

    auto *reader = new HistoryReader(&m_connection);
    m_stop = reader->stopFlag();
    m_worker.start(reader, &HistoryReader::finished);
    connect(reader, &HistoryReader::finished, this, &ReadHistoryDialog::historyReaded);
    connect(reader, &HistoryReader::eventReaded, this, &ReadHistoryDialog::addEvent);
    connect(reader, &HistoryReader::inProgress, this, &ReadHistoryDialog::showProgress);
    connect(reader, &HistoryReader::downloadProgress, this, &ReadHistoryDialog::showDownload);
    connect(this, &ReadHistoryDialog::stopReading, reader, &HistoryReader::stop);
    m_worker.run();
}

void ReadHistoryDialog::showProgress(int percent)
{
    HistoryProgress::showPercent(ui->progressBar, percent);
}

void ReadHistoryDialog::showDownload(int received, int total)
{
    // What is left of a cancelled download is not shown any more.
    if (m_state == Reading)
        HistoryProgress::showReceived(ui->progressBar, received, total);
}

void ReadHistoryDialog::cancelReading()
{
    // The results of this reading are thrown away when it ends.
    m_reading = false;
    m_stop->store(true);
    emit stopReading();
    setState(Cancelling);
    // Ends the transfer now rather than after its last packet; the next
    // reading connects anew.
    m_connection.interrupt();
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
        HistoryProgress::reset(ui->progressBar);
        m_events.clear();
        showSummary(tr("Чтение прервано, в базу ничего не записано"));
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
        HistoryProgress::reset(ui->progressBar);
        showSummary(tr("В базу ничего не записано"));
        QMessageBox::critical(this, tr("Ошибка"),
                              tr("Не удалось записать историю в базу данных.") + kept);
        return;
    }

    // A failed download looks like an empty history, and decoding stops at a
    // damaged record: clear the device only when all it holds came in.
    const int reported = m_connection.info()->historyCount;
    const int received = m_events.size();
    const HistoryReader::Completeness completeness
        = HistoryReader::completeness(reported, received);
    bool cleared = false;
    if (completeness == HistoryReader::Incomplete) {
        const QString what = received == 0
            ? tr("Не удалось прочитать историю прибора.")
            : tr("История прибора прочитана не полностью: записано событий %1 из %2.")
                  .arg(received)
                  .arg(reported);
        QMessageBox::warning(this, tr("Предупреждение"), what + kept);
    } else if (completeness == HistoryReader::Complete && clear) {
        cleared = m_connection.plugin()->clearHistory();
        if (cleared)
            db->recordOperation(VDB::AuditOperation::HistoryCleared, m_connection.deviceText(),
                                tr("пользователь: %1; записей в памяти было: %2")
                                    .arg(m_user->fullName())
                                    .arg(reported));
    }

    bool released = false;
    if (ui->unlinkDeviceCheckBox->isChecked()) {
        // Devices that keep their owner's data (not the TM4040, a
        // single-channel device) would get it erased here first.
        released = db->unassignDevice(m_user);
        if (!released)
            QMessageBox::warning(this, tr("Предупреждение"), tr("Не удалось открепить прибор"));
    }
    m_finished = true;
    setResult(QDialog::Accepted);
    setState(Idle);
    showSummary(summaryText(stored, completeness, cleared, released));
}

QString ReadHistoryDialog::summaryText(const EventBatchReport &stored,
                                       HistoryReader::Completeness completeness, bool cleared,
                                       bool released) const
{
    const int received = m_events.size();
    QStringList lines;
    if (completeness == HistoryReader::EmptyMemory) {
        lines << tr("Память прибора пуста, записывать нечего");
    } else {
        lines << tr("Прочитано записей: %1").arg(received)
              << tr("Записано новых: %1").arg(stored.inserted)
              << tr("Уже были в базе: %1").arg(received - stored.inserted);
        if (stored.outsideAssignment > 0)
            lines << tr("Вне назначения прибора этому пользователю: %1 (сохранены за носившим "
                        "прибор в то время, в дозу этого пользователя не входят)")
                         .arg(stored.outsideAssignment);
        if (cleared)
            lines << tr("Память прибора очищена");
        else if (ui->delHistoryCheckBox->isChecked())
            lines << tr("Память прибора не очищена");
        else
            lines << tr("Память прибора сохранена");
    }
    lines << (released ? tr("Прибор откреплён от пользователя")
                       : tr("Прибор остаётся за пользователем"));
    if (m_clock == ClockSet)
        lines << tr("Время прибора установлено");
    else if (m_clock == ClockFailed)
        lines << tr("Не удалось установить время прибора");
    else
        lines << tr("Время прибора не изменялось");
    return lines.join(QLatin1Char('\n'));
}

void ReadHistoryDialog::showSummary(const QString &text)
{
    ui->summaryLabel->setText(text);
    ui->summaryLabel->setVisible(!text.isEmpty());
}

void ReadHistoryDialog::setState(State state)
{
    m_state = state;
    QPushButton *ok = ui->buttonBox->button(QDialogButtonBox::Ok);
    QPushButton *close = ui->buttonBox->button(QDialogButtonBox::Close);
    const bool reading = state == Reading || state == Cancelling;
    ok->setText(reading ? tr("Отмена") : tr("Чтение истории"));
    // A stored history is not read a second time from this dialog.
    ok->setEnabled((state == Idle && !m_finished) || state == Reading);
    close->setEnabled(state == Idle);
    for (QCheckBox *box : {ui->delHistoryCheckBox, ui->turnOffCheckBox, ui->unlinkDeviceCheckBox,
                           ui->synchTimeCheckBox})
        box->setEnabled(state == Idle && !m_finished);
    // Busy while connecting and until the device says how much it sends.
    if (state == Connecting || state == Reading)
        HistoryProgress::showBusy(ui->progressBar);
    else if (ui->progressBar->maximum() == 0)
        HistoryProgress::reset(ui->progressBar);
}
