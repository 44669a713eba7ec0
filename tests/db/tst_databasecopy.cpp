// Moving an office: a file into a server (or, without one, another file)
// and back into a new file gives the same rows.

#include "common/PostgresServer.h"
#include "common/TestDatabase.h"
#include "db/DataBase.h"
#include "db/DatabaseCopy.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

using TestSupport::PostgresServer;
using TestSupport::TestDatabase;

namespace {

// Every row of every table of `database`, sorted, with its table's name.
QString rowsOf(const QString &database)
{
    VDB::DataBase::setFileName(database);
    VDB::DataBase::instance();
    const QString rows = TestSupport::databaseSnapshot();
    VDB::DataBase::destroyInstance();
    return rows;
}

} // namespace

class DatabaseCopyTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void roundTripKeepsEveryRow();
    void refusesAFullTargetAndLeavesAFailedOneEmpty();

private:
    QString file(const char *name) const { return m_dir->filePath(QLatin1String(name)); }

    QScopedPointer<QTemporaryDir> m_dir;
    // The middle of the trip: the test server, or another file without one.
    QString m_middle;
};

void DatabaseCopyTest::init()
{
    m_dir.reset(new QTemporaryDir);
    m_middle = file("middle.db");
    if (TestDatabase::onServer()) {
        PostgresServer *server = PostgresServer::shared();
        QVERIFY2(server && server->resetDatabase("orvane_copy"),
                 qPrintable(PostgresServer::lastError()));
        m_middle = server->connectionString("orvane_copy");
    }
    // The office to move, made by the store itself.
    VDB::DataBase::setFileName(file("office.db"));
    QCOMPARE(VDB::DataBase::openOrCreate(false).code, 0);
    VDB::DataBase *db = VDB::DataBase::instance();
    QVERIFY(db->addGroup("Смена А", "с фото", 3));
    User data(0, User::Operator, User::Female, QDate(1985, 4, 5));
    data.surname = "Иванова";
    data.firstname = "Мария";
    data.login = "ivanova";
    data.password = "pw";
    data.groups = {db->groups().last()};
    data.photo = QPixmap(4, 3);
    data.photo.fill(Qt::red);
    QVERIFY(db->addUser(data).ok());
    const SharedUser user = db->users().last();
    QVERIFY(db->assignDevice(user, db->deviceTypes().first(), 8009,
                             QDateTime(QDate(2024, 1, 2), QTime(8, 0)), "выдан"));
    QList<VDB::Event> events;
    for (int i = 0; i < 50; ++i)
        events << TestDatabase::reading(user, QDateTime(QDate(2024, 1, 3), QTime(8, i)), 0.01 * i,
                                        8009, 0.5);
    QVERIFY(db->addEvents(events));
    VDB::DataBase::destroyInstance();
}

void DatabaseCopyTest::cleanup()
{
    VDB::DataBase::destroyInstance();
    VDB::DataBase::setFileName(QString());
}

void DatabaseCopyTest::roundTripKeepsEveryRow()
{
    QStringList report;
    QCOMPARE(VDB::DatabaseCopy::run(file("office.db"), m_middle, &report), QString());
    QVERIFY2(report.join('\n').contains(QRegularExpression("Events: 51 rows, .*value 12.25")),
             qPrintable(report.join('\n')));
    QCOMPARE(VDB::DatabaseCopy::run(m_middle, file("back.db"), &report), QString());
    const QString original = rowsOf(file("office.db"));
    QVERIFY(original.contains("Иванова"));
    QCOMPARE(rowsOf(m_middle), original);
    QCOMPARE(rowsOf(file("back.db")), original);

    // Ids go on after the copied ones.
    VDB::DataBase::setFileName(m_middle);
    QCOMPARE(VDB::DataBase::openOrCreate(false).code, 0);
    const QList<SharedGroup> &groups = VDB::DataBase::instance()->groups();
    const int last = groups.last()->id;
    QVERIFY(VDB::DataBase::instance()->addGroup("Новая", QString(), 0));
    QCOMPARE(groups.last()->id, last + 1);
}

void DatabaseCopyTest::refusesAFullTargetAndLeavesAFailedOneEmpty()
{
    QStringList report;
    QCOMPARE(VDB::DatabaseCopy::run(file("office.db"), m_middle, &report), QString());
    const QString before = rowsOf(m_middle);
    QVERIFY(VDB::DatabaseCopy::run(file("office.db"), m_middle, &report).contains("не пуста"));
    QCOMPARE(rowsOf(m_middle), before);

    // A column the target does not know: nothing may stay of the attempt.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "alter");
        db.setDatabaseName(file("office.db"));
        QVERIFY(db.open());
        QVERIFY(QSqlQuery(db).exec("ALTER TABLE Users ADD COLUMN nickname TEXT"));
    }
    QSqlDatabase::removeDatabase("alter");
    QVERIFY(
        VDB::DatabaseCopy::run(file("office.db"), file("new.db"), &report).contains("nickname"));
    QVERIFY(!QFile::exists(file("new.db")));
    QVERIFY(report.isEmpty());
    QVERIFY(
        VDB::DatabaseCopy::run(file("missing.db"), file("new.db"), &report).contains("не найден"));
}

QTEST_MAIN(DatabaseCopyTest)
#include "tst_databasecopy.moc"
