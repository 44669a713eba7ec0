// Groups, device use and assignment, options and thresholds: what is written,
// what the records show, which signals follow, and refusals that change nothing.

#include "common/TestDatabase.h"
#include "db/DoseUnits.h"

#include <QSqlQuery>
#include <QtTest>

using TestSupport::TestDatabase;

namespace {

QStringList column(const QString &sql)
{
    QStringList out;
    QSqlQuery q(QSqlDatabase::database());
    q.exec(sql);
    while (q.next())
        out << (q.isNull(0) ? QStringLiteral("NULL") : q.value(0).toString());
    return out;
}

ThresholdData thresholdData(const QString &name, double value, quint16 period,
                            const QList<SharedGroup> &groups = QList<SharedGroup>())
{
    ThresholdData d;
    d.isUser = groups.isEmpty();
    d.name = name;
    d.value = value;
    d.period = period;
    d.groups = groups;
    return d;
}

} // namespace

class DbChangesTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup() { m_db.reset(); }

    void addAndUpdateGroup();
    void deleteGroupMovesOnlyUsersLeftWithout();
    void deleteGroupWithEmptyTargetRefusedWhileMembersRemain();
    void deleteGroupUnlinksThresholds();
    void setDeviceUsage();
    void assignAndUnassignDevice();
    void updateOptions();
    void unitChangeReexpressesThresholds();
    void saveThresholds();
    void refusedOperationsChangeNothing_data();
    void refusedOperationsChangeNothing();
    void operationInsideForeignTransactionDoesNotCommit();
    void signalsSeeCommittedDataAndUpdatedRecords();

private:
    VDB::DataBase *store() const { return m_db->db(); }
    SharedGroup group(int i) const { return store()->groups().at(i); }

    QScopedPointer<TestDatabase> m_db;
    SharedUser m_a, m_b;
};

void DbChangesTest::init()
{
    m_db.reset(new TestDatabase);
    QVERIFY(m_db->isValid());
    m_a = m_db->addUser("Первый", "Иван", {group(2)});
    m_b = m_db->addUser("Второй", "Пётр", {group(1), group(2)});
    QVERIFY(m_a && m_b);
}

void DbChangesTest::addAndUpdateGroup()
{
    TestSupport::StoreSignalSpy spy;
    QSignalSpy added(store(), &VDB::DataBase::groupAdded);
    QVERIFY(store()->addGroup("Смена А", "дневная", 5));
    QCOMPARE(spy.order(), QStringList({"groupAdded"}));
    const SharedGroup g = added.at(0).at(0).value<SharedGroup>();
    QCOMPARE(store()->groups().last(), g);
    QCOMPARE(g->id, 4);
    QCOMPARE(column("SELECT name || '|' || description || '|' || access FROM Groups WHERE id = 4"),
             QStringList({"Смена А|дневная|5"}));

    QVERIFY(store()->updateGroup(g, "Смена Б", QString(), 2));
    QCOMPARE(spy.order(), QStringList({"groupAdded", "groupUpdated"}));
    QCOMPARE(g->name, QStringLiteral("Смена Б"));
    QCOMPARE(g->access, 2);
    QCOMPARE(column("SELECT name || '|' || access FROM Groups WHERE id = 4"),
             QStringList({"Смена Б|2"}));
    // New rights apply through the user's groups at once.
    QVERIFY(store()->updateGroup(group(1), group(1)->name, group(1)->description, 4));
    QCOMPARE(m_b->rights(), 4);
}

void DbChangesTest::deleteGroupMovesOnlyUsersLeftWithout()
{
    TestSupport::StoreSignalSpy spy;
    const SharedGroup users = group(2), operators = group(1), admins = group(0);
    QVERIFY(store()->deleteGroup(users, admins));
    QCOMPARE(spy.order(), QStringList({"groupDeleted"}));
    QVERIFY(!store()->groups().contains(users));
    QVERIFY(users->users.isEmpty());
    // m_a had only this group and moves to the target; m_b keeps "Операторы" only.
    QCOMPARE(m_a->groups, QList<SharedGroup>({admins}));
    QCOMPARE(m_b->groups, QList<SharedGroup>({operators}));
    QVERIFY(admins->users.contains(m_a));
    QVERIFY(!admins->users.contains(m_b));
    QCOMPARE(
        column(QStringLiteral("SELECT groupId FROM Users2Groups WHERE userId = %1").arg(m_a->id)),
        QStringList({"1"}));
    QCOMPARE(
        column(QStringLiteral("SELECT groupId FROM Users2Groups WHERE userId = %1").arg(m_b->id)),
        QStringList({"2"}));
    QCOMPARE(column("SELECT COUNT(*) FROM Groups WHERE id = 3"), QStringList({"0"}));
    const QString caches = TestSupport::cacheSnapshot();
    store()->loadAll();
    QCOMPARE(TestSupport::cacheSnapshot(), caches);
}

void DbChangesTest::deleteGroupWithEmptyTargetRefusedWhileMembersRemain()
{
    const QString db = TestSupport::databaseSnapshot();
    const QString caches = TestSupport::cacheSnapshot();
    TestSupport::StoreSignalSpy spy;
    QVERIFY(!store()->deleteGroup(group(2), SharedGroup()));
    QVERIFY(!store()->deleteGroup(group(2), group(2)));
    QCOMPARE(TestSupport::databaseSnapshot(), db);
    QCOMPARE(TestSupport::cacheSnapshot(), caches);
    QCOMPARE(spy.total(), 0);

    // A group whose members all belong elsewhere too may go without a target.
    QVERIFY(store()->deleteGroup(group(1), SharedGroup()));
    QCOMPARE(m_b->groups, QList<SharedGroup>({group(1)})); // "Пользователи" is now second
    QCOMPARE(spy.order(), QStringList({"groupDeleted"}));
    // And a group without users, of course.
    QVERIFY(store()->addGroup("Пустая", QString(), 0));
    QVERIFY(store()->deleteGroup(store()->groups().last(), SharedGroup()));
}

void DbChangesTest::deleteGroupUnlinksThresholds()
{
    QVERIFY(store()->saveThresholds({ThresholdChange::Add},
                                    {thresholdData("Групповой", 1, 7, {group(1), group(2)})},
                                    {SharedThreshold()}));
    const SharedThreshold t = store()->thresholds().last();
    QCOMPARE(t->groups.size(), 2);
    QVERIFY(store()->deleteGroup(group(1), group(0)));
    QVERIFY(store()->thresholds().contains(t));
    QCOMPARE(t->groups, QList<SharedGroup>({group(1)}));
    QCOMPARE(column("SELECT groupId FROM GroupThresholds"), QStringList({"3"}));
    const QString caches = TestSupport::cacheSnapshot();
    store()->loadAll();
    QCOMPARE(TestSupport::cacheSnapshot(), caches);
}

void DbChangesTest::setDeviceUsage()
{
    QSignalSpy updated(store(), &VDB::DataBase::userUpdated);
    QVERIFY(store()->setDeviceUsage(group(2), false, "нет медосмотра"));
    QCOMPARE(updated.count(), 2);
    QCOMPARE(updated.at(0).at(0).value<SharedUser>(), m_a);
    QCOMPARE(updated.at(1).at(0).value<SharedUser>(), m_b);
    QVERIFY(!m_a->canUseDevice);
    QCOMPARE(m_b->usageReason, QStringLiteral("нет медосмотра"));
    QCOMPARE(column(QStringLiteral("SELECT access || '|' || usageReason FROM Users WHERE id = %1")
                        .arg(m_a->id)),
             QStringList({"0|нет медосмотра"}));

    updated.clear();
    QVERIFY(store()->setDeviceUsage(group(2), true, "игнорируется"));
    QCOMPARE(updated.count(), 2);
    QVERIFY(m_a->canUseDevice);
    // Allowing leaves the stored reason as it was.
    QCOMPARE(m_a->usageReason, QStringLiteral("нет медосмотра"));
    QCOMPARE(column(QStringLiteral("SELECT access || '|' || usageReason FROM Users WHERE id = %1")
                        .arg(m_a->id)),
             QStringList({"1|нет медосмотра"}));
    // The administrator keeps its other bits.
    QVERIFY(store()->setDeviceUsage(group(0), false, QString()));
    QCOMPARE(column("SELECT access FROM Users WHERE id = 1"), QStringList({"130"}));

    // An empty group: nothing emitted.
    QVERIFY(store()->addGroup("Пустая", QString(), 0));
    updated.clear();
    QVERIFY(store()->setDeviceUsage(store()->groups().last(), false, "x"));
    QCOMPARE(updated.count(), 0);
}

void DbChangesTest::assignAndUnassignDevice()
{
    DeviceType *type = store()->deviceTypes().first();
    const QDateTime when(QDate(2024, 2, 29), QTime(13, 14, 15, 16));
    TestSupport::StoreSignalSpy spy;
    QVERIFY(store()->assignDevice(m_a, type, 4711, when, "выдан"));
    QCOMPARE(spy.order(), QStringList({"userUpdated", "historyAdded"}));
    QVERIFY(m_a->device);
    QCOMPARE(m_a->device->type, type);
    QCOMPARE(m_a->device->serial, 4711);
    QCOMPARE(m_a->device->assignDate, when);
    QCOMPARE(store()->userWithDevice(type, 4711), m_a);
    QCOMPARE(column(QStringLiteral("SELECT deviceId || '|' || deviceSerial || '|' || assignDate "
                                   "FROM Users WHERE id = %1")
                        .arg(m_a->id)),
             QStringList({"1|4711|2024-02-29T13:14:15.016"}));
    QCOMPARE(column("SELECT eventType || '|' || dateTime || '|' || deviceSerial || '|' || comment "
                    "FROM Events"),
             QStringList({"100|2024-02-29T13:14:15.016|4711|выдан"}));

    // A second device for the same user: nothing written, nothing emitted.
    const QString db = TestSupport::databaseSnapshot();
    QVERIFY(!store()->assignDevice(m_a, type, 1, QDateTime(), QString()));
    QCOMPARE(TestSupport::databaseSnapshot(), db);
    QCOMPARE(spy.total(), 2);

    const QString caches = TestSupport::cacheSnapshot();
    store()->loadAll();
    QCOMPARE(TestSupport::cacheSnapshot(), caches);
    m_a = store()->user(m_a->id);
    type = store()->deviceTypes().first();
    QCOMPARE(m_a->device->assignDate, when);

    TestSupport::StoreSignalSpy after;
    QVERIFY(store()->unassignDevice(m_a));
    QCOMPARE(after.order(), QStringList({"userUpdated", "historyAdded"}));
    QVERIFY(!m_a->device);
    QCOMPARE(column(QStringLiteral("SELECT COALESCE(CAST(deviceId AS TEXT), 'NULL') || "
                                   "COALESCE(CAST(deviceSerial AS TEXT), 'NULL') || "
                                   "COALESCE(assignDate, 'NULL') FROM Users WHERE id = %1")
                        .arg(m_a->id)),
             QStringList({"NULLNULLNULL"}));
    QCOMPARE(column("SELECT eventType || '|' || deviceSerial || '|' || COALESCE(comment, 'NULL') "
                    "FROM Events ORDER BY id"),
             QStringList({"100|4711|выдан", "101|4711|NULL"}));
    // Releasing a user without a device does nothing.
    QVERIFY(!store()->unassignDevice(m_a));
    QCOMPARE(after.total(), 2);
}

void DbChangesTest::updateOptions()
{
    TestSupport::StoreSignalSpy spy;
    Options o = store()->options();
    o.delHistory = true;
    o.undockDevice = true;
    o.interval = 30;
    o.edColors[VDB::Beta] = QColor(1, 2, 3);
    o.medColors[VDB::Neutron] = QColor(10, 20, 30);
    QVERIFY(store()->updateOptions(o));
    QCOMPARE(spy.order(), QStringList({"optionsChanged"}));
    QCOMPARE(column("SELECT settings || '|' || interval FROM Options"), QStringList({"37|30"}));
    QCOMPARE(store()->options().edColor(VDB::Beta), QColor(1, 2, 3));
    QCOMPARE(store()->options().settings(), 37);

    // Reading back gives the same record.
    const QString caches = TestSupport::cacheSnapshot();
    store()->loadAll();
    QCOMPARE(TestSupport::cacheSnapshot(), caches);
    QCOMPARE(store()->options().medColor(VDB::Neutron), QColor(10, 20, 30));

    // Higher bits of settings are ignored on reading and never written.
    QVERIFY(TestDatabase::exec("UPDATE Options SET settings = 64 + 8 + 2"));
    store()->loadAll();
    QCOMPARE(store()->options().units, 2);
    QVERIFY(store()->options().synchronizeDate);
    QVERIFY(!store()->options().delHistory);
    QVERIFY(store()->updateOptions(store()->options()));
    QCOMPARE(column("SELECT settings FROM Options"), QStringList({"10"}));
}

void DbChangesTest::unitChangeReexpressesThresholds()
{
    QVERIFY(
        store()->saveThresholds({0}, {thresholdData("Недельный", 0.02, 7)}, {SharedThreshold()}));
    const SharedThreshold t = store()->thresholds().last();
    QCOMPARE(t->value, 0.02);

    TestSupport::StoreSignalSpy spy;
    Options o = store()->options();
    o.units = DoseUnits::Roentgen;
    QVERIFY(store()->updateOptions(o));
    QCOMPARE(spy.order(), QStringList({"optionsChanged", "thresholdsUpdated"}));
    QCOMPARE(t->value, 2.0);
    QCOMPARE(DoseUnits::currentCode(), int(DoseUnits::Roentgen));
    QCOMPARE(column("SELECT value FROM Thresholds"), QStringList({"0.02"}));
    // Loading in roentgen shows the same.
    store()->loadAll();
    QCOMPARE(store()->thresholds().last()->value, 2.0);

    o.units = DoseUnits::Rem;
    QVERIFY(store()->updateOptions(o));
    QCOMPARE(store()->thresholds().last()->value, 2.0);
    o.units = DoseUnits::Sievert;
    QVERIFY(store()->updateOptions(o));
    QCOMPARE(store()->thresholds().last()->value, 0.02);
    // A change of colour only: optionsChanged alone.
    TestSupport::StoreSignalSpy colourOnly;
    o.edColors[0] = Qt::black;
    QVERIFY(store()->updateOptions(o));
    QCOMPARE(colourOnly.order(), QStringList({"optionsChanged"}));
}

void DbChangesTest::saveThresholds()
{
    TestSupport::StoreSignalSpy spy;
    QVERIFY(store()->saveThresholds(
        {ThresholdChange::Add, ThresholdChange::Add},
        {thresholdData("Личный", 0.5, 7), thresholdData("Групповой", 2, 30, {group(1), group(2)})},
        {SharedThreshold(), SharedThreshold()}));
    QCOMPARE(spy.order(), QStringList({"thresholdsUpdated"}));
    QCOMPARE(store()->thresholds().size(), 2);
    const SharedThreshold personal = store()->thresholds().at(0);
    const SharedThreshold shared = store()->thresholds().at(1);
    QVERIFY(personal->isUser && personal->groups.isEmpty());
    QVERIFY(!shared->isUser);
    QCOMPARE(shared->groups, QList<SharedGroup>({group(1), group(2)}));
    QVERIFY(group(1)->thresholds.contains(shared));
    QCOMPARE(
        column("SELECT name || '|' || channel || '|' || period || '|' || value || '|' || "
               "isUser FROM Thresholds ORDER BY id"),
        QStringList({"Личный|2|7|0.5|1",
                     TestDatabase::onServer() ? "Групповой|2|30|2|0" : "Групповой|2|30|2.0|0"}));

    // Update the group threshold (move it to one group) and delete the personal one, in one call.
    ThresholdData changed = thresholdData("Групповой-2", 3, 14, {group(0)});
    changed.channel = VDB::Beta;
    changed.isUser = true; // never changes an existing threshold's kind
    ThresholdChange update {ThresholdChange::Update, changed, shared};
    ThresholdChange remove {ThresholdChange::Delete, ThresholdData(), personal};
    QVERIFY(store()->saveThresholds(QList<ThresholdChange> {update, remove}));
    QCOMPARE(store()->thresholds(), QList<SharedThreshold>({shared}));
    QCOMPARE(shared->name, QStringLiteral("Групповой-2"));
    QCOMPARE(shared->channel, int(VDB::Beta));
    QCOMPARE(shared->period, quint16(14));
    QVERIFY(!shared->isUser);
    QCOMPARE(shared->groups, QList<SharedGroup>({group(0)}));
    QVERIFY(!group(1)->thresholds.contains(shared));
    QVERIFY(group(0)->thresholds.contains(shared));
    QCOMPARE(column("SELECT thresholdId || '-' || groupId FROM GroupThresholds"),
             QStringList({QStringLiteral("%1-1").arg(shared->id)}));
    QCOMPARE(column("SELECT isUser FROM Thresholds"), QStringList({"0"}));

    const QString caches = TestSupport::cacheSnapshot();
    store()->loadAll();
    QCOMPARE(TestSupport::cacheSnapshot(), caches);

    // Lists of unequal length or empty: nothing.
    TestSupport::StoreSignalSpy none;
    QVERIFY(!store()->saveThresholds({}, {}, {}));
    QVERIFY(!store()->saveThresholds({0, 0}, {thresholdData("x", 1, 1)}, {SharedThreshold()}));
    QCOMPARE(none.total(), 0);
}

void DbChangesTest::refusedOperationsChangeNothing_data()
{
    QTest::addColumn<QString>("operation");
    for (const char *op : {"addGroup", "updateGroup", "deleteGroup", "setDeviceUsage",
                           "assignDevice", "unassignDevice", "updateOptions", "saveThresholds"}) {
        QTest::newRow(op) << QString::fromLatin1(op);
    }
}

void DbChangesTest::refusedOperationsChangeNothing()
{
    QFETCH(QString, operation);
    DeviceType *type = store()->deviceTypes().first();
    QVERIFY(store()->assignDevice(m_b, type, 77, QDateTime(), QString()));
    QVERIFY(
        store()->saveThresholds({0}, {thresholdData("Т", 1, 1, {group(2)})}, {SharedThreshold()}));
    // Writes that are only partly refused show that earlier statements are rolled back too.
    QVERIFY(TestDatabase::refuse("r1", "INSERT", "Events", "no events"));
    QVERIFY(TestDatabase::refuse("r2", "INSERT", "Users2Groups", "no links"));
    QVERIFY(TestDatabase::refuse("r3", "INSERT", "GroupThresholds", "no links"));
    const bool readOnly = operation == "addGroup" || operation == "updateGroup"
        || operation == "setDeviceUsage" || operation == "updateOptions";
    if (readOnly)
        QVERIFY(TestDatabase::setReadOnly(true));

    const QString db = TestSupport::databaseSnapshot();
    const QString caches = TestSupport::cacheSnapshot();
    TestSupport::StoreSignalSpy spy;
    bool result = true;
    if (operation == "addGroup") {
        result = store()->addGroup("Новая", "", 1);
    } else if (operation == "updateGroup") {
        result = store()->updateGroup(group(2), "Другое имя", "", 7);
    } else if (operation == "deleteGroup") {
        result = store()->deleteGroup(group(2), group(0));
    } else if (operation == "setDeviceUsage") {
        result = store()->setDeviceUsage(group(2), false, "причина");
    } else if (operation == "assignDevice") {
        result = store()->assignDevice(m_a, type, 78, QDateTime(), QString());
    } else if (operation == "unassignDevice") {
        result = store()->unassignDevice(m_b);
    } else if (operation == "updateOptions") {
        Options o = store()->options();
        o.units = 0;
        o.interval = 99;
        result = store()->updateOptions(o);
    } else if (operation == "saveThresholds") {
        result = store()->saveThresholds(
            {ThresholdChange::Update, ThresholdChange::Add},
            {thresholdData("Т2", 5, 5, {group(1)}), thresholdData("Новый", 1, 1)},
            {store()->thresholds().first(), SharedThreshold()});
    }
    QVERIFY(!result);
    QCOMPARE(TestSupport::databaseSnapshot(), db);
    QCOMPARE(TestSupport::cacheSnapshot(), caches);
    QCOMPARE(spy.total(), 0);
    QCOMPARE(DoseUnits::currentCode(), int(DoseUnits::Sievert));

    // Nothing was left half-open: once the database accepts again, changes commit.
    QVERIFY(TestDatabase::setReadOnly(false));
    QVERIFY(TestDatabase::dropRefusal("r1", "Events"));
    QVERIFY(store()->addGroup("Проверка", QString(), 0));
    m_db->reopen();
    QCOMPARE(store()->groups().last()->name, QStringLiteral("Проверка"));
}

void DbChangesTest::operationInsideForeignTransactionDoesNotCommit()
{
    // An operation inside a transaction that someone else began neither
    // commits nor rolls it back.
    QVERIFY(QSqlDatabase::database().transaction());
    QVERIFY(store()->addGroup("Внутри", QString(), 0));
    QVERIFY(QSqlDatabase::database().rollback());
    m_db->reopen();
    QCOMPARE(store()->groups().size(), 3);
}

void DbChangesTest::signalsSeeCommittedDataAndUpdatedRecords()
{
    // A second connection sees only committed rows: every slot must find the
    // change already there, and the records already updated.
    QStringList seen;
    {
        QSqlDatabase other = TestDatabase::openSecondConnection("other");
        QVERIFY(other.isOpen());
        auto committed = [&other](const QString &sql) {
            QSqlQuery q(other);
            return q.exec(sql) && q.next() ? q.value(0).toString() : QStringLiteral("?");
        };
        QObject context;
        connect(store(), &VDB::DataBase::groupAdded, &context, [&](const SharedGroup &g) {
            seen << "group "
                    + committed(QStringLiteral("SELECT name FROM Groups WHERE id = %1").arg(g->id))
                    + (store()->groups().contains(g) ? " listed" : " missing");
        });
        connect(store(), &VDB::DataBase::userUpdated, &context, [&](const SharedUser &u) {
            seen << "user "
                    + committed(
                        QStringLiteral("SELECT deviceSerial FROM Users WHERE id = %1").arg(u->id))
                    + (u->device ? " device" : " none");
        });
        connect(store(), &VDB::DataBase::historyAdded, &context,
                [&]() { seen << "history " + committed("SELECT COUNT(*) FROM Events"); });
        connect(store(), &VDB::DataBase::thresholdsUpdated, &context, [&]() {
            seen << "thresholds " + committed("SELECT COUNT(*) FROM Thresholds")
                    + QStringLiteral(" %1").arg(store()->thresholds().size());
        });
        QVERIFY(store()->addGroup("Видимая", QString(), 0));
        QVERIFY(
            store()->assignDevice(m_a, store()->deviceTypes().first(), 55, QDateTime(), QString()));
        QVERIFY(store()->saveThresholds({0}, {thresholdData("П", 1, 1)}, {SharedThreshold()}));
    }
    QSqlDatabase::removeDatabase("other");
    QCOMPARE(
        seen,
        QStringList({"group Видимая listed", "user 55 device", "history 1", "thresholds 1 1"}));
}

QTEST_MAIN(DbChangesTest)
#include "tst_dbchanges.moc"
