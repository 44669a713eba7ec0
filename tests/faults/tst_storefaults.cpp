// The data store refusing a history while it is being stored: the file is
// full, or another connection holds it for longer than the store waits.
// Nothing of the refused batch is stored, nothing stored before is lost, no
// "historyAdded" is announced, and the store takes the next batch in full.
// (What the import dialog makes of the refusal is tested with the dialog.)

#include "common/TestDatabase.h"
#include "db/DataBase.h"

#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

namespace {

// A history of `count` records from `first` on, one a minute.
QList<VDB::Event> history(const SharedUser &user, int first, int count)
{
    QList<VDB::Event> events;
    DeviceType *type = VDB::DataBase::instance()->deviceType(1);
    for (int n = first; n < first + count; ++n) {
        VDB::Event event;
        event.user = user;
        event.deviceType = type;
        event.deviceSerial = 8009;
        event.dateTime = QDateTime(QDate(2011, 3, 24), QTime(8, 0)).addSecs(60 * n);
        event.eventType = n % 2 ? VDB::EventMeasurement : VDB::EventDose;
        event.value = 0.001;
        event.channel = VDB::Gamma;
        event.eventNumber = n;
        event.comment = QStringLiteral("record %1 of a history long enough to need pages").arg(n);
        events << event;
    }
    return events;
}

int storedEvents(const SharedUser &user)
{
    return TestSupport::TestDatabase::scalar(
               QStringLiteral("SELECT count(*) FROM 'Events' WHERE userId = %1").arg(user->id))
        .toInt();
}

} // namespace

class StoreFaultsTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void fullFileRefusesWholeBatch();
    void lockedFileRefusesWholeBatch();

private:
    QScopedPointer<TestSupport::TestDatabase> m_db;
    SharedUser m_user;
};

void StoreFaultsTest::init()
{
    m_db.reset(new TestSupport::TestDatabase);
    QVERIFY(m_db->isValid());
    m_user = m_db->addUser(QStringLiteral("Полный"));
    QVERIFY(m_user);
    QVERIFY(m_db->db()->addEvents(history(m_user, 0, 100)));
}

void StoreFaultsTest::cleanup()
{
    m_user.clear();
    m_db.reset();
}

// The file may grow by a few pages only: a batch that needs more fails part
// way and leaves no trace; after room is made the same batch goes in whole.
void StoreFaultsTest::fullFileRefusesWholeBatch()
{
    const int pages
        = TestSupport::TestDatabase::scalar(QStringLiteral("PRAGMA page_count")).toInt();
    QVERIFY(pages > 0);
    QVERIFY(TestSupport::TestDatabase::exec(
        QStringLiteral("PRAGMA max_page_count = %1").arg(pages + 4)));

    QSignalSpy added(m_db->db(), &VDB::DataBase::historyAdded);
    const QList<VDB::Event> batch = history(m_user, 50, 2000);
    QVERIFY(!m_db->db()->addEvents(batch));
    QCOMPARE(added.count(), 0);
    QCOMPARE(storedEvents(m_user), 100);
    // No transaction is left open behind the refusal.
    QVERIFY(TestSupport::TestDatabase::exec(QStringLiteral("BEGIN")));
    QVERIFY(TestSupport::TestDatabase::exec(QStringLiteral("ROLLBACK")));

    QVERIFY(TestSupport::TestDatabase::exec(QStringLiteral("PRAGMA max_page_count = 1000000")));
    QVERIFY(m_db->db()->addEvents(batch));
    QCOMPARE(added.count(), 1);
    QCOMPARE(storedEvents(m_user), 2050);
}

// Another connection (another instance of the program, a backup tool) holds
// the file exclusively for longer than the store waits: the batch is refused
// whole, and stored in full once the file is free.
void StoreFaultsTest::lockedFileRefusesWholeBatch()
{
    const QString holderName = QStringLiteral("store-faults-holder");
    {
        QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), holderName);
        holder.setDatabaseName(m_db->fileName());
        QVERIFY(holder.open());
        QSqlQuery lock(holder);
        QVERIFY(lock.exec(QStringLiteral("BEGIN EXCLUSIVE")));

        QSignalSpy added(m_db->db(), &VDB::DataBase::historyAdded);
        const QList<VDB::Event> batch = history(m_user, 50, 300);
        QVERIFY(!m_db->db()->addEvents(batch));
        QCOMPARE(added.count(), 0);

        QVERIFY(lock.exec(QStringLiteral("ROLLBACK")));
        holder.close();
        QCOMPARE(storedEvents(m_user), 100);
        QVERIFY(m_db->db()->addEvents(batch));
        QCOMPARE(added.count(), 1);
        QCOMPARE(storedEvents(m_user), 350);
    }
    QSqlDatabase::removeDatabase(holderName);
}

QTEST_GUILESS_MAIN(StoreFaultsTest)
#include "tst_storefaults.moc"
