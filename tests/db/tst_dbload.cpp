// Loading of the caches from files in every shape they may come in, and the
// meta-types that carry records across threads.

#include "common/TestDatabase.h"
#include "db/DoseUnits.h"
#include "db/MetaTypes.h"

#include <QThread>
#include <QtTest>

using TestSupport::TestDatabase;

class DbLoadTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup() { m_db.reset(); }

    void userRows();
    void membershipsSkipUnknownIds();
    void thresholdsAndTheirGroups();
    void thresholdsInRoentgen();
    void olderEventsTableStillReads();
    void metaTypesCrossThreads();

private:
    VDB::DataBase *store() const { return m_db->db(); }
    QScopedPointer<TestDatabase> m_db;
};

void DbLoadTest::init()
{
    m_db.reset(new TestDatabase);
    QVERIFY(m_db->isValid());
}

void DbLoadTest::userRows()
{
    QVERIFY(TestDatabase::exec(
        "INSERT INTO Users (id, firstname, surname, birthday, sex, access, deviceId, deviceSerial, "
        "assignDate) VALUES (10, 'Без', 'Серийного', '1970-01-02', 2, 129, 1, NULL, NULL), "
        "(11, 'Чужой', 'Прибор', '1970-01-03', 1, 2, 9, 5, '2020-01-01T00:00:00.000'), "
        "(12, 'С', 'Прибором', '1970-01-04', 1, 1, 1, 4040, '2011-03-24T16:14:07'), "
        "(13, 'Без', 'Групп', '1970-01-05', 1, 0, NULL, NULL, NULL)"));
    store()->loadAll();
    const QList<SharedUser> &users = store()->users();
    QCOMPARE(users.size(), 5);

    const SharedUser noSerial = store()->user(10);
    QVERIFY(!noSerial->device);
    QCOMPARE(noSerial->role, int(User::Administrator)); // 129: administrator without operator bit
    QVERIFY(noSerial->canUseDevice);
    QCOMPARE(noSerial->sex, 2);
    QVERIFY(noSerial->middlename.isEmpty() && noSerial->login.isEmpty());

    const SharedUser unknownType = store()->user(11);
    QVERIFY(!unknownType->device);
    QCOMPARE(unknownType->role, int(User::Operator));
    QVERIFY(!unknownType->canUseDevice);

    const SharedUser withDevice = store()->user(12);
    QVERIFY(withDevice->device);
    QCOMPARE(withDevice->device->type, store()->deviceTypes().first());
    QCOMPARE(withDevice->device->serial, 4040);
    QCOMPARE(withDevice->device->assignDate, QDateTime(QDate(2011, 3, 24), QTime(16, 14, 7)));
    QCOMPARE(withDevice->role, int(User::PlainUser));
    QCOMPARE(store()->userWithDevice(store()->deviceTypes().first(), 4040), withDevice);
    QVERIFY(!store()->userWithDevice(store()->deviceTypes().first(), 4041));

    const SharedUser alone = store()->user(13);
    QVERIFY(alone->groups.isEmpty());
    for (const SharedGroup &g : store()->groups())
        QVERIFY(!g->users.contains(alone));
    QCOMPARE(alone->birthday, QDate(1970, 1, 5));
    QCOMPARE(alone->fullName(), QStringLiteral("Групп Без"));
}

void DbLoadTest::membershipsSkipUnknownIds()
{
    const SharedUser user = m_db->addUser("Член", "Иван", {store()->groups().at(1)});
    QVERIFY(TestDatabase::exec(QStringLiteral("INSERT INTO Users2Groups VALUES (%1, 99), (77, 2), "
                                              "(%1, 3)")
                                   .arg(user->id)));
    store()->loadAll();
    const SharedUser reloaded = store()->user(user->id);
    QCOMPARE(reloaded->groups.size(), 2);
    QCOMPARE(reloaded->groups.at(0)->id, 2);
    QCOMPARE(reloaded->groups.at(1)->id, 3);
    QCOMPARE(store()->groups().at(1)->users, QList<SharedUser>({reloaded}));
    // The old record is no longer linked (its cycle was broken on reload).
    QVERIFY(user->groups.isEmpty());
}

void DbLoadTest::thresholdsAndTheirGroups()
{
    QVERIFY(TestDatabase::exec(
        "INSERT INTO Thresholds (id, name, channel, period, value, isUser) VALUES "
        "(1, 'Личный', 0, 3, 0.5, 1), (2, 'Групповой', 3, 30, 5, 0), (3, 'Сирота', 2, 7, 1, 0)"));
    QVERIFY(TestDatabase::exec("INSERT INTO GroupThresholds (groupId, thresholdId) VALUES "
                               "(2, 2), (3, 2), (99, 2), (1, 1), (99, 3)"));
    store()->loadAll();
    const QList<SharedThreshold> &thresholds = store()->thresholds();
    QCOMPARE(thresholds.size(), 3);
    const SharedThreshold personal = thresholds.at(0), group = thresholds.at(1),
                          orphan = thresholds.at(2);
    QVERIFY(personal->isUser);
    QCOMPARE(personal->period, quint16(3));
    QCOMPARE(personal->channel, 0);
    QVERIFY(personal->groups.isEmpty()); // user thresholds never take group links
    QVERIFY(store()->groups().at(0)->thresholds.isEmpty());
    QVERIFY(!group->isUser);
    QCOMPARE(group->channel, 3);
    QCOMPARE(group->groups.size(), 2);
    QCOMPARE(store()->groups().at(1)->thresholds, QList<SharedThreshold>({group}));
    QCOMPARE(store()->groups().at(2)->thresholds, QList<SharedThreshold>({group}));
    QVERIFY(orphan->groups.isEmpty());
}

void DbLoadTest::thresholdsInRoentgen()
{
    QVERIFY(
        TestDatabase::exec("INSERT INTO Thresholds (name, channel, value) VALUES ('Т', 2, 0.02)"));
    QVERIFY(TestDatabase::exec("UPDATE Options SET settings = 0"));
    store()->loadAll();
    QCOMPARE(store()->options().units, 0);
    QCOMPARE(DoseUnits::currentCode(), 0);
    QCOMPARE(store()->thresholds().first()->value, 2.0);
    QCOMPARE(store()->thresholds().first()->period, quint16(7)); // the column default
    QVERIFY(TestDatabase::exec("UPDATE Options SET settings = 1"));
    store()->loadAll();
    QCOMPARE(store()->thresholds().first()->value, 0.02);
}

void DbLoadTest::olderEventsTableStillReads()
{
    if (TestDatabase::onServer())
        QSKIP("older tables exist only in files of SQLite");
    // An Events table without the dose-rate, number and flag columns, and
    // date-times without milliseconds.
    QVERIFY(TestDatabase::exec("DROP TABLE Events"));
    QVERIFY(
        TestDatabase::exec("CREATE TABLE Events (id INTEGER PRIMARY KEY AUTOINCREMENT, dateTime "
                           "INTEGER NOT NULL, userId INTEGER, deviceId INTEGER NOT NULL, "
                           "deviceSerial INTEGER NOT NULL, eventType INTEGER NOT NULL, value "
                           "REAL, channel INTEGER, comment TEXT)"));
    QVERIFY(TestDatabase::exec("INSERT INTO Events (dateTime, userId, deviceId, deviceSerial, "
                               "eventType, value, channel) VALUES ('2011-03-24T16:14:07', 1, 1, 8, "
                               "300, 0.25, 2), ('2011-03-24T17:00:00', 1, 1, 8, 100, NULL, NULL)"));
    m_db->reopen();
    QCOMPARE(VDB::DataBase::openOrCreate(false).code, 0);
    const SharedUser admin = store()->users().first();
    QList<VDB::Event> list;
    store()->userEvents(list, QDate(2011, 3, 24), QDate(2011, 3, 24), admin);
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(0).eventType, 100);
    QCOMPARE(list.at(0).value, 0.0);
    QCOMPARE(list.at(0).channel, -1);
    QCOMPARE(list.at(1).dateTime, QDateTime(QDate(2011, 3, 24), QTime(16, 14, 7)));
    QCOMPARE(list.at(1).value, 0.25);
    QCOMPARE(list.at(1).medValue, 0.0);
    QCOMPARE(list.at(1).eventNumber, 0);
    QVERIFY(!list.at(1).edThreshold);
    store()->setToday(QDate(2011, 3, 25));
    QCOMPARE(store()->userDose(1, admin), 0.25);
}

namespace {

class Receiver : public QObject
{
    Q_OBJECT
public:
    VDB::Event event;
    VDB::Channel channel = VDB::Alpha;
    SharedUser user;
    QThread *thread = nullptr;
public slots:
    void take(const VDB::Event &e, VDB::Channel c, const SharedUser &u)
    {
        event = e;
        channel = c;
        user = u;
        thread = QThread::currentThread();
    }
};

class Sender : public QObject
{
    Q_OBJECT
signals:
    void send(const VDB::Event &e, VDB::Channel c, const SharedUser &u);
};

} // namespace

void DbLoadTest::metaTypesCrossThreads()
{
    VDB::registerMetaTypes();
    for (const char *name : {"SharedUser", "SharedGroup", "SharedThreshold", "SharedDevice",
                             "VDB::Event", "VDB::Channel"})
        QVERIFY2(QMetaType::type(name) != QMetaType::UnknownType, name);
    QCOMPARE(QMetaType::type("SharedUser"), qMetaTypeId<SharedUser>());
    QCOMPARE(QMetaType::type("VDB::Event"), qMetaTypeId<VDB::Event>());

    const SharedUser admin = store()->users().first();
    QCOMPARE(QVariant::fromValue(admin).value<SharedUser>(), admin);
    QCOMPARE(QVariant::fromValue(store()->groups().first()).value<SharedGroup>(),
             store()->groups().first());

    // A worker thread sends an event back through a queued connection.
    Receiver receiver;
    Sender sender;
    QThread worker;
    sender.moveToThread(&worker);
    connect(&sender, &Sender::send, &receiver, &Receiver::take, Qt::QueuedConnection);
    worker.start();
    VDB::Event e;
    e.value = 0.125;
    e.eventType = VDB::EventMeasurement;
    QMetaObject::invokeMethod(&sender, [&] { emit sender.send(e, VDB::Neutron, admin); });
    QTRY_COMPARE(receiver.event.value, 0.125);
    QCOMPARE(receiver.channel, VDB::Neutron);
    QCOMPARE(receiver.user, admin);
    QCOMPARE(receiver.thread, QThread::currentThread());
    worker.quit();
    worker.wait();
}

QTEST_MAIN(DbLoadTest)
#include "tst_dbload.moc"
