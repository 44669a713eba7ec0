// Events, the test-data generator and the dose sums.

#include "common/TestDatabase.h"
#include "db/DoseUnits.h"

#include <QSignalSpy>
#include <QSqlQuery>
#include <QtTest>

using TestSupport::TestDatabase;

namespace {

VDB::Event makeEvent(const SharedUser &user, const QDateTime &when, int type, double value)
{
    VDB::Event e;
    e.user = user;
    e.dateTime = when;
    e.deviceType = VDB::DataBase::instance()->deviceTypes().value(0);
    e.deviceSerial = 8009;
    e.eventType = type;
    e.value = value;
    e.channel = VDB::Gamma;
    return e;
}

int eventCount()
{
    return TestDatabase::scalar("SELECT COUNT(*) FROM Events").toInt();
}

} // namespace

class DbEventsTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void generatedTestData();
    void addEventsStoresAllFields();
    void reimportSkipsDuplicates();
    void failingBatchIsRolledBack();
    void addEventAcceptsFourTypes();
    void userEventsCoverWholeDays();
    void deviceAssignmentEvents();
    void doseWindowFirstAndLastDay_data();
    void doseWindowFirstAndLastDay();
    void doseCountsOnlyDoseRecords();
    void groupDose();
    void doseInDisplayUnit();

private:
    QScopedPointer<TestDatabase> m_db;
    SharedUser m_user;
};

void DbEventsTest::init()
{
    m_db.reset(new TestDatabase);
    QVERIFY(m_db->isValid());
    m_user = m_db->addUser("Сидоров");
    QVERIFY(m_user);
}

void DbEventsTest::cleanup()
{
    m_user.clear();
    m_db.reset();
}

void DbEventsTest::generatedTestData()
{
    QCOMPARE(VDB::DataBase::openOrCreate(true).code, 0);
    const QDateTime started = QDateTime::currentDateTime();
    QCOMPARE(VDB::DataBase::generateTestData().code, 0);

    VDB::DataBase *store = VDB::DataBase::instance();
    QCOMPARE(store->users().size(), 2);
    const SharedUser user = store->users().last();
    QCOMPARE(user->firstname, QStringLiteral("User"));
    QCOMPARE(user->role, int(User::PlainUser));
    QVERIFY(user->canUseDevice);
    QCOMPARE(user->groups.size(), 1);
    QCOMPARE(user->groups.first()->id, 3);

    QCOMPARE(eventCount(), 50002);
    QCOMPARE(TestDatabase::scalar("SELECT COUNT(DISTINCT userId) || '/' || COUNT(DISTINCT "
                                  "deviceSerial) || '/' || MIN(deviceSerial) || '/' || "
                                  "MIN(deviceId) || MAX(deviceId) FROM Events")
                 .toString(),
             QStringLiteral("1/1/8009/11"));

    QSqlQuery query(QSqlDatabase::database());
    QVERIFY(
        query.exec("SELECT dateTime, eventType, value, channel, comment FROM Events ORDER BY id"));
    QDateTime previous;
    int i = -1;
    while (query.next()) {
        // Read as wall-clock time; steps are measured on the text.
        const QDateTime t
            = QDateTime::fromString(query.value(0).toString() + 'Z', Qt::ISODateWithMs);
        QVERIFY(t.isValid());
        const int type = query.value(1).toInt();
        if (i == -1) {
            QCOMPARE(type, 100);
            QVERIFY(query.isNull(2) && query.isNull(3) && query.isNull(4));
            const QDateTime expected = started.addDays(-10);
            QVERIFY(qAbs(t.secsTo(QDateTime(expected.date(), expected.time(), Qt::UTC))) < 60);
        } else if (i == 50000) {
            QCOMPARE(type, 101);
            QVERIFY(query.isNull(2) && query.isNull(3) && query.isNull(4));
            QCOMPARE(previous.secsTo(t), 120);
        } else {
            const qint64 step = previous.secsTo(t);
            QVERIFY2(step >= 10 && step <= 309, qPrintable(QString::number(step)));
            const double value = query.value(2).toDouble();
            if (i % 2) {
                QCOMPARE(type, 200);
                QVERIFY(value >= 0.0001 - 1e-12 && value <= 0.0020 + 1e-12);
            } else {
                QCOMPARE(type, 300);
                QVERIFY(value >= 0.1 - 1e-12 && value <= 0.1049 + 1e-12);
            }
            QCOMPARE(query.value(3).toInt(), 2);
            QCOMPARE(query.value(4).toString(), QString::number(i));
        }
        previous = t;
        ++i;
    }
    QCOMPARE(i, 50001);
}

void DbEventsTest::addEventsStoresAllFields()
{
    QSignalSpy added(m_db->db(), &VDB::DataBase::historyAdded);
    VDB::Event e = makeEvent(m_user, QDateTime(QDate(2020, 5, 6), QTime(7, 8, 9, 10)), 200, 0.25);
    e.medValue = 1.5;
    e.eventNumber = 77;
    e.edThreshold = true;
    e.hvFault = true;
    e.memoryFault = true; // not written: the column keeps 0
    VDB::Event noChannel = makeEvent(m_user, e.dateTime.addSecs(60), 300, 0.5);
    noChannel.channel = -1;
    noChannel.comment = "первая";

    QVERIFY(m_db->db()->addEvents({e, noChannel}));
    QCOMPARE(added.count(), 1);
    QCOMPARE(TestDatabase::scalar(
                 "SELECT dateTime || '|' || deviceId || '|' || deviceSerial || '|' || eventType || "
                 "'|' || value || '|' || medValue || '|' || channel || '|' || eventNumber || '|' "
                 "|| edThreshold || medThreshold || batteryLow || detectorFault || hvFault || "
                 "memoryFault || '|' || COALESCE(comment, 'NULL') FROM Events ORDER BY id LIMIT 1")
                 .toString(),
             QStringLiteral("2020-05-06T07:08:09.010|1|8009|200|0.25|1.5|2|77|100010|NULL"));
    QCOMPARE(
        TestDatabase::scalar("SELECT channel || comment FROM Events ORDER BY id DESC").toString(),
        QStringLiteral("-1первая"));

    // Read back newest first, every field restored.
    QList<VDB::Event> list;
    m_db->db()->userEvents(list, QDate(2020, 5, 6), QDate(2020, 5, 6), m_user);
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(0).eventType, 300);
    QCOMPARE(list.at(0).channel, -1);
    QCOMPARE(list.at(0).comment, QStringLiteral("первая"));
    const VDB::Event &back = list.at(1);
    QCOMPARE(back.user, m_user);
    QCOMPARE(back.dateTime, e.dateTime);
    QCOMPARE(back.deviceType, m_db->db()->deviceTypes().first());
    QCOMPARE(back.deviceSerial, 8009);
    QCOMPARE(back.value, 0.25);
    QCOMPARE(back.medValue, 1.5);
    QCOMPARE(back.eventNumber, 77);
    QVERIFY(back.edThreshold && back.hvFault);
    QVERIFY(!back.medThreshold && !back.batteryLow && !back.detectorFault && !back.memoryFault);
    QVERIFY(back.comment.isEmpty());

    // An empty batch does nothing at all.
    QVERIFY(m_db->db()->addEvents({}));
    QCOMPARE(added.count(), 1);
}

void DbEventsTest::reimportSkipsDuplicates()
{
    QSignalSpy added(m_db->db(), &VDB::DataBase::historyAdded);
    const QDateTime start(QDate(2021, 1, 1), QTime(10, 0));
    QList<VDB::Event> first;
    for (int i = 0; i < 300; ++i)
        first << makeEvent(m_user, start.addSecs(60 * i), 200, 0.001);
    QVERIFY(m_db->db()->addEvents(first));
    QCOMPARE(eventCount(), 300);

    // The same history again plus ten new records: only the new ones are added.
    QList<VDB::Event> second = first;
    for (int i = 300; i < 310; ++i)
        second << makeEvent(m_user, start.addSecs(60 * i), 200, 0.001);
    QVERIFY(m_db->db()->addEvents(second));
    QCOMPARE(eventCount(), 310);
    QCOMPARE(added.count(), 2);
}

void DbEventsTest::failingBatchIsRolledBack()
{
    QVERIFY(TestDatabase::refuse("refuse", "INSERT", "Events", "refused", "NEW.value > 99"));
    QSignalSpy added(m_db->db(), &VDB::DataBase::historyAdded);
    const QDateTime t(QDate(2021, 1, 1), QTime(10, 0));
    QList<VDB::Event> batch {makeEvent(m_user, t, 300, 1), makeEvent(m_user, t.addSecs(1), 300, 2),
                             makeEvent(m_user, t.addSecs(2), 300, 100),
                             makeEvent(m_user, t.addSecs(3), 300, 3)};
    QVERIFY(!m_db->db()->addEvents(batch));
    QCOMPARE(eventCount(), 0);
    QCOMPARE(added.count(), 0);

    // A read-only connection refuses the whole batch as well.
    QVERIFY(TestDatabase::setReadOnly(true));
    batch.removeAt(2);
    QVERIFY(!m_db->db()->addEvents(batch));
    QCOMPARE(added.count(), 0);
    QVERIFY(TestDatabase::setReadOnly(false));
    QVERIFY(m_db->db()->addEvents(batch));
    QCOMPARE(eventCount(), 3);
    QCOMPARE(added.count(), 1);
}

void DbEventsTest::addEventAcceptsFourTypes()
{
    QSignalSpy added(m_db->db(), &VDB::DataBase::historyAdded);
    const QDateTime t(QDate(2021, 2, 3), QTime(4, 5, 6));
    QVERIFY(!m_db->db()->addEvent(makeEvent(m_user, t, 350, 1)));
    QCOMPARE(eventCount(), 0);

    VDB::Event assigned = makeEvent(m_user, t, 100, 5);
    assigned.comment = "выдан";
    QVERIFY(m_db->db()->addEvent(assigned));
    QVERIFY(m_db->db()->addEvent(makeEvent(m_user, t.addSecs(1), 300, 0.5)));
    VDB::Event released = makeEvent(m_user, QDateTime(), 101, 5);
    const QDateTime before = QDateTime::currentDateTime();
    QVERIFY(m_db->db()->addEvent(released));
    QCOMPARE(added.count(), 0);

    QSqlQuery query(QSqlDatabase::database());
    QVERIFY(
        query.exec("SELECT eventType, value, channel, comment, dateTime FROM Events ORDER BY id"));
    QVERIFY(query.next());
    QVERIFY(query.isNull(1) && query.isNull(2));
    QCOMPARE(query.value(3).toString(), QStringLiteral("выдан"));
    QVERIFY(query.next());
    QCOMPARE(query.value(1).toDouble(), 0.5);
    QCOMPARE(query.value(2).toInt(), 2);
    QVERIFY(query.isNull(3));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toInt(), 101);
    QVERIFY(query.isNull(1) && query.isNull(2) && query.isNull(3));
    const QDateTime stamped = QDateTime::fromString(query.value(4).toString(), Qt::ISODateWithMs);
    QVERIFY(qAbs(stamped.secsTo(before)) < 5);
}

void DbEventsTest::userEventsCoverWholeDays()
{
    const QDate day(2022, 3, 15);
    QVERIFY(m_db->insertEvents(m_user,
                               {{QDateTime(day.addDays(-1), QTime(23, 59, 59, 999)), 1},
                                {QDateTime(day, QTime(0, 0)), 2},
                                {QDateTime(day, QTime(12, 0)), 3},
                                {QDateTime(day, QTime(23, 59, 59, 999)), 4},
                                {QDateTime(day.addDays(1), QTime(0, 0)), 5}}));
    const SharedUser other = m_db->addUser("Другой");
    QVERIFY(m_db->insertEvents(other, {{QDateTime(day, QTime(13, 0)), 9}}));

    QList<VDB::Event> list;
    m_db->db()->userEvents(list, day, day, m_user);
    QCOMPARE(list.size(), 3);
    QCOMPARE(list.at(0).value, 4.0); // newest insertion first
    QCOMPARE(list.at(2).value, 2.0);

    list.clear();
    m_db->db()->userEvents(list, day.addDays(-1), day.addDays(1), m_user);
    QCOMPARE(list.size(), 5);
}

void DbEventsTest::deviceAssignmentEvents()
{
    VDB::DataBase *store = m_db->db();
    DeviceType *type = store->deviceTypes().first();
    const QDateTime t(QDate(2022, 4, 1), QTime(9, 0));
    QVERIFY(store->assignDevice(m_user, type, 1234, t, "первый"));
    QVERIFY(store->addEvent(makeEvent(m_user, t.addSecs(5), 300, 1)));
    const SharedUser gone = m_db->addUser("Ушедший");
    VDB::Event e = makeEvent(gone, t.addDays(1), 101, 0);
    QVERIFY(store->addEvent(e));
    QVERIFY(TestDatabase::exec(QStringLiteral("DELETE FROM Users WHERE id = %1").arg(gone->id)));
    store->loadAll();

    QList<VDB::Event> list;
    store->deviceAssignmentEvents(list, t.date(), t.date().addDays(1));
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(0).eventType, 101);
    QVERIFY(!list.at(0).user); // the user no longer exists
    QCOMPARE(list.at(1).eventType, 100);
    QCOMPARE(list.at(1).user->surname, QStringLiteral("Сидоров"));
    QCOMPARE(list.at(1).deviceSerial, 1234);
    QCOMPARE(list.at(1).comment, QStringLiteral("первый"));
    QCOMPARE(list.at(1).deviceType, store->deviceTypes().first());
    QCOMPARE(list.at(1).dateTime, t);

    list.clear();
    store->deviceAssignmentEvents(list, t.date(), t.date(), store->deviceTypes().first());
    QCOMPARE(list.size(), 1);
    DeviceType unknown;
    unknown.id = 99;
    list.clear();
    store->deviceAssignmentEvents(list, t.date(), t.date().addDays(1), &unknown);
    QVERIFY(list.isEmpty());
}

void DbEventsTest::doseWindowFirstAndLastDay_data()
{
    QTest::addColumn<int>("period");
    QTest::addColumn<double>("expected");
    // Values: 1 on D-8, 2 on D-7 00:00, 4 on D-1 23:59, 8 on D 23:59:59.999, 16 on D+1.
    QTest::newRow("0 days: today only") << 0 << 8.0;
    QTest::newRow("1 day") << 1 << 12.0;
    QTest::newRow("7 days: from the start of D-7") << 7 << 14.0;
    QTest::newRow("8 days") << 8 << 15.0;
}

void DbEventsTest::doseWindowFirstAndLastDay()
{
    QFETCH(int, period);
    QFETCH(double, expected);
    const QDate today(2023, 3, 1); // the month boundary is part of the test
    m_db->db()->setToday(today);
    QCOMPARE(m_db->db()->today(), today);
    QVERIFY(m_db->insertEvents(m_user,
                               {{QDateTime(today.addDays(-8), QTime(23, 59, 59, 999)), 1},
                                {QDateTime(today.addDays(-7), QTime(0, 0)), 2},
                                {QDateTime(today.addDays(-1), QTime(23, 59)), 4},
                                {QDateTime(today, QTime(23, 59, 59, 999)), 8},
                                {QDateTime(today.addDays(1), QTime(0, 0)), 16}}));
    QCOMPARE(m_db->db()->userDose(quint16(period), m_user), expected);
    QCOMPARE(m_db->db()->userDose(quint16(period)), expected);

    m_db->db()->setToday(QDate());
    QCOMPARE(m_db->db()->today(), QDate::currentDate());
}

void DbEventsTest::doseCountsOnlyDoseRecords()
{
    const QDate today(2023, 6, 10);
    m_db->db()->setToday(today);
    const QDateTime t(today, QTime(8, 0));
    QCOMPARE(m_db->db()->userDose(7, m_user), 0.0);
    QVERIFY(m_db->insertEvents(m_user, {{t, 1.5}}, 200));
    QVERIFY(m_db->insertEvents(m_user, {{t.addSecs(1), 100}}, 101));
    QCOMPARE(m_db->db()->userDose(7, m_user), 0.0);
    QVERIFY(m_db->insertEvents(m_user, {{t.addSecs(2), 0.25}}));
    QCOMPARE(m_db->db()->userDose(7, m_user), 0.25);
    // A user without events sums to 0, not an error.
    QCOMPARE(m_db->db()->userDose(7, m_db->db()->users().first()), 0.0);
}

void DbEventsTest::groupDose()
{
    VDB::DataBase *store = m_db->db();
    const QDate today(2023, 6, 10);
    store->setToday(today);
    QVERIFY(store->addGroup("Смена", QString(), 0));
    const SharedGroup group = store->groups().last();
    QCOMPARE(store->groupDose(7, group), 0.0); // no members, no query

    QList<SharedUser> members;
    for (int i = 0; i < 300; ++i) {
        const SharedUser u = m_db->addUser(QStringLiteral("Член%1").arg(i), "Иван", {group});
        QVERIFY(u);
        members << u;
    }
    QCOMPARE(group->users.size(), 300);
    QList<QPair<QDateTime, double>> events;
    for (int i = 0; i < 300; ++i)
        QVERIFY(m_db->insertEvents(members.at(i), {{QDateTime(today, QTime(1, 0)), 0.01}}));
    QVERIFY(m_db->insertEvents(m_user, {{QDateTime(today, QTime(1, 0)), 50}}));
    QVERIFY(qAbs(store->groupDose(7, group) - 3.0) < 1e-9);
    QVERIFY(qAbs(store->userDose(7) - 53.0) < 1e-9);
}

void DbEventsTest::doseInDisplayUnit()
{
    VDB::DataBase *store = m_db->db();
    const QDate today(2023, 6, 10);
    store->setToday(today);
    QVERIFY(m_db->insertEvents(m_user, {{QDateTime(today, QTime(1, 0)), 0.01}}));
    Options options = store->options();
    options.units = DoseUnits::Rem;
    QVERIFY(store->updateOptions(options));
    QVERIFY(qAbs(store->userDose(1, m_user) - 1.0) < 1e-12);
    QList<VDB::Event> list;
    store->userEvents(list, today, today, m_user);
    QCOMPARE(list.size(), 1);
    QVERIFY(qAbs(list.first().value - 1.0) < 1e-12);
    options.units = DoseUnits::Sievert;
    QVERIFY(store->updateOptions(options));
}

QTEST_MAIN(DbEventsTest)
#include "tst_dbevents.moc"
