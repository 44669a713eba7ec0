// The audit trail: every change records who, where, what and its essentials,
// in the transaction of the change; logins that fail keep the login typed
// and nothing of the password; reading filters and pages in SQL.

#include "common/TestDatabase.h"
#include "db/AuditOperation.h"

#include <QSqlQuery>
#include <QtTest>

using TestSupport::TestDatabase;
namespace Op = VDB::AuditOperation;

class AuditTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup() { m_db.reset(); }

    void everyChangeRecordsItself();
    void loginAttempts();
    void entryLivesAndDiesWithItsChange();
    void trailOutlivesRecreationAndOldFilesGainIt();
    void filtersAndPages();

private:
    VDB::DataBase *store() const { return m_db->db(); }
    // The entries of the operator "admin", oldest first.
    QList<VDB::AuditEntry> adminEntries() const;
    void loginAdmin();

    QScopedPointer<TestDatabase> m_db;
};

void AuditTest::init()
{
    m_db.reset(new TestDatabase);
    QVERIFY(m_db->isValid());
}

void AuditTest::loginAdmin()
{
    store()->setWorkstation("ПОСТ-1");
    QVERIFY(store()->login("admin", "tavro"));
}

QList<VDB::AuditEntry> AuditTest::adminEntries() const
{
    VDB::AuditFilter filter;
    filter.login = "admin";
    QList<VDB::AuditEntry> entries = store()->auditEntries(filter);
    std::reverse(entries.begin(), entries.end());
    return entries;
}

void AuditTest::everyChangeRecordsItself()
{
    loginAdmin();
    VDB::DataBase *db = store();
    QVERIFY(db->addGroup("Смена А", "дневная", 1));
    const SharedGroup shift = db->groups().last();
    QVERIFY(db->updateGroup(shift, "Смена Б", "дневная", 3));
    const SharedUser user = m_db->addUser("Петров", "Пётр", {shift}, User::Operator, "petrov");
    User edited = *user;
    edited.department = "Лаборатория";
    edited.password = "new-secret";
    QCOMPARE(db->updateUser(user, edited).code, 0);
    QVERIFY(db->setDeviceUsage(shift, false, "нет допуска"));
    DeviceType *type = db->deviceTypes().first();
    QVERIFY(db->assignDevice(user, type, 8009, QDateTime(QDate(2026, 3, 1), QTime(9, 0)), ""));
    const QDateTime when(QDate(2026, 3, 2), QTime(10, 0));
    QVERIFY(db->addEvents({TestDatabase::reading(user, when, 0.5, 8009, 0.1),
                           TestDatabase::reading(user, when.addSecs(60), 0.6, 8009, 0.1)}));
    QVERIFY(db->unassignDevice(user));
    Options options = db->options();
    options.interval = 14;
    QVERIFY(db->updateOptions(options));
    ThresholdData threshold;
    threshold.name = "Суточный";
    threshold.value = 0.2;
    QVERIFY(db->saveThresholds({ThresholdChange::Add}, {threshold}, {SharedThreshold()}));
    DoseRecordSettings dose = db->doseSettings();
    dose.annualLimit = 18;
    QVERIFY(db->updateDoseSettings(dose));
    QVERIFY(db->recordOperation(Op::DoseReset, "КВР-ТМ4040 № 8009", "доза до сброса: 1,2 мЗв"));
    QCOMPARE(db->deleteUser(m_db->addUser("Лишний")).code, 0);
    QVERIFY(db->deleteGroup(shift, db->groups().first()));

    const QList<VDB::AuditEntry> entries = adminEntries();
    QStringList operations;
    for (const VDB::AuditEntry &entry : entries) {
        operations << entry.operation;
        QCOMPARE(entry.workstation, QStringLiteral("ПОСТ-1"));
        QVERIFY(entry.dateTime.isValid());
        QVERIFY2(!entry.details.contains("secret"), qPrintable(entry.details));
    }
    QCOMPARE(operations,
             QStringList({Op::LoginSucceeded, Op::GroupAdded, Op::GroupChanged, Op::UserAdded,
                          Op::UserChanged, Op::DeviceUsageChanged, Op::DeviceAssigned,
                          Op::HistoryImported, Op::DeviceReleased, Op::OptionsChanged,
                          Op::ThresholdsChanged, Op::DoseSettingsChanged, Op::DoseReset,
                          Op::UserAdded, Op::UserDeleted, Op::GroupDeleted}));
    QCOMPARE(entries.at(2).object, QStringLiteral("Смена А"));
    QVERIFY(entries.at(2).details.contains("Смена Б"));
    QCOMPARE(entries.at(4).object, QStringLiteral("Петров Пётр (petrov)"));
    QVERIFY(entries.at(4).details.contains("«» → «Лаборатория»"));
    QVERIFY(entries.at(4).details.contains("пароль изменён"));
    QVERIFY(entries.at(5).details.contains("нет допуска"));
    QCOMPARE(entries.at(6).object, QStringLiteral("КВР-ТМ4040 №\u00a08009"));
    QVERIFY(entries.at(7).details.contains("записано новых: 2"));
    QVERIFY(entries.at(9).details.contains("интервал 14"));
    QCOMPARE(entries.at(10).object, QStringLiteral("Суточный"));
    QVERIFY(entries.at(11).details.contains("год 18"));
    QCOMPARE(entries.at(12).details, QStringLiteral("доза до сброса: 1,2 мЗв"));
    QCOMPARE(entries.at(14).object, QStringLiteral("Лишний Иван"));
}

void AuditTest::loginAttempts()
{
    QVERIFY(!store()->login("admin", "wrong-guess"));
    QVERIFY(store()->login("admin", "tavro"));
    const QList<VDB::AuditEntry> entries = adminEntries();
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries.at(0).operation, QString(Op::LoginFailed));
    QCOMPARE(entries.at(1).operation, QString(Op::LoginSucceeded));
    QCOMPARE(entries.at(1).object, QStringLiteral("Administrator Администратор (admin)"));
    // Nothing of a typed password is kept anywhere in the trail.
    QCOMPARE(TestDatabase::scalar("SELECT count(*) FROM AuditLog WHERE details LIKE '%wrong%' "
                                  "OR object LIKE '%wrong%' OR login LIKE '%wrong%'")
                 .toInt(),
             0);
}

void AuditTest::entryLivesAndDiesWithItsChange()
{
    loginAdmin();
    const int before = store()->auditCount(VDB::AuditFilter());
    // A change rolled back by the transaction around it takes its entry
    // along. (On the server a BEGIN inside a transaction is no nesting; how
    // the store meets a foreign transaction there is tst_dbchanges' subject.)
    if (!TestDatabase::onServer()) {
        QVERIFY(QSqlDatabase::database().transaction());
        QVERIFY(store()->addGroup("Откат", QString(), 0));
        QVERIFY(QSqlDatabase::database().rollback());
        QCOMPARE(store()->auditCount(VDB::AuditFilter()), before);
    }
    // An entry that cannot be written takes its change along.
    QVERIFY(TestDatabase::exec("ALTER TABLE AuditLog RENAME TO AuditLogAway"));
    QVERIFY(!store()->addGroup("Без записи", QString(), 0));
    QVERIFY(TestDatabase::exec("ALTER TABLE AuditLogAway RENAME TO AuditLog"));
    QCOMPARE(TestDatabase::scalar("SELECT count(*) FROM Groups").toInt(), 3);
    QCOMPARE(store()->auditCount(VDB::AuditFilter()), before);
}

void AuditTest::trailOutlivesRecreationAndOldFilesGainIt()
{
    loginAdmin();
    QCOMPARE(VDB::DataBase::openOrCreate(true).code, 0);
    loginAdmin();
    QStringList operations;
    for (const VDB::AuditEntry &entry : store()->auditEntries(VDB::AuditFilter()))
        operations << entry.operation;
    QCOMPARE(operations.mid(0, 4),
             QStringList({Op::LoginSucceeded, Op::DatabaseRecreated, Op::LoginSucceeded,
                          Op::DatabaseCreated}));

    // A database of an older program has no trail: opening gives it one.
    QVERIFY(TestDatabase::exec("DROP TABLE AuditLog"));
    m_db->reopen();
    QCOMPARE(VDB::DataBase::openOrCreate(false).code, 0);
    QVERIFY(store()->addGroup("После", QString(), 0));
    QCOMPARE(store()->auditEntries(VDB::AuditFilter()).value(0).object, QStringLiteral("После"));
}

void AuditTest::filtersAndPages()
{
    QSqlQuery insert(QSqlDatabase::database());
    QVERIFY(insert.prepare("INSERT INTO AuditLog (dateTime, login, workstation, operation, "
                           "object, details) VALUES (?, ?, 'ПК', ?, '', '')"));
    for (int day = 1; day <= 30; ++day) {
        for (const char *login : {"ivanov", "petrov"}) {
            insert.addBindValue(
                QDateTime(QDate(2026, 4, day), QTime(23, 59, 59, 999)).toString(Qt::ISODateWithMs));
            insert.addBindValue(QString(login));
            insert.addBindValue(QString(day % 2 ? Op::UserAdded : Op::DoseReset));
            QVERIFY(insert.exec());
        }
    }
    VDB::AuditFilter filter;
    filter.from = QDate(2026, 4, 10);
    filter.to = QDate(2026, 4, 19); // the whole last day counts
    QCOMPARE(store()->auditCount(filter), 20);
    filter.login = "petrov";
    filter.operation = Op::DoseReset;
    QCOMPARE(store()->auditCount(filter), 5);
    const QList<VDB::AuditEntry> page = store()->auditEntries(filter, 2, 1);
    QCOMPARE(page.size(), 2);
    QCOMPARE(page.at(0).dateTime.date(), QDate(2026, 4, 16)); // newest first, one skipped
    QCOMPARE(page.at(1).dateTime.date(), QDate(2026, 4, 14));
    QCOMPARE(store()->auditLogins().mid(0, 2), QStringList({"ivanov", "petrov"}));
}

QTEST_GUILESS_MAIN(AuditTest)
#include "tst_audit.moc"
