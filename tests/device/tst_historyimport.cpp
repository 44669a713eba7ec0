// History import end to end: the reader's progress and events (against a
// scripted plug-in), and the import dialog against the TM4040 emulator,
// with the operator's choices, cancelling, and the device and database
// faults.

#include "Tm4040Emulator.h"
#include "common/DeviceTestSetup.h"
#include "common/ModalHelper.h"
#include "common/TestDatabase.h"
#include "device/DeviceConnection.h"
#include "device/HistoryReader.h"
#include "device/ReadHistoryDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTcpServer>
#include <QTimer>
#include <QtTest>

#include <memory>

using TestSupport::TestDatabase;

namespace {

// Generous: a loaded machine may take long to open the next dialog.
const int ModalWaitMs = 60000;

const quint32 DeviceSerial = 40401234;

// A plug-in that hands out prepared records, in one or more portions.
class ScriptedPlugin : public AbstractPlugin
{
public:
    // Each portion is delivered by one readHistory call.
    QList<QList<HistoryEvent>> portions;
    QList<bool> restarts; // the restart argument of each call

    bool isSingleChannel() override { return true; }
    bool connectDevice() override { return true; }
    void disconnectDevice() override { }
    bool readDeviceInfo(DeviceInfo *info) override
    {
        info->serialNumber = 77;
        return true;
    }
    QDateTime readDeviceTime() override { return QDateTime(); }
    bool writeTime(const QDateTime &) override { return false; }
    void reserved1() override { }
    void reserved2() override { }
    void reserved3() override { }
    bool readHistory(QList<HistoryEvent *> &events, bool restart) override
    {
        restarts.append(restart);
        const int call = restarts.size() - 1;
        if (call < portions.size()) {
            for (const HistoryEvent &e : portions.at(call))
                events.append(new HistoryEvent(e));
        }
        return call + 1 < portions.size();
    }
    bool clearHistory() override { return false; }
    bool readSettings(DeviceSettings *) override { return false; }
    bool writeSettings(DeviceSettings *, bool) override { return false; }
    bool readAccumulatedED(double *) override { return false; }
    bool resetAccumulatedED() override { return false; }
    QDateTime reservedTime() override { return QDateTime(); }
};

QList<HistoryEvent> makeRecords(int count)
{
    QList<HistoryEvent> list;
    for (int i = 0; i < count; ++i) {
        HistoryEvent e;
        e.kind = 2;
        e.channel = 2;
        e.dateTime = QDateTime(QDate(2024, 5, 1), QTime(8, 0)).addSecs(60 * i);
        e.ed = float(i);
        e.number = i % 1000;
        list.append(e);
    }
    return list;
}

// What a reader emitted, in the order it came.
struct ReaderRun
{
    QList<int> progress;
    QList<QPair<int, int>> received; // what the plug-in said while sending
    QList<VDB::Event> events;
    bool finished = false;
};

ReaderRun runReader(HistoryReader &reader)
{
    ReaderRun run;
    QObject::connect(&reader, &HistoryReader::inProgress,
                     [&run](int percent) { run.progress.append(percent); });
    QObject::connect(&reader, &HistoryReader::downloadProgress, [&run](int received, int total) {
        run.received.append({received, total});
    });
    QObject::connect(&reader, &HistoryReader::eventReaded,
                     [&run](const VDB::Event &e) { run.events.append(e); });
    QObject::connect(&reader, &HistoryReader::finished, [&run]() { run.finished = true; });
    reader.process();
    return run;
}

Tm4040Scenario scenarioWith(int records, quint32 serial = DeviceSerial)
{
    Tm4040Scenario s;
    s.serialNumber = serial;
    s.records = Tm4040Scenario::generateRecords(records, QDateTime(QDate(2024, 5, 1), QTime(8, 0)));
    return s;
}

QCheckBox *checkBox(QWidget *dialog, const char *name)
{
    return dialog->findChild<QCheckBox *>(QLatin1String(name));
}

QPushButton *button(QWidget *dialog, QDialogButtonBox::StandardButton which)
{
    return dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(which);
}

// Sets the four check boxes: clear, unlink, synchronise (turn-off stays).
void choose(QWidget *dialog, bool clear, bool unlink, bool synchronize)
{
    checkBox(dialog, "delHistoryCheckBox")->setChecked(clear);
    checkBox(dialog, "unlinkDeviceCheckBox")->setChecked(unlink);
    checkBox(dialog, "synchTimeCheckBox")->setChecked(synchronize);
}

// Answers the next administrator confirmation with these credentials; the
// operation it named is filled in when it opens.
std::shared_ptr<QString> answerCredentials(const QString &login, const QString &password)
{
    auto operation = std::make_shared<QString>();
    TestSupport::onNextModal(
        [login, password, operation](QWidget *dialog) {
            *operation = dialog->findChild<QLabel *>(QStringLiteral("operationLabel"))->text();
            dialog->findChild<QLineEdit *>(QStringLiteral("loginLineEdit"))->setText(login);
            dialog->findChild<QLineEdit *>(QStringLiteral("passwordLineEdit"))->setText(password);
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        },
        ModalWaitMs);
    return operation;
}

int storedCount(int eventType)
{
    return TestDatabase::scalar(
               QStringLiteral("SELECT COUNT(*) FROM Events WHERE eventType = %1").arg(eventType))
        .toInt();
}

} // namespace

class HistoryImportTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    // The reader.
    void progressOfThirtyEvents();
    void downloadReportsTheRecordsReceived();
    void estimateGrowsFrom970();
    void eventsCarryTheRecordAndTheDevice();
    void kindsBecomeEventTypes();
    void repeatCallsUntilNoMore();
    void stopBeforeStartEmitsNoEvents();

    // The import dialog.
    void formShowsUserAndOptions();
    void importTwiceStoresOnce();
    void summaryCountsRecordsBeforeTheAssignment();
    void checkBoxesDecide_data();
    void checkBoxesDecide();
    void cancelMidDownloadChangesNothing();
    void closeDuringDownloadCancels();
    void destroyDuringDownload();
    void wrongSerialAdministratorUnlinksOnly();
    void wrongSerialRefused_data();
    void wrongSerialRefused();
    void noDeviceAsksTheSameQuestion();
    void refusedBatchKeepsDeviceHistory();
    void noAnswerMidHistoryKeepsDeviceHistory();
    void invalidDateKeepsDeviceHistory();
    void emptyDeviceStoresNothingQuietly();
    void lastUnwrittenSlotIsNoShortfall_data();
    void lastUnwrittenSlotIsNoShortfall();

private:
    // The emulator on loopback TCP, with the plug-in pointed at it.
    void startEmulator(const Tm4040Scenario &scenario);
    // A user with the emulated device assigned.
    SharedUser userWithDevice(quint32 serial = DeviceSerial);
    // Presses "Чтение истории" and waits until the dialog is idle again.
    void pressOkAndWait(ReadHistoryDialog &dialog);

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<Tm4040Emulator> m_emulator;
};

void HistoryImportTest::initTestCase()
{
    DeviceTestSetup::prepare();
}

void HistoryImportTest::init()
{
    m_db.reset(new TestDatabase);
    QVERIFY(m_db->isValid());
}

void HistoryImportTest::cleanup()
{
    m_emulator.reset();
    m_db.reset();
    qunsetenv("TM4040_LINK");
}

void HistoryImportTest::startEmulator(const Tm4040Scenario &scenario)
{
    m_emulator.reset(new Tm4040Emulator(scenario));
    QVERIFY(m_emulator->startTcp());
    m_emulator->exportLink();
}

SharedUser HistoryImportTest::userWithDevice(quint32 serial)
{
    SharedUser user = m_db->addUser(QStringLiteral("Петров"));
    if (user) {
        m_db->db()->assignDevice(user, m_db->db()->deviceTypes().first(), int(serial),
                                 QDateTime(QDate(2024, 4, 1), QTime(9, 30)), QString());
    }
    return user;
}

void HistoryImportTest::pressOkAndWait(ReadHistoryDialog &dialog)
{
    button(&dialog, QDialogButtonBox::Ok)->click();
    QTRY_VERIFY_WITH_TIMEOUT(dialog.state() == ReadHistoryDialog::Idle, 30000);
}

void HistoryImportTest::progressOfThirtyEvents()
{
    ScriptedPlugin plugin;
    plugin.portions = {makeRecords(30)};
    DeviceConnection connection(nullptr, &plugin);
    HistoryReader reader(&connection);
    const ReaderRun run = runReader(reader);
    QList<int> expected;
    for (int n = 1; n <= 30; ++n)
        expected.append(n / 10);
    expected.append(100);
    QCOMPARE(run.progress, expected);
    QCOMPARE(run.events.size(), 30);
    QVERIFY(run.finished);
    // A plug-in without the progress entry point is read all the same.
    QVERIFY(run.received.isEmpty());
}

void HistoryImportTest::downloadReportsTheRecordsReceived()
{
    startEmulator(scenarioWith(10));
    DeviceConnection connection(m_db->db()->deviceTypes().first());
    QVERIFY(connection.progressHook());
    QVERIFY(connection.connect());
    HistoryReader reader(&connection);
    const ReaderRun run = runReader(reader);
    // Four packets of three records, the last one holding one.
    QCOMPARE(run.received, (QList<QPair<int, int>> {{0, 10}, {3, 10}, {6, 10}, {9, 10}, {10, 10}}));
    QCOMPARE(run.events.size(), 10);
    QCOMPARE(run.progress.last(), 100);
}

void HistoryImportTest::estimateGrowsFrom970()
{
    ScriptedPlugin plugin;
    plugin.portions = {makeRecords(1200)};
    DeviceConnection connection(nullptr, &plugin);
    HistoryReader reader(&connection);
    const ReaderRun run = runReader(reader);
    QCOMPARE(run.progress.size(), 1201);
    QCOMPARE(run.progress.at(968), 96); // event 969 of an estimate of 1000
    QCOMPARE(run.progress.at(969), 60); // event 970: the estimate is 1600 now
    QCOMPARE(run.progress.at(1199), 1200 * 100 / 1600);
    QCOMPARE(run.progress.last(), 100);
}

void HistoryImportTest::eventsCarryTheRecordAndTheDevice()
{
    HistoryEvent record;
    record.kind = 2;
    record.channel = 2;
    record.dateTime = QDateTime(QDate(2009, 12, 31), QTime(23, 59, 59));
    record.ed = 6789.012f;
    record.med = 1.5f;
    record.number = 123;
    record.timezoneChanged = true; // flags 0x45
    record.memoryFault = true;
    record.hvFault = true;
    ScriptedPlugin plugin;
    plugin.portions = {{record}};
    DeviceType type;
    type.id = 5;
    DeviceConnection connection(&type, &plugin);
    QVERIFY(connection.connect());

    HistoryReader reader(&connection);
    const ReaderRun run = runReader(reader);
    QCOMPARE(run.events.size(), 1);
    const VDB::Event &e = run.events.first();
    QCOMPARE(e.dateTime, record.dateTime);
    QCOMPARE(e.channel, 2);
    QCOMPARE(e.deviceType, &type);
    QCOMPARE(e.deviceSerial, 77);
    QCOMPARE(e.eventType, 200);
    // The device's decimal numbers, without the float's tail.
    QCOMPARE(e.value, 6789.012);
    QCOMPARE(e.medValue, 1.5);
    QCOMPARE(e.eventNumber, 123);
    QVERIFY(!e.user);
    QVERIFY(e.comment.isEmpty());
    const bool flags[8] = {e.cyclicHistory, e.timezoneChanged, e.edThreshold,   e.medThreshold,
                           e.batteryLow,    e.memoryFault,     e.detectorFault, e.hvFault};
    const bool expected[8] = {false, true, false, false, false, true, false, true};
    for (int i = 0; i < 8; ++i)
        QCOMPARE(flags[i], expected[i]);
}

void HistoryImportTest::kindsBecomeEventTypes()
{
    const QList<int> types
        = {0, 300, 200, 350, 400, 401, 500, 600, 501, 501, 700, 701, 800, 900, 930, 960, 0};
    for (int kind = 0; kind < types.size(); ++kind)
        QCOMPARE(HistoryReader::eventType(kind), types.at(kind));
    QCOMPARE(HistoryReader::eventType(-1), 0);

    HistoryEvent record;
    record.channel = 7;
    ScriptedPlugin plugin;
    DeviceConnection connection(nullptr, &plugin);
    QCOMPARE(HistoryReader::toEvent(record, &connection).channel, -1);
    QCOMPARE(HistoryReader::toEvent(record, &connection).deviceSerial, -1);
}

void HistoryImportTest::repeatCallsUntilNoMore()
{
    ScriptedPlugin plugin;
    plugin.portions = {makeRecords(2), makeRecords(3)};
    DeviceConnection connection(nullptr, &plugin);
    HistoryReader reader(&connection);
    const ReaderRun run = runReader(reader);
    QCOMPARE(plugin.restarts, (QList<bool> {true, false}));
    QCOMPARE(run.events.size(), 5);
}

void HistoryImportTest::stopBeforeStartEmitsNoEvents()
{
    ScriptedPlugin plugin;
    plugin.portions = {makeRecords(5)};
    DeviceConnection connection(nullptr, &plugin);
    HistoryReader reader(&connection);
    reader.stopFlag()->store(true);
    const ReaderRun run = runReader(reader);
    QVERIFY(run.events.isEmpty());
    QCOMPARE(run.progress, QList<int> {100});
    QVERIFY(run.finished);
}

void HistoryImportTest::formShowsUserAndOptions()
{
    Options options = m_db->db()->options();
    options.delHistory = true;
    options.synchronizeDate = true;
    QVERIFY(m_db->db()->updateOptions(options));
    const SharedUser user = userWithDevice();
    ReadHistoryDialog dialog(user);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Чтение истории"));
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("nameLabel"))->text(), user->fullName());
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("typeLabel"))->text(),
             QStringLiteral("КВР-ТМ4040"));
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("serialLabel"))->text(),
             QString::number(DeviceSerial));
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("assignedLabel"))->text(),
             QStringLiteral("1 апр. 2024 09:30:00"));
    QVERIFY(checkBox(&dialog, "delHistoryCheckBox")->isChecked());
    QVERIFY(checkBox(&dialog, "synchTimeCheckBox")->isChecked());
    QVERIFY(!checkBox(&dialog, "turnOffCheckBox")->isChecked());
    QVERIFY(!checkBox(&dialog, "unlinkDeviceCheckBox")->isChecked());
    QCOMPARE(button(&dialog, QDialogButtonBox::Ok)->text(), QStringLiteral("Чтение истории"));
    QCOMPARE(button(&dialog, QDialogButtonBox::Close)->text(), QStringLiteral("Закрыть"));
}

void HistoryImportTest::importTwiceStoresOnce()
{
    startEmulator(scenarioWith(30));
    const SharedUser user = userWithDevice();
    QSignalSpy added(m_db->db(), &VDB::DataBase::historyAdded);

    for (int round = 0; round < 2; ++round) {
        ReadHistoryDialog dialog(user);
        dialog.show();
        choose(&dialog, false, false, false);
        pressOkAndWait(dialog);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.events().size(), 30);
        QCOMPARE(dialog.events().first().user, user);
        QCOMPARE(dialog.findChild<QProgressBar *>()->value(), 100);
        QCOMPARE(storedCount(200), 30);
        QCOMPARE(added.count(), round + 1);
        // The dialog stays with what happened until it is closed.
        QVERIFY(dialog.isVisible() && dialog.isFinished());
        QVERIFY(!button(&dialog, QDialogButtonBox::Ok)->isEnabled());
        QCOMPARE(dialog.summary(),
                 QStringLiteral("Прочитано записей: 30\nЗаписано новых: %1\nУже были в базе: %2\n"
                                "Память прибора сохранена\nПрибор остаётся за пользователем\n"
                                "Время прибора не изменялось")
                     .arg(round == 0 ? 30 : 0)
                     .arg(round == 0 ? 0 : 30));
        button(&dialog, QDialogButtonBox::Close)->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
    QCOMPARE(TestDatabase::scalar(QStringLiteral("SELECT COUNT(DISTINCT dateTime) FROM Events "
                                                 "WHERE eventType = 200 AND userId = %1 AND "
                                                 "deviceSerial = %2")
                                      .arg(user->id)
                                      .arg(DeviceSerial))
                 .toInt(),
             30);
    // Neither round touched the device beyond reading it.
    QCOMPARE(m_emulator->records().size(), 30);
    QVERIFY(!m_emulator->receivedLetters().contains('h'));
    QVERIFY(!m_emulator->receivedLetters().contains('t'));
    QVERIFY(user->device);
}

// A dosimeter handed over without clearing: what it recorded before this
// wearer had it is stored for nobody and counted in the closing summary.
void HistoryImportTest::summaryCountsRecordsBeforeTheAssignment()
{
    startEmulator(scenarioWith(30));
    const SharedUser user = m_db->addUser(QStringLiteral("Петров"));
    // Records come every five minutes from 08:00: twelve before 08:57:30.
    QVERIFY(m_db->db()->assignDevice(user, m_db->db()->deviceTypes().first(), int(DeviceSerial),
                                     QDateTime(QDate(2024, 5, 1), QTime(8, 57, 30)), QString()));
    ReadHistoryDialog dialog(user);
    dialog.show();
    choose(&dialog, false, false, false);
    pressOkAndWait(dialog);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY2(dialog.summary().startsWith(
                 QStringLiteral("Прочитано записей: 30\nЗаписано новых: 30\nУже были в базе: 0\n"
                                "Вне назначения прибора этому пользователю: 12 ")),
             qPrintable(dialog.summary()));
    QCOMPARE(TestDatabase::scalar(QStringLiteral("SELECT COUNT(*) FROM Events WHERE eventType = "
                                                 "200 AND userId IS NULL"))
                 .toInt(),
             12);
}

void HistoryImportTest::checkBoxesDecide_data()
{
    QTest::addColumn<bool>("clear");
    QTest::addColumn<bool>("unlink");
    QTest::addColumn<bool>("synchronize");
    QTest::newRow("clear") << true << false << false;
    QTest::newRow("unlink") << false << true << false;
    QTest::newRow("clock") << false << false << true;
    QTest::newRow("all") << true << true << true;
}

void HistoryImportTest::checkBoxesDecide()
{
    QFETCH(bool, clear);
    QFETCH(bool, unlink);
    QFETCH(bool, synchronize);
    Tm4040Scenario scenario = scenarioWith(12);
    scenario.clock = QDateTime(QDate(2020, 1, 1), QTime(0, 0));
    scenario.clockRunning = false;
    startEmulator(scenario);
    const SharedUser user = userWithDevice();

    ReadHistoryDialog dialog(user);
    dialog.show();
    choose(&dialog, clear, unlink, synchronize);
    pressOkAndWait(dialog);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(storedCount(200), 12);

    const QByteArray letters = m_emulator->receivedLetters();
    QCOMPARE(m_emulator->records().isEmpty(), clear);
    QCOMPARE(letters.contains('h'), clear);
    if (clear) // cleared after the download
        QVERIFY(letters.indexOf('h') > letters.indexOf('H'));
    QCOMPARE(letters.contains('t'), synchronize);
    if (synchronize) { // set before the download, to the PC's clock
        QVERIFY(letters.indexOf('t') < letters.indexOf('H'));
        const QByteArray block = m_emulator->parameterBlock();
        QCOMPARE(int(block.at(5)) >> 4, (QDate::currentDate().year() - 2000) / 10);
    }
    QCOMPARE(user->device.isNull(), unlink);
    QCOMPARE(storedCount(101), unlink ? 1 : 0);
    const QString summary = dialog.summary();
    QCOMPARE(summary.contains(QStringLiteral("Память прибора очищена")), clear);
    QCOMPARE(summary.contains(QStringLiteral("Прибор откреплён от пользователя")), unlink);
    QCOMPARE(summary.contains(QStringLiteral("Время прибора установлено")), synchronize);
    // The trail: the import with its counts, the clearing once the device did it.
    QStringList trail;
    for (const VDB::AuditEntry &entry : m_db->db()->auditEntries(VDB::AuditFilter(), 3))
        trail.prepend(entry.operation + ' ' + entry.details.section(QLatin1Char(';'), 2, 2));
    QStringList expected {"history_import  записано новых: 12"};
    if (clear)
        expected << "history_clear ";
    if (unlink)
        expected << "device_release ";
    QCOMPARE(trail.mid(trail.size() - expected.size()), expected);
}

void HistoryImportTest::cancelMidDownloadChangesNothing()
{
    Tm4040Scenario scenario = scenarioWith(30);
    scenario.faults.baudRate = 4800; // 480 bytes of history: about a second
    startEmulator(scenario);
    const SharedUser user = userWithDevice();
    QSignalSpy added(m_db->db(), &VDB::DataBase::historyAdded);

    ReadHistoryDialog dialog(user);
    dialog.show();
    choose(&dialog, true, true, false);
    QPushButton *ok = button(&dialog, QDialogButtonBox::Ok);
    ok->click();
    QTRY_COMPARE_WITH_TIMEOUT(dialog.state(), ReadHistoryDialog::Reading, 30000);
    QCOMPARE(ok->text(), QStringLiteral("Отмена"));
    QVERIFY(!button(&dialog, QDialogButtonBox::Close)->isEnabled());
    // Well into the history transfer, which the bar counts.
    QTRY_VERIFY_WITH_TIMEOUT(m_emulator->bytesSent() > 56 + 48, 30000);
    auto *bar = dialog.findChild<QProgressBar *>();
    QTRY_VERIFY_WITH_TIMEOUT(bar->text().startsWith(QStringLiteral("Получено записей: ")), 30000);
    QVERIFY2(bar->text().endsWith(QStringLiteral(" из 30")), qPrintable(bar->text()));
    const int connections = m_emulator->connectionCount();
    ok->click();
    QCOMPARE(dialog.state(), ReadHistoryDialog::Cancelling);
    QVERIFY(!ok->isEnabled());
    // A second press while the download ends starts nothing.
    QMetaObject::invokeMethod(&dialog, "accept");
    QCOMPARE(dialog.state(), ReadHistoryDialog::Cancelling);

    QTRY_COMPARE_WITH_TIMEOUT(dialog.state(), ReadHistoryDialog::Idle, 30000);
    QVERIFY(dialog.isVisible());
    QCOMPARE(ok->text(), QStringLiteral("Чтение истории"));
    QVERIFY(ok->isEnabled());
    QCOMPARE(bar->value(), 0);
    QCOMPARE(dialog.summary(), QStringLiteral("Чтение прервано, в базу ничего не записано"));
    QCOMPARE(storedCount(200), 0);
    QCOMPARE(added.count(), 0);
    QCOMPARE(m_emulator->records().size(), 30);
    QVERIFY(!m_emulator->receivedLetters().contains('h'));
    QCOMPARE(m_emulator->connectionCount(), connections);
    QVERIFY(user->device);
}

void HistoryImportTest::closeDuringDownloadCancels()
{
    Tm4040Scenario scenario = scenarioWith(30);
    scenario.faults.baudRate = 4800;
    startEmulator(scenario);
    const SharedUser user = userWithDevice();

    ReadHistoryDialog dialog(user);
    dialog.show();
    choose(&dialog, true, false, false);
    button(&dialog, QDialogButtonBox::Ok)->click();
    QTRY_COMPARE_WITH_TIMEOUT(dialog.state(), ReadHistoryDialog::Reading, 30000);
    // Escape and the window's close button both end in reject().
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.state(), ReadHistoryDialog::Cancelling);
    dialog.close();
    QVERIFY(dialog.isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(dialog.state(), ReadHistoryDialog::Idle, 30000);
    QVERIFY(dialog.isVisible());
    QCOMPARE(storedCount(200), 0);
    QCOMPARE(m_emulator->records().size(), 30);
    // Idle again, it closes.
    dialog.close();
    QVERIFY(!dialog.isVisible());
}

void HistoryImportTest::destroyDuringDownload()
{
    Tm4040Scenario scenario = scenarioWith(30);
    scenario.faults.baudRate = 4800;
    startEmulator(scenario);
    const SharedUser user = userWithDevice();

    auto *dialog = new ReadHistoryDialog(user);
    dialog->show();
    choose(dialog, true, true, false);
    button(dialog, QDialogButtonBox::Ok)->click();
    QTRY_COMPARE_WITH_TIMEOUT(dialog->state(), ReadHistoryDialog::Reading, 30000);
    QTRY_VERIFY_WITH_TIMEOUT(m_emulator->bytesSent() > 56 + 48, 30000);
    // Waits for the worker, which still has the connection.
    delete dialog;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(storedCount(200), 0);
    QCOMPARE(m_emulator->records().size(), 30);
    QVERIFY(user->device);

    // The device is free for the next dialog.
    m_emulator->setFaults(Tm4040Faults());
    ReadHistoryDialog next(user);
    next.show();
    choose(&next, false, false, false);
    pressOkAndWait(next);
    QCOMPARE(storedCount(200), 30);
}

void HistoryImportTest::wrongSerialAdministratorUnlinksOnly()
{
    startEmulator(scenarioWith(10, 11112222));
    const SharedUser user = userWithDevice(DeviceSerial);
    QSignalSpy updated(m_db->db(), &VDB::DataBase::userUpdated);

    ReadHistoryDialog dialog(user);
    dialog.show();
    choose(&dialog, true, true, true);
    std::shared_ptr<TestSupport::SeenMessageBox> question;
    std::shared_ptr<QString> operation;
    TestSupport::onNextModal(
        [&question, &operation](QWidget *box) {
            question = std::make_shared<TestSupport::SeenMessageBox>();
            question->seen = true;
            question->title = box->windowTitle();
            question->text = static_cast<QMessageBox *>(box)->text();
            question->icon = static_cast<QMessageBox *>(box)->icon();
            operation = answerCredentials(QStringLiteral("admin"), QStringLiteral("tavro"));
            static_cast<QMessageBox *>(box)->button(QMessageBox::Yes)->click();
        },
        ModalWaitMs);
    button(&dialog, QDialogButtonBox::Ok)->click();
    QTRY_COMPARE_WITH_TIMEOUT(dialog.result(), int(QDialog::Accepted), 30000);

    QVERIFY(question && question->seen);
    QCOMPARE(question->title, QStringLiteral("Внимание"));
    // Which device answered and which was expected, not "not found".
    QCOMPARE(question->text,
             QStringLiteral("Ошибка при работе с прибором:\n\nОтветил другой прибор: серийный "
                            "номер 11112222, а назначен прибор с номером %1\n\nИстория не будет "
                            "записана в БД. Продолжить?")
                 .arg(DeviceSerial));
    QCOMPARE(*operation,
             QStringLiteral("Открепление прибора КВР-ТМ4040 №\u00a0%1 от пользователя %2 "
                            "без чтения его истории")
                 .arg(DeviceSerial)
                 .arg(user->fullName()));
    QCOMPARE(question->icon, QMessageBox::Critical);
    QVERIFY(!user->device);
    QCOMPARE(storedCount(101), 1);
    QCOMPARE(storedCount(200), 0);
    QCOMPARE(updated.count(), 1);
    // The device answered who it is and was left alone.
    QCOMPARE(m_emulator->receivedLetters(), QByteArray("p"));
    QCOMPARE(m_emulator->records().size(), 10);
}

void HistoryImportTest::wrongSerialRefused_data()
{
    QTest::addColumn<bool>("goOn");
    QTest::addColumn<QString>("password");
    QTest::newRow("question answered No") << false << QString();
    QTest::newRow("not the administrator") << true << QStringLiteral("wrong");
}

void HistoryImportTest::wrongSerialRefused()
{
    QFETCH(bool, goOn);
    QFETCH(QString, password);
    startEmulator(scenarioWith(10, 11112222));
    const SharedUser user = userWithDevice(DeviceSerial);

    ReadHistoryDialog dialog(user);
    dialog.show();
    choose(&dialog, true, true, false);
    // One poller answers the modals in turn, whichever comes: the question,
    // the credentials, then the refusal of the credentials.
    QStringList answered;
    QString errorText;
    QTimer poller;
    poller.setInterval(5);
    connect(&poller, &QTimer::timeout, this, [&]() {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == &dialog)
            return;
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            answered << box->windowTitle();
            if (box->windowTitle() == QStringLiteral("Внимание")) {
                box->button(goOn ? QMessageBox::Yes : QMessageBox::No)->click();
            } else {
                errorText = box->text();
                box->button(QMessageBox::Ok)->click();
            }
        } else if (auto *login = modal->findChild<QLineEdit *>(QStringLiteral("loginLineEdit"))) {
            if (login->text().isEmpty()) {
                answered << modal->objectName();
                login->setText(QStringLiteral("admin"));
                modal->findChild<QLineEdit *>(QStringLiteral("passwordLineEdit"))
                    ->setText(password);
                QMetaObject::invokeMethod(modal, "accept", Qt::QueuedConnection);
            }
        }
    });
    poller.start();
    button(&dialog, QDialogButtonBox::Ok)->click();
    QTRY_COMPARE_WITH_TIMEOUT(answered.size(), goOn ? 3 : 1, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(dialog.state(), ReadHistoryDialog::Idle, 30000);
    QTest::qWait(50);
    poller.stop();
    if (goOn) {
        QCOMPARE(answered, (QStringList {"Внимание", "ConfirmCredentialsDialog", "Ошибка"}));
        QCOMPARE(errorText,
                 QStringLiteral("Логин и пароль не соответствуют администратору программы"));
    }
    QVERIFY(dialog.isVisible());
    QVERIFY(user->device);
    QCOMPARE(storedCount(101), 0);
    QCOMPARE(m_emulator->records().size(), 10);
}

void HistoryImportTest::noDeviceAsksTheSameQuestion()
{
    // A port where nobody listens.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const quint16 port = server.serverPort();
    server.close();
    qputenv("TM4040_LINK", QStringLiteral("tcp:127.0.0.1:%1").arg(port).toUtf8());
    const SharedUser user = userWithDevice();

    ReadHistoryDialog dialog(user);
    dialog.show();
    choose(&dialog, true, true, false);
    auto question = TestSupport::answerNextMessageBox(QMessageBox::No, ModalWaitMs);
    button(&dialog, QDialogButtonBox::Ok)->click();
    QTRY_VERIFY_WITH_TIMEOUT(question->seen, 30000);
    QTRY_COMPARE(dialog.state(), ReadHistoryDialog::Idle);
    QCOMPARE(question->title, QStringLiteral("Внимание"));
    QVERIFY(question->text.contains(QStringLiteral("На доступных портах прибор не найден")));
    QVERIFY(dialog.isVisible());
    QVERIFY(user->device);
}

void HistoryImportTest::refusedBatchKeepsDeviceHistory()
{
    startEmulator(scenarioWith(10));
    const SharedUser user = userWithDevice();
    // The store refuses device records in the middle of the batch.
    QVERIFY(TestDatabase::exec(
        QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON Events WHEN NEW.eventType = 200 "
                       "AND NEW.eventNumber = 6 BEGIN SELECT RAISE(ABORT, 'refused'); END")));
    QSignalSpy added(m_db->db(), &VDB::DataBase::historyAdded);

    ReadHistoryDialog dialog(user);
    dialog.show();
    choose(&dialog, true, true, false);
    auto error = TestSupport::answerNextMessageBox(QMessageBox::Ok, ModalWaitMs);
    pressOkAndWait(dialog);
    QTRY_VERIFY(error->seen);
    QCOMPARE(error->title, QStringLiteral("Ошибка"));
    QCOMPARE(error->text,
             QStringLiteral("Не удалось записать историю в базу данных.\n\n"
                            "История в приборе не удалена."));
    QCOMPARE(error->icon, QMessageBox::Critical);
    QCOMPARE(storedCount(200), 0);
    QCOMPARE(added.count(), 0);
    QCOMPARE(m_emulator->records().size(), 10);
    QVERIFY(!m_emulator->receivedLetters().contains('h'));
    // Nothing was stored, so the device stays with its user; the dialog stays
    // open for another try.
    QVERIFY(user->device);
    QVERIFY(dialog.isVisible());
}

void HistoryImportTest::noAnswerMidHistoryKeepsDeviceHistory()
{
    Tm4040Scenario scenario = scenarioWith(30);
    scenario.faults.missingHistoryPacket = 4;
    startEmulator(scenario);
    const SharedUser user = userWithDevice();

    ReadHistoryDialog dialog(user);
    dialog.show();
    choose(&dialog, true, true, false);
    auto warning = TestSupport::answerNextMessageBox(QMessageBox::Ok, ModalWaitMs);
    pressOkAndWait(dialog);
    QTRY_VERIFY(warning->seen);
    QCOMPARE(warning->title, QStringLiteral("Предупреждение"));
    QCOMPARE(warning->text,
             QStringLiteral("Не удалось прочитать историю прибора.\n\n"
                            "История в приборе не удалена."));
    QCOMPARE(storedCount(200), 0);
    QCOMPARE(m_emulator->records().size(), 30);
    QVERIFY(!m_emulator->receivedLetters().contains('h'));
    // The unlink still applies.
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!user->device);
}

void HistoryImportTest::invalidDateKeepsDeviceHistory()
{
    Tm4040Scenario scenario = scenarioWith(10);
    scenario.faults.impossibleDateRecord = 5;
    startEmulator(scenario);
    const SharedUser user = userWithDevice();

    ReadHistoryDialog dialog(user);
    dialog.show();
    choose(&dialog, true, false, false);
    auto warning = TestSupport::answerNextMessageBox(QMessageBox::Ok, ModalWaitMs);
    pressOkAndWait(dialog);
    QTRY_VERIFY(warning->seen);
    QCOMPARE(warning->text,
             QStringLiteral("История прибора прочитана не полностью: записано событий 4 из 10.\n\n"
                            "История в приборе не удалена."));
    // The records before the damaged one are stored; the device keeps all.
    QCOMPARE(storedCount(200), 4);
    QCOMPARE(m_emulator->records().size(), 10);
    QVERIFY(!m_emulator->receivedLetters().contains('h'));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void HistoryImportTest::emptyDeviceStoresNothingQuietly()
{
    startEmulator(scenarioWith(0));
    const SharedUser user = userWithDevice();
    QSignalSpy added(m_db->db(), &VDB::DataBase::historyAdded);

    ReadHistoryDialog dialog(user);
    dialog.show();
    choose(&dialog, true, false, false);
    pressOkAndWait(dialog);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(storedCount(200), 0);
    QVERIFY(!m_emulator->receivedLetters().contains('h'));
}

// A freshly cleared TM4040 reports one record and holds none; a device's
// count may run one ahead of its written records. Neither is a failed read.
void HistoryImportTest::lastUnwrittenSlotIsNoShortfall_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("reported");
    QTest::addColumn<bool>("cleared");
    QTest::addColumn<QString>("memory");
    QTest::newRow("cleared device") << 0 << 1 << false << "Память прибора пуста";
    QTest::newRow("count one ahead") << 10 << 11 << true << "Память прибора очищена";
}

void HistoryImportTest::lastUnwrittenSlotIsNoShortfall()
{
    QFETCH(int, records);
    QFETCH(int, reported);
    QFETCH(bool, cleared);
    QFETCH(QString, memory);
    Tm4040Scenario scenario = scenarioWith(records);
    scenario.reportedCount = reported;
    startEmulator(scenario);
    const SharedUser user = userWithDevice();

    ReadHistoryDialog dialog(user);
    dialog.show();
    choose(&dialog, true, false, false);
    // Any message box is one too many; it is noted and closed.
    QStringList boxes;
    QTimer guard;
    connect(&guard, &QTimer::timeout, this, [&boxes]() {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            boxes << box->text();
            box->accept();
        }
    });
    guard.start(5);
    pressOkAndWait(dialog);
    QVERIFY(dialog.isFinished());
    QVERIFY2(boxes.isEmpty(), qPrintable(boxes.join('|')));
    QCOMPARE(storedCount(200), records);
    QCOMPARE(m_emulator->receivedLetters().contains('h'), cleared);
    QVERIFY2(dialog.summary().contains(memory), qPrintable(dialog.summary()));
}

QTEST_MAIN(HistoryImportTest)
#include "tst_historyimport.moc"
