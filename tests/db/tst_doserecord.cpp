// The dose of record from the dosimeters' counter readings: the increment
// rule, whose dose a reading is, and the tables that keep it.

#include "common/TestDatabase.h"
#include "db/DoseCounter.h"
#include "db/WearerTimeline.h"

#include <QSignalSpy>
#include <QSqlQuery>
#include <QtTest>
#include <cmath>

using TestSupport::TestDatabase;

namespace {

const int Serial = 4242;

QDateTime at(int day, int hour)
{
    return QDateTime(QDate(2024, 3, day), QTime(hour, 0));
}

VDB::Event reading(const SharedUser &user, const QDateTime &when, double value)
{
    return TestSupport::TestDatabase::reading(user, when, value, Serial, 0.1);
}

// The old sum: type-300 records only, as one statement.
double recordSum(int userId)
{
    return TestDatabase::scalar(QStringLiteral("SELECT SUM(value) FROM Events WHERE userId = %1 "
                                               "AND eventType = 300")
                                    .arg(userId))
        .toDouble();
}

QString doseDays()
{
    QStringList rows;
    QSqlQuery query(QSqlDatabase::database());
    query.exec("SELECT userId, day, deviceSerial, dose FROM DoseDays ORDER BY userId, day");
    while (query.next())
        rows << QStringLiteral("%1 %2 %3 %4")
                    .arg(query.value(0).toInt())
                    .arg(query.value(1).toString())
                    .arg(query.value(2).toInt())
                    .arg(query.value(3).toDouble(), 0, 'f', 6);
    return rows.join('\n');
}

} // namespace

class DoseRecordTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void counterRule_data();
    void counterRule();
    void wearerTimeline();
    void resetAndReassignment();
    void recordsBeforeAnyAssignmentBelongToNobody();
    void copiesStoredForTheWrongWearerCountOnce();
    void switchOffGivesTheRecordSums();
    void readingsOfAnotherProgramAreTakenIn();
    void eventsMadeAnewAreTakenInAnew();
    void missingTablesAreRebuiltAtStart();

private:
    double total(const SharedUser &user) { return m_db->db()->userDose(60, user); }

    QScopedPointer<TestDatabase> m_db;
};

void DoseRecordTest::init()
{
    m_db.reset(new TestDatabase);
    QVERIFY(m_db->isValid());
    m_db->db()->setToday(QDate(2024, 3, 31));
}

void DoseRecordTest::cleanup()
{
    m_db.reset();
}

void DoseRecordTest::counterRule_data()
{
    QTest::addColumn<QVector<double>>("readings");
    QTest::addColumn<QVector<double>>("increments");
    const double nan = std::nan("");
    QTest::newRow("first reading is the baseline") << QVector<double> {5} << QVector<double> {0};
    QTest::newRow("rising") << QVector<double> {1, 1.5, 2} << QVector<double> {0, 0.5, 0.5};
    QTest::newRow("equal readings") << QVector<double> {2, 2} << QVector<double> {0, 0};
    QTest::newRow("reset") << QVector<double> {5, 5.2, 0.1, 0.3}
                           << QVector<double> {0, 0.2, 0.1, 0.2};
    QTest::newRow("reset to zero") << QVector<double> {4, 0, 1} << QVector<double> {0, 0, 1};
    QTest::newRow("tiny backward jump")
        << QVector<double> {5, 4.999, 5.001} << QVector<double> {0, 0, 0.001};
    QTest::newRow("clock set back: two runs interleaved")
        << QVector<double> {5.00, 5.11, 5.02, 5.13, 5.04} << QVector<double> {0, 0.11, 0, 0.02, 0};
    QTest::newRow("not a number, negative, infinite")
        << QVector<double> {nan, 1, -3, qInf(), 1.2} << QVector<double> {0, 0, 0, 0, 0.2};
}

void DoseRecordTest::counterRule()
{
    QFETCH(QVector<double>, readings);
    QFETCH(QVector<double>, increments);
    DoseCounter counter;
    for (int i = 0; i < readings.size(); ++i) {
        const double increment = counter.add(readings.at(i)).increment;
        QVERIFY2(qAbs(increment - increments.at(i)) < 1e-12, qPrintable(QString::number(i)));
        QVERIFY(increment >= 0);
    }
}

void DoseRecordTest::wearerTimeline()
{
    WearerTimeline timeline;
    timeline.addAssignment("2024-03-01T08:00:00.000", 7);
    timeline.addAssignment("2024-03-05T08:00:00.000", 9); // moved without a release
    timeline.addRelease("2024-03-07T17:00:00.000");
    timeline.addAssignment("2024-03-09T08:00:00.000", 7);
    QCOMPARE(timeline.wearerAt("2024-02-28T12:00:00.000"), 0);
    QCOMPARE(timeline.wearerAt("2024-03-01T08:00:00.000"), 7);
    QCOMPARE(timeline.wearerAt("2024-03-05T07:59:59.999"), 7);
    QCOMPARE(timeline.wearerAt("2024-03-05T08:00:00.000"), 9);
    QCOMPARE(timeline.wearerAt("2024-03-08T00:00:00.000"), 0);
    QCOMPARE(timeline.wearerAt("2024-03-20T00:00:00.000"), 7);
}

// One dosimeter worn by Ivanov, reset during his time, then handed to Petrov
// without clearing its memory: Petrov's import brings Ivanov's records again.
void DoseRecordTest::resetAndReassignment()
{
    VDB::DataBase *db = m_db->db();
    DeviceType *type = db->deviceTypes().first();
    const SharedUser ivanov = m_db->addUser("Иванов");
    const SharedUser petrov = m_db->addUser("Петров");
    QVERIFY(db->assignDevice(ivanov, type, Serial, at(1, 8), QString()));
    const QList<VDB::Event> first
        = {reading(ivanov, at(1, 9), 1.0), reading(ivanov, at(1, 10), 1.2),
           reading(ivanov, at(2, 9), 1.5), reading(ivanov, at(2, 10), 0.1),
           reading(ivanov, at(2, 11), 0.3)};
    QVERIFY(db->addEvents(first));
    QCOMPARE(total(ivanov), 0.2 + 0.3 + 0.1 + 0.2);

    QVERIFY(db->assignDevice(petrov, type, Serial, at(3, 8), QString()));
    QList<VDB::Event> second;
    for (const VDB::Event &e : first)
        second << reading(petrov, e.dateTime, e.value);
    second << reading(petrov, at(3, 9), 0.5) << reading(petrov, at(3, 10), 0.9);
    const int before = TestDatabase::scalar("SELECT COUNT(*) FROM Events").toInt();
    EventBatchReport report;
    QVERIFY(db->addEvents(second, &report));
    QCOMPARE(report.outsideAssignment, first.size());
    QCOMPARE(report.inserted, 2);
    QCOMPARE(report.alreadyStored, first.size());
    QCOMPARE(TestDatabase::scalar("SELECT COUNT(*) FROM Events").toInt(), before + 2);
    QVERIFY(qAbs(total(ivanov) - 0.8) < 1e-12);
    QVERIFY(qAbs(total(petrov) - (0.2 + 0.4)) < 1e-12);
    QCOMPARE(doseDays().count('\n') + 1, 3); // Ivanov's two days, Petrov's one

    // The same import again changes nothing.
    const QString days = doseDays();
    QVERIFY(db->addEvents(second, &report));
    QCOMPARE(report.inserted, 0);
    QCOMPARE(TestDatabase::scalar("SELECT COUNT(*) FROM Events").toInt(), before + 2);
    QCOMPARE(doseDays(), days);

    // What reads every user at once gives each one's own sum: the threshold
    // scan, and totals of whole months and of days.
    const QHash<int, double> doses = db->userDoses(60);
    QCOMPARE(doses.value(ivanov->id), total(ivanov));
    QCOMPARE(doses.value(petrov->id), total(petrov));
    const QHash<int, double> march = db->userDoseTotals(QDate(2024, 3, 1), QDate(2024, 3, 31));
    QVERIFY(qAbs(march.value(ivanov->id) - total(ivanov)) < 1e-12);
    QVERIFY(qAbs(march.value(petrov->id) - total(petrov)) < 1e-12);
    const QHash<int, double> days2To30 = db->userDoseTotals(QDate(2024, 3, 2), QDate(2024, 3, 30));
    const auto months = db->userMonthDoses(QDate(2024, 3, 2), QDate(2024, 3, 30));
    QCOMPARE(days2To30.keys().size(), 2);
    for (const SharedUser &user : {ivanov, petrov})
        QVERIFY(qAbs(days2To30.value(user->id) - months.value(user->id).value(2024 * 12 + 2))
                < 1e-12);
    QVERIFY(qAbs(days2To30.value(ivanov->id) - 0.6) < 1e-12);
}

void DoseRecordTest::recordsBeforeAnyAssignmentBelongToNobody()
{
    VDB::DataBase *db = m_db->db();
    const SharedUser sidorov = m_db->addUser("Сидоров");
    QVERIFY(db->assignDevice(sidorov, db->deviceTypes().first(), Serial, at(5, 12), QString()));
    const QList<VDB::Event> history
        = {reading(sidorov, at(4, 9), 2.0), reading(sidorov, at(5, 9), 2.5),
           reading(sidorov, at(5, 13), 2.6)};
    EventBatchReport report;
    QVERIFY(db->addEvents(history, &report));
    QCOMPARE(report.outsideAssignment, 2);
    QCOMPARE(TestDatabase::scalar("SELECT COUNT(*) FROM Events WHERE userId IS NULL").toInt(), 2);
    QVERIFY(db->addEvents(history, &report));
    QCOMPARE(report.inserted, 0);
    QCOMPARE(TestDatabase::scalar("SELECT COUNT(*) FROM Events WHERE userId IS NULL").toInt(), 2);
    // Only what came after the assignment is his; the readings before are
    // still the timeline's.
    QVERIFY(qAbs(total(sidorov) - 0.1) < 1e-12);
}

// A file where another program stored the previous wearer's records again
// for the next one: the dose goes to whoever wore the dosimeter, once, and
// importing the same records again adds nothing.
void DoseRecordTest::copiesStoredForTheWrongWearerCountOnce()
{
    VDB::DataBase *db = m_db->db();
    DeviceType *type = db->deviceTypes().first();
    const SharedUser ivanov = m_db->addUser("Иванов");
    const SharedUser petrov = m_db->addUser("Петров");
    QVERIFY(db->assignDevice(ivanov, type, 8009, at(1, 8), QString()));
    QVERIFY(db->assignDevice(petrov, type, 8009, at(3, 8), QString()));
    const QList<QPair<QDateTime, double>> history
        = {{at(1, 9), 1.0}, {at(2, 9), 1.5}, {at(3, 9), 2.0}};
    QVERIFY(m_db->insertEvents(petrov, history, VDB::EventMeasurement));
    QVERIFY(db->refreshDoseRecord());
    QCOMPARE(total(ivanov), 0.5);
    QCOMPARE(total(petrov), 0.5);

    QList<VDB::Event> again;
    for (const auto &record : history) {
        VDB::Event e = reading(petrov, record.first, record.second);
        e.deviceSerial = 8009;
        again << e;
    }
    const int before = TestDatabase::scalar("SELECT COUNT(*) FROM Events").toInt();
    EventBatchReport report;
    QVERIFY(db->addEvents(again, &report));
    QCOMPARE(report.inserted, 0);
    QCOMPARE(report.outsideAssignment, 2);
    QCOMPARE(TestDatabase::scalar("SELECT COUNT(*) FROM Events").toInt(), before);
    QCOMPARE(total(ivanov), 0.5);
    QCOMPARE(total(petrov), 0.5);
}

void DoseRecordTest::switchOffGivesTheRecordSums()
{
    VDB::DataBase *db = m_db->db();
    const SharedGroup group = db->groups().first();
    const SharedUser user = m_db->addUser("Орлов", "Иван", {group});
    QVERIFY(m_db->insertEvents(user, {{at(20, 8), 0.125}, {at(30, 9), 0.0625}}));
    QVERIFY(m_db->insertEvents(user, {{at(20, 9), 1.0}, {at(21, 8), 3.5}}, VDB::EventMeasurement));
    QVERIFY(db->refreshDoseRecord());
    QCOMPARE(total(user), 0.125 + 0.0625 + 2.5);

    QSignalSpy changed(db, &VDB::DataBase::doseRecordChanged);
    DoseRecordSettings settings = db->doseSettings();
    settings.countReadings = false;
    QVERIFY(db->updateDoseSettings(settings));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(total(user), recordSum(user->id));
    QCOMPARE(db->groupDose(60, group), recordSum(user->id));
    QCOMPARE(db->userDose(60), recordSum(user->id));
    QCOMPARE(db->userDailyDoses(user, QDate(2024, 3, 21), QDate(2024, 3, 21)).first().dose, 0.0);

    // Every workstation reads the same switch from the file.
    m_db->reopen();
    QCOMPARE(VDB::DataBase::openOrCreate(false).code, 0);
    QCOMPARE(m_db->db()->doseSettings().countReadings, false);
}

void DoseRecordTest::readingsOfAnotherProgramAreTakenIn()
{
    VDB::DataBase *db = m_db->db();
    const SharedUser user = m_db->addUser("Козлов");
    QVERIFY(m_db->insertEvents(user, {{at(10, 8), 1.0}, {at(12, 8), 1.5}}, VDB::EventMeasurement));
    QSignalSpy changed(db, &VDB::DataBase::doseRecordChanged);
    QVERIFY(db->refreshDoseRecord());
    QCOMPARE(changed.count(), 1);
    QCOMPARE(total(user), 0.5);
    QVERIFY(db->refreshDoseRecord());
    QCOMPARE(changed.count(), 1);

    // Older readings stored later go through the timeline again.
    QVERIFY(m_db->insertEvents(user, {{at(11, 8), 1.25}, {at(9, 8), 0.5}, {at(13, 8), 1.75}},
                               VDB::EventMeasurement));
    QVERIFY(db->refreshDoseRecord());
    QCOMPARE(total(user), 1.25);
    const QString incremental = doseDays();
    QVERIFY(TestDatabase::exec("DELETE FROM DoseRecordState"));
    QVERIFY(db->refreshDoseRecord());
    QCOMPARE(doseDays(), incremental);
}

// Another program empties the events and stores new ones, more than there
// were: the ids start from 1 again, and nothing of the old days may stay.
void DoseRecordTest::eventsMadeAnewAreTakenInAnew()
{
    const SharedUser user = m_db->addUser("Зайцев");
    QVERIFY(m_db->insertEvents(user, {{at(1, 8), 1.0}, {at(2, 8), 1.4}}, VDB::EventMeasurement));
    QVERIFY(m_db->db()->refreshDoseRecord());
    QCOMPARE(total(user), 0.4);
    QVERIFY(TestDatabase::exec("DELETE FROM Events"));
    QVERIFY(TestDatabase::resetIds("Events"));
    QVERIFY(m_db->insertEvents(user, {{at(10, 8), 2.0}, {at(11, 8), 2.5}, {at(12, 8), 2.75}},
                               VDB::EventMeasurement));
    QVERIFY(m_db->db()->refreshDoseRecord());
    QCOMPARE(total(user), 0.75);
    QCOMPARE(doseDays(),
             QStringLiteral("%1 2024-03-10 8009 0.000000\n%1 2024-03-11 8009 0.500000\n"
                            "%1 2024-03-12 8009 0.250000")
                 .arg(user->id));
}

void DoseRecordTest::missingTablesAreRebuiltAtStart()
{
    const SharedUser user = m_db->addUser("Лебедев");
    QVERIFY(m_db->insertEvents(user, {{at(1, 8), 1.0}, {at(2, 8), 0.2}, {at(3, 8), 0.7}},
                               VDB::EventMeasurement));
    QVERIFY(m_db->db()->refreshDoseRecord());
    const QString days = doseDays();
    QVERIFY(TestDatabase::exec("DROP TABLE DoseDays"));
    QVERIFY(TestDatabase::exec("DROP TABLE DoseDevices"));
    QVERIFY(TestDatabase::exec("DROP TABLE DoseRecordState"));
    m_db->reopen();
    QCOMPARE(VDB::DataBase::openOrCreate(false).code, 0);
    QCOMPARE(doseDays(), days);
    QCOMPARE(days,
             QStringLiteral("%1 2024-03-02 8009 0.200000\n%1 2024-03-03 8009 0.500000")
                 .arg(user->id)
                 .prepend(QStringLiteral("%1 2024-03-01 8009 0.000000\n").arg(user->id)));
}

QTEST_MAIN(DoseRecordTest)
#include "tst_doserecord.moc"
