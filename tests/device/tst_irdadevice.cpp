// The plug-in over its own infrared stack, end to end against the
// emulator's IrDA mode on a pseudo-terminal: search, details and a full
// history import through lost and damaged frames, a settings write and the
// dose read; two devices of which the first refuses; a refusing device; a
// link kept through a pause of the operator; a port that goes away and a
// device that falls silent in the middle of a history.

#include "Tm4040Emulator.h"
#include "common/DeviceTestSetup.h"
#include "common/ModalHelper.h"
#include "common/TestDatabase.h"
#include "device/DeviceConnection.h"
#include "device/FindDeviceDialog.h"
#include "device/ReadHistoryDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSqlQuery>
#include <QtTest>

#include <atomic>
#include <memory>

using TestSupport::TestDatabase;

namespace {

const int ModalWaitMs = 60000;
const quint32 DeviceSerial = 40404040;

QtMessageHandler previousHandler = nullptr;
std::atomic<int> connectErrors {0};
std::atomic<int> frameLines {0};

void captureMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.startsWith(QLatin1String("Connect error =")))
        ++connectErrors;
    if (message.startsWith(QLatin1String("irda in"))
        || message.startsWith(QLatin1String("irda out")))
        ++frameLines;
    if (!message.startsWith(QLatin1String("irda "))
        && !message.startsWith(QLatin1String("history ")))
        previousHandler(type, context, message);
}

Tm4040Scenario scenario(int records)
{
    Tm4040Scenario s;
    s.serialNumber = DeviceSerial;
    s.records = Tm4040Scenario::generateRecords(records, QDateTime(QDate(2024, 5, 1), QTime(8, 0)));
    s.accumulatedDoseRaw = 4321000; // 43.21 mSv
    return s;
}

QPushButton *okButton(QWidget *dialog)
{
    return dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))
        ->button(QDialogButtonBox::Ok);
}

// The effective dose of a stored record: 7 digits from the low nibble of
// byte 2 on, in 0.001 mSv.
double doseOf(const QByteArray &record)
{
    qint64 value = quint8(record.at(2)) & 0x0F;
    for (int i = 3; i <= 5; ++i)
        value = value * 100 + (quint8(record.at(i)) >> 4) * 10 + (quint8(record.at(i)) & 0x0F);
    return value / 1000.0;
}

} // namespace

class IrdaDeviceTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void findDetailsImportThroughBadAir();
    void firstOfTwoDevicesRefuses();
    void refusingDeviceFailsClearly();
    void linkLastsThroughAPause();
    void closeFromAnotherThreadEndsARead();
    void portGoneMidDownload();
    void silentDeviceMidHistory();

private:
    AbstractPlugin *plugin() { return DeviceConnection::loadPlugin(QStringLiteral("tm4040")); }
    void startEmulator(const Tm4040Scenario &s);

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<Tm4040Emulator> m_emulator;
};

void IrdaDeviceTest::initTestCase()
{
    DeviceTestSetup::prepare();
    previousHandler = qInstallMessageHandler(captureMessage);
    QLoggingCategory::setFilterRules(QStringLiteral("orvane.tm4040.debug=true"));
    QVERIFY(plugin());
}

void IrdaDeviceTest::init()
{
    m_db.reset(new TestDatabase);
    QVERIFY(m_db->isValid());
    connectErrors = 0;
}

void IrdaDeviceTest::cleanup()
{
    plugin()->disconnectDevice();
    m_emulator.reset();
    m_db.reset();
    qunsetenv("TM4040_LINK");
}

void IrdaDeviceTest::startEmulator(const Tm4040Scenario &s)
{
    m_emulator.reset(new Tm4040Emulator(s));
    QVERIFY(m_emulator->startPty(Tm4040Emulator::PtyMode::Irda));
    m_emulator->exportLink();
    QVERIFY(qgetenv("TM4040_LINK").startsWith("irda:"));
}

void IrdaDeviceTest::findDetailsImportThroughBadAir()
{
    Tm4040Scenario s = scenario(501);
    s.faults.irda.dropToDevice = s.faults.irda.dropFromDevice = 0.05;
    s.faults.irda.corruptToDevice = s.faults.irda.corruptFromDevice = 0.05;
    // Frames sent while our port runs at another speed than the link's are
    // lost, as with a real dongle: the port must follow every change.
    s.faults.irda.checkHostSpeed = true;
    // A search lost to bad air is a failure that the few discovery rounds and
    // SNRM attempts allow; what this test looks for is the data that a
    // connected link carries through it.
    s.faults.irda.spareUnnumbered = true;
    startEmulator(s);
    const SharedUser user = m_db->addUser(QStringLiteral("Сидоров"));
    QVERIFY(user);

    FindDeviceDialog finder;
    finder.show();
    QString serialShown;
    TestSupport::onNextModal(
        [&serialShown](QWidget *dialog) {
            serialShown = dialog->findChild<QLabel *>(QStringLiteral("deviceNumberLabel"))->text();
            okButton(dialog)->click();
        },
        ModalWaitMs);
    okButton(&finder)->click();
    QTRY_COMPARE_WITH_TIMEOUT(finder.result(), int(QDialog::Accepted), 60000);
    QCOMPARE(serialShown, QString::number(DeviceSerial));
    m_db->db()->assignDevice(user, m_db->db()->deviceTypes().first(), int(DeviceSerial),
                             QDateTime(QDate(2024, 4, 1), QTime(9, 30)), QString());

    ReadHistoryDialog import(user);
    import.show();
    for (const char *box : {"delHistoryCheckBox", "unlinkDeviceCheckBox", "synchTimeCheckBox"})
        import.findChild<QCheckBox *>(QLatin1String(box))->setChecked(false);
    // A failed connection asks whether to go on without the history: say no,
    // so that the test fails instead of waiting on the question.
    const auto question = TestSupport::answerNextMessageBox(QMessageBox::No, 180000);
    okButton(&import)->click();
    QTRY_VERIFY_WITH_TIMEOUT(import.state() == ReadHistoryDialog::Idle, 180000);
    QVERIFY2(!question->seen, qPrintable(question->text));
    QCOMPARE(import.result(), int(QDialog::Accepted));

    // Every record exactly, in order.
    const QList<QByteArray> records = m_emulator->records();
    QSqlQuery query(QStringLiteral("SELECT eventNumber, value, dateTime FROM Events WHERE "
                                   "eventType = 200 ORDER BY dateTime"));
    int row = 0;
    while (query.next()) {
        QVERIFY(row < records.size());
        QCOMPARE(query.value(0).toInt(), row + 1);
        QCOMPARE(query.value(1).toDouble(), doseOf(records.at(row)));
        QCOMPARE(query.value(2).toDateTime(),
                 QDateTime(QDate(2024, 5, 1), QTime(8, 0)).addSecs(300 * row));
        ++row;
    }
    QCOMPARE(row, 501);

    // A settings write and the dose read on a link of its own.
    DeviceConnection connection(m_db->db()->deviceTypes().first());
    QVERIFY(connection.connect(int(DeviceSerial)));
    Tm4040Settings settings;
    QVERIFY(connection.plugin()->readSettings(&settings));
    settings.medThreshold = 0.35;
    settings.edThreshold = 1.5;
    settings.alarmHour = 9;
    QVERIFY(connection.plugin()->writeSettings(&settings, false));
    QCOMPARE(m_emulator->parameterBlock().mid(40, 7), QByteArray::fromHex("00003500001500"));
    QCOMPARE(m_emulator->parameterBlock().at(7), char(0x09));
    double dose = 0;
    QVERIFY(connection.plugin()->readAccumulatedED(&dose));
    QCOMPARE(dose, 43.21);

    const Tm4040IrdaCounters counters = m_emulator->irdaCounters();
    QVERIFY(counters.droppedFromDevice + counters.corruptedFromDevice > 0);
    QVERIFY(counters.droppedToDevice + counters.corruptedToDevice > 0);
    QCOMPARE(counters.linkLosses, 0);
    // A port that did not follow the link's speed would lose every frame
    // after UA; a frame read late, after the port had already changed
    // speed again, may count here on a busy machine.
    QVERIFY(counters.hostSpeedMismatches * 20 < counters.framesReceived);
    QVERIFY(counters.linkConnections >= 3); // search, import, settings: 9600 again each time
}

void IrdaDeviceTest::firstOfTwoDevicesRefuses()
{
    Tm4040Scenario s = scenario(3);
    s.faults.irda.secondDeviceRefusing = true;
    startEmulator(s);
    DeviceConnection connection(m_db->db()->deviceTypes().first());
    QVERIFY(connection.connect());
    QCOMPARE(connection.info()->serialNumber, qint32(DeviceSerial));
    QCOMPARE(connectErrors.load(), 1);
    QCOMPARE(m_emulator->irdaCounters().refusals, 1);
    QCOMPARE(m_emulator->irdaCounters().linkConnections, 1);
}

void IrdaDeviceTest::refusingDeviceFailsClearly()
{
    Tm4040Scenario s = scenario(3);
    s.faults.irda.refuseConnection = true;
    startEmulator(s);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!plugin()->connectDevice());
    QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(connectErrors.load(), 1);
    DeviceInfo info;
    QVERIFY(!plugin()->readDeviceInfo(&info));
}

void IrdaDeviceTest::linkLastsThroughAPause()
{
    startEmulator(scenario(3));
    DeviceConnection connection(m_db->db()->deviceTypes().first());
    QVERIFY(connection.connect());
    // The operator takes ten seconds; the link must still be there.
    frameLines = 0;
    QTest::qWait(10000);
    // Hundreds of polls, each the same frame: the trace counts them instead
    // of filling the diagnostics log.
    QVERIFY2(frameLines < 20, qPrintable(QString::number(frameLines)));
    double dose = 0;
    QVERIFY(connection.plugin()->readAccumulatedED(&dose));
    const Tm4040IrdaCounters counters = m_emulator->irdaCounters();
    QCOMPARE(counters.linkConnections, 1);
    QCOMPARE(counters.linkLosses, 0);
}

void IrdaDeviceTest::closeFromAnotherThreadEndsARead()
{
    Tm4040Scenario s = scenario(3);
    s.faults.silentCommands = "p";
    startEmulator(s);
    QVERIFY(plugin()->connectDevice());
    qputenv("TM4040_ANSWER_TIMEOUT_MS", "10000");
    std::atomic<bool> done {false};
    bool read = true;
    QScopedPointer<QThread> worker(QThread::create([&] {
        DeviceInfo info;
        read = plugin()->readDeviceInfo(&info);
        done.store(true, std::memory_order_release);
    }));
    worker->start();
    QTRY_COMPARE(m_emulator->receivedLetters(), QByteArray("p"));
    QElapsedTimer timer;
    timer.start();
    plugin()->disconnectDevice();
    QVERIFY(worker->wait(3000));
    QVERIFY(done.load(std::memory_order_acquire));
    QVERIFY(!read);
    QVERIFY2(timer.elapsed() < 2500, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(m_emulator->irdaCounters().disconnects, 1); // DISC answered
    qputenv("TM4040_ANSWER_TIMEOUT_MS", "1000");
}

void IrdaDeviceTest::portGoneMidDownload()
{
    Tm4040Scenario s = scenario(501);
    s.faults.irda.realTiming = true;
    s.faults.irda.maxBaud = 9600;
    startEmulator(s);
    QVERIFY(plugin()->connectDevice());
    // The adapter is pulled out a second into the transfer.
    QTimer::singleShot(1000, [this] { m_emulator->stop(); });
    QList<HistoryEvent *> events;
    QElapsedTimer timer;
    timer.start();
    std::atomic<bool> done {false};
    QScopedPointer<QThread> worker(QThread::create([&] {
        plugin()->readHistory(events, true);
        done.store(true, std::memory_order_release);
    }));
    worker->start();
    QTRY_VERIFY_WITH_TIMEOUT(done.load(std::memory_order_acquire), 10000);
    QVERIFY(worker->wait(1000));
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(events.isEmpty());
    QVERIFY(!plugin()->connectDevice());
}

void IrdaDeviceTest::silentDeviceMidHistory()
{
    Tm4040Scenario s = scenario(501);
    s.faults.dropLinkAfterPacket = 40;
    startEmulator(s);
    QVERIFY(plugin()->connectDevice());
    QList<HistoryEvent *> events;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!plugin()->readHistory(events, true));
    QVERIFY(events.isEmpty());
    // Within the answer limit of the tests (one second), not the link's 12 s.
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
}

QTEST_MAIN(IrdaDeviceTest)
#include "tst_irdadevice.moc"
