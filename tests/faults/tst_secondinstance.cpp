// Two instances of the program on one database file: the second starts while
// the first is in the middle of storing a history, and both store histories
// that overlap. Every record ends up stored exactly once.
//
// The second instance is this test program started again with a switch; it
// goes through the same data store as the program.

#include "common/TestDatabase.h"
#include "db/DataBase.h"

#include <QApplication>
#include <QProcess>
#include <QSet>
#include <QSqlQuery>
#include <QtTest>

#include <cstdio>
#include <functional>
#include <iostream>
#include <string>

namespace {

const char SecondInstanceSwitch[] = "--second-instance";
const int BatchSize = 10;

// Event `number` of the shared test history: one a minute, dose and
// measurement records taking turns, as a dosimeter would deliver them.
VDB::Event historyEvent(const SharedUser &user, DeviceType *type, int number)
{
    VDB::Event event;
    event.user = user;
    event.deviceType = type;
    event.deviceSerial = 8009;
    event.dateTime = QDateTime(QDate(2011, 3, 24), QTime(8, 0)).addSecs(60 * number);
    event.eventType = number % 2 ? VDB::EventMeasurement : VDB::EventDose;
    event.value = 0.001 * (number % 7 + 1);
    event.medValue = 0.12;
    event.channel = VDB::Gamma;
    event.eventNumber = number;
    return event;
}

// Stores events [first, first + count) in batches; false at the first batch
// the store refuses. `afterFirst` runs once the first batch is stored.
bool storeHistory(const SharedUser &user, int first, int count,
                  const std::function<void()> &afterFirst = {})
{
    VDB::DataBase *db = VDB::DataBase::instance();
    DeviceType *type = db->deviceType(1);
    for (int start = first; start < first + count; start += BatchSize) {
        QList<VDB::Event> batch;
        for (int n = start; n < qMin(start + BatchSize, first + count); ++n)
            batch << historyEvent(user, type, n);
        if (!db->addEvents(batch))
            return false;
        if (start == first && afterFirst)
            afterFirst();
    }
    return true;
}

// The second instance: opens the file as the program does at start, says
// how that went, then on "store FIRST COUNT USER" stores that part of the
// history, saying "started" after the first batch and "stored" or "refused"
// at the end. Ends when its input closes.
int secondInstance(int argc, char *argv[])
{
    QApplication app(argc, argv);
    VDB::DataBase::setFileName(QString::fromLocal8Bit(argv[2]));
    const OperationResult opened = VDB::DataBase::openOrCreate(false);
    std::printf("opened %d users %d\n", opened.code,
                int(VDB::DataBase::instance()->users().size()));
    std::fflush(stdout);
    std::string command;
    int first = 0, count = 0, userId = 0;
    while (std::cin >> command >> first >> count >> userId) {
        const bool stored
            = storeHistory(VDB::DataBase::instance()->user(userId), first, count, []() {
                  std::printf("started\n");
                  std::fflush(stdout);
              });
        std::printf(stored ? "stored\n" : "refused\n");
        std::fflush(stdout);
    }
    VDB::DataBase::destroyInstance();
    return 0;
}

// Reads the second instance's next line.
QByteArray nextLine(QProcess &process, int timeoutMs = 30000)
{
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(timeoutMs))
            return QByteArray();
    }
    return process.readLine().trimmed();
}

} // namespace

class SecondInstanceTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void startsWhileFirstStores();
    void overlappingHistoriesStoredOnce();

private:
    bool startSecond(QProcess &second, QByteArray *greeting);

    QScopedPointer<TestSupport::TestDatabase> m_db;
    SharedUser m_user;
};

void SecondInstanceTest::init()
{
    m_db.reset(new TestSupport::TestDatabase);
    QVERIFY(m_db->isValid());
    m_user = m_db->addUser(QStringLiteral("Второй"));
    QVERIFY(m_user);
}

void SecondInstanceTest::cleanup()
{
    m_user.clear();
    m_db.reset();
}

bool SecondInstanceTest::startSecond(QProcess &second, QByteArray *greeting)
{
    second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    second.start(QCoreApplication::applicationFilePath(),
                 {QLatin1String(SecondInstanceSwitch), m_db->fileName()});
    *greeting = nextLine(second);
    return !greeting->isEmpty();
}

// The first instance holds an uncommitted batch; the second starts without a
// question, sees what was committed before, and nothing of the batch.
void SecondInstanceTest::startsWhileFirstStores()
{
    QVERIFY(TestSupport::TestDatabase::exec(QStringLiteral("BEGIN")));
    QVERIFY(storeHistory(m_user, 0, 120));

    QProcess second;
    QByteArray greeting;
    QVERIFY(startSecond(second, &greeting));
    const int users = int(m_db->db()->users().size());
    QCOMPARE(greeting, QByteArray("opened 0 users ") + QByteArray::number(users));

    QVERIFY(TestSupport::TestDatabase::exec(QStringLiteral("COMMIT")));
    // Now the second stores an overlapping part and sees the first's rows.
    second.write("store 100 40 " + QByteArray::number(m_user->id) + '\n');
    QCOMPARE(nextLine(second), QByteArray("started"));
    QCOMPARE(nextLine(second), QByteArray("stored"));
    second.closeWriteChannel();
    QVERIFY(second.waitForFinished(30000));
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(TestSupport::TestDatabase::scalar(
                 QStringLiteral("SELECT count(*) FROM 'Events' WHERE userId = %1").arg(m_user->id)),
             QVariant(140));
}

// Both store at the same time, 1000 records each, 500 of them the same.
void SecondInstanceTest::overlappingHistoriesStoredOnce()
{
    QProcess second;
    QByteArray greeting;
    QVERIFY(startSecond(second, &greeting));
    QVERIFY2(greeting.startsWith("opened 0 "), greeting.constData());

    // The first begins once the second is under way; then both go on.
    second.write("store 500 1000 " + QByteArray::number(m_user->id) + '\n');
    QCOMPARE(nextLine(second), QByteArray("started"));
    QVERIFY(storeHistory(m_user, 0, 1000));
    QCOMPARE(nextLine(second), QByteArray("stored"));
    second.closeWriteChannel();
    QVERIFY(second.waitForFinished(30000));
    QCOMPARE(second.exitCode(), 0);

    // Each of the 1500 records once, with the values of its number.
    QList<VDB::Event> stored;
    m_db->db()->userEvents(stored, QDate(2011, 3, 24), QDate(2011, 3, 26), m_user);
    QCOMPARE(stored.size(), 1500);
    QSet<int> numbers;
    for (const VDB::Event &event : qAsConst(stored)) {
        const VDB::Event expected = historyEvent(m_user, nullptr, event.eventNumber);
        QVERIFY(!numbers.contains(event.eventNumber));
        numbers.insert(event.eventNumber);
        QCOMPARE(event.dateTime, expected.dateTime);
        QCOMPARE(event.eventType, expected.eventType);
        QCOMPARE(event.value, expected.value);
    }
    QCOMPARE(numbers.size(), 1500);
    QVERIFY(numbers.contains(0) && numbers.contains(1499));
}

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], SecondInstanceSwitch) == 0)
        return secondInstance(argc, argv);
    QApplication app(argc, argv);
    SecondInstanceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_secondinstance.moc"
