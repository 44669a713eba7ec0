// Two workstations on one server: this test process is one, the other is
// this executable started again as a writer (ORVANE_LIVE_WRITER).

#include "app/ConfirmCredentialsDialog.h"
#include "app/Startup.h"
#include "common/ModalHelper.h"
#include "common/PostgresServer.h"
#include "common/TestDatabase.h"
#include "db/DataBase.h"
#include "db/DoseUnits.h"
#include "db/MetaTypes.h"
#include "db/Transaction.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <QSqlQuery>
#include <QtTest>

using TestSupport::TestDatabase;

namespace {

const QDateTime Start(QDate(2024, 5, 6), QTime(8, 0));
const int ImportSize = 400;

VDB::Event doseRecord(const SharedUser &user, int i)
{
    VDB::Event e;
    e.user = user;
    e.dateTime = Start.addSecs(60 * i);
    e.deviceType = VDB::DataBase::instance()->deviceTypes().value(0);
    e.deviceSerial = 4242;
    e.eventType = VDB::EventDose;
    e.value = 0.001;
    e.channel = VDB::Gamma;
    return e;
}

// The other workstation: what it does is named by the arguments.
int writeAsAnotherWorkstation(const QStringList &arguments)
{
    VDB::DataBase::setFileName(qEnvironmentVariable("ORVANE_LIVE_WRITER"));
    if (VDB::DataBase::openOrCreate(false).code != 0)
        return 2;
    VDB::DataBase *db = VDB::DataBase::instance();
    const QString what = arguments.value(1);
    if (what == QLatin1String("open"))
        return db->doseRecordAvailable() ? 0 : 8;
    if (what == QLatin1String("import")) {
        const SharedUser user = db->user(arguments.value(2).toInt());
        QList<VDB::Event> events;
        for (int i = 0; i < ImportSize; ++i)
            events << doseRecord(user, i);
        return user && db->addEvents(events) ? 0 : 3;
    }
    if (!db->addGroup(QStringLiteral("Смена Б"), QString(), 0))
        return 4;
    User data(0, User::PlainUser, User::Female, QDate(1990, 1, 2));
    data.surname = QStringLiteral("Соседова");
    data.firstname = QStringLiteral("Ольга");
    data.groups = {db->groups().last()};
    if (!db->addUser(data).ok())
        return 5;
    const SharedUser user = db->users().last();
    if (!db->assignDevice(user, db->deviceTypes().first(), 5151, Start, QString()))
        return 6;
    return db->addEvents({doseRecord(user, 1)}) ? 0 : 7;
}

} // namespace

class ServerWorkstationsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { m_db.reset(); }
    void changesOfAnotherWorkstationArrive();
    void racingImportsStoreEveryRecordOnce();
    void workstationsStartingTogetherBothHaveTheDoseRecord();
    void recreationNeedsTheServersOwner();
    void reconnectsWhenTheServerIsBack();
    void idleWorkstationHearsOfChangesAfterAServerRestart();
    void connectionCutMidwayWritesNothing();

private:
    // Runs the other workstation(s) to the end; true when all succeeded.
    bool runWriters(const QStringList &arguments, int count = 1);

    QScopedPointer<TestDatabase> m_db;
};

void ServerWorkstationsTest::init()
{
    if (!TestDatabase::onServer())
        QSKIP("Workstations share a database only on a server");
    m_db.reset(new TestDatabase);
    QVERIFY(m_db->isValid());
}

bool ServerWorkstationsTest::runWriters(const QStringList &arguments, int count)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ORVANE_LIVE_WRITER"), m_db->fileName());
    std::vector<std::unique_ptr<QProcess>> writers;
    for (int i = 0; i < count; ++i) {
        writers.push_back(std::make_unique<QProcess>());
        writers.back()->setProcessEnvironment(environment);
        writers.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        writers.back()->start(QCoreApplication::applicationFilePath(), arguments);
    }
    bool ok = true;
    for (const auto &writer : writers) {
        ok = writer->waitForFinished(60000) && writer->exitStatus() == QProcess::NormalExit
            && writer->exitCode() == 0 && ok;
    }
    return ok;
}

void ServerWorkstationsTest::changesOfAnotherWorkstationArrive()
{
    VDB::DataBase *db = m_db->db();
    // The server's notices of every start stay off the terminal, and no
    // statement waits for a compiler.
    QCOMPARE(TestDatabase::scalar("SHOW client_min_messages").toString(),
             QStringLiteral("warning"));
    QCOMPARE(TestDatabase::scalar("SHOW jit").toString(), QStringLiteral("off"));
    TestSupport::StoreSignalSpy spy;
    QVERIFY(runWriters({QStringLiteral("records")}));
    // Within the promised two seconds, and as a local change would.
    QTRY_VERIFY_WITH_TIMEOUT(spy.order().contains("historyAdded"), 2000);
    QCOMPARE(spy.order(), QStringList({"groupAdded", "userAdded", "historyAdded"}));
    const SharedUser user = db->users().last();
    QCOMPARE(user->surname, QStringLiteral("Соседова"));
    QVERIFY(user->device && user->device->serial == 5151);
    // The records link the cached objects, not copies of them.
    QCOMPARE(user->groups, QList<SharedGroup>({db->groups().last()}));
    QVERIFY(db->groups().last()->users.contains(user));
    QCOMPARE(db->userWithDevice(db->deviceTypes().first(), 5151), user);

    // What the caches hold is what a fresh start reads.
    const QString caches = TestSupport::cacheSnapshot();
    m_db->reopen();
    QCOMPARE(TestSupport::cacheSnapshot(), caches);

    // A change of a record that others hold arrives in that record; the
    // later commit wins.
    const SharedUser held = m_db->db()->users().last();
    User data = *held;
    data.department = QStringLiteral("здесь");
    QVERIFY(m_db->db()->updateUser(held, data).ok());
    TestSupport::StoreSignalSpy updates;
    {
        QSqlDatabase other = TestDatabase::openSecondConnection(QStringLiteral("other"));
        QSqlQuery query(other);
        QVERIFY(query.exec(QStringLiteral("UPDATE Users SET department = 'там' WHERE id = %1; "
                                          "SELECT pg_notify('%2', '')")
                               .arg(held->id)
                               .arg(QLatin1String(VDB::Transaction::ChangeChannel))));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
    QTRY_COMPARE_WITH_TIMEOUT(held->department, QStringLiteral("там"), 2000);
    QCOMPARE(updates.order(), QStringList({"userUpdated"}));
}

void ServerWorkstationsTest::racingImportsStoreEveryRecordOnce()
{
    const SharedUser user = m_db->addUser(QStringLiteral("Гонкин"));
    QVERIFY(user);
    QVERIFY(runWriters({QStringLiteral("import"), QString::number(user->id)}, 2));
    QCOMPARE(TestDatabase::scalar("SELECT count(*) FROM Events").toInt(), ImportSize);
    // The dose of record counts each record once as well.
    const double total = m_db->db()->userDoseTotals(QDate(), QDate()).value(user->id);
    QCOMPARE(qRound(total / toDisplayDose(0.001)), ImportSize);
}

void ServerWorkstationsTest::workstationsStartingTogetherBothHaveTheDoseRecord()
{
    // As after a copy of an office's file: the dose record is built anew by
    // whichever workstation starts first, and the others wait for it.
    for (int round = 0; round < 10; ++round) {
        QVERIFY(TestDatabase::exec("DELETE FROM DoseRecordState"));
        QVERIFY(runWriters({QStringLiteral("open")}, 3));
    }
}

void ServerWorkstationsTest::recreationNeedsTheServersOwner()
{
    QVERIFY(TestDatabase::exec("UPDATE Service SET version = 99"));
    VDB::DataBase::destroyInstance();
    qputenv("ORVANE_DATABASE", m_db->fileName().toUtf8());
    QString question;
    QString refusal;
    // Answers the question with Yes, then the credentials dialog with
    // `login`, then (when `refused`) the message that follows.
    auto answer = [&](const QString &login, bool refused) {
        TestSupport::onNextModal([&, login, refused](QWidget *widget) {
            auto *box = qobject_cast<QMessageBox *>(widget);
            QVERIFY(box);
            question = box->text();
            TestSupport::onNextModal([&, login, refused](QWidget *widget) {
                auto *dialog = qobject_cast<ConfirmCredentialsDialog *>(widget);
                QVERIFY(dialog);
                dialog->findChild<QLineEdit *>("loginLineEdit")->setText(login);
                dialog->findChild<QLineEdit *>("passwordLineEdit")->setText("x");
                if (refused) {
                    TestSupport::onNextModal([&](QWidget *widget) {
                        auto *box = qobject_cast<QMessageBox *>(widget);
                        QVERIFY(box);
                        refusal = box->text();
                        box->accept();
                    });
                }
                dialog->accept();
            });
            box->button(QMessageBox::Yes)->click();
        });
    };

    // The same question as for a file, then an account that does not own
    // the database: refused, and the database stays as it was.
    answer("nobody", true);
    QVERIFY(!Startup::makeDatabaseUsable());
    QVERIFY2(question.contains("Неподдерживаемая версия базы данных"), qPrintable(question));
    QVERIFY2(refusal.contains("nobody"), qPrintable(refusal));
    QCOMPARE(TestDatabase::scalar("SELECT version FROM Service").toInt(), 99);

    // The owner re-creates it.
    VDB::DataBase::destroyInstance();
    answer("postgres", false);
    QVERIFY(Startup::makeDatabaseUsable());
    QCOMPARE(TestDatabase::scalar("SELECT version FROM Service").toInt(), 2);
    qunsetenv("ORVANE_DATABASE");
}

void ServerWorkstationsTest::reconnectsWhenTheServerIsBack()
{
    VDB::DataBase *db = m_db->db();
    const QString caches = TestSupport::cacheSnapshot();
    TestSupport::PostgresServer *server = TestSupport::PostgresServer::shared();
    server->stop();

    // The operation fails with the server's reason; no record claims it.
    User data(0, User::PlainUser, User::Male, QDate(1980, 3, 4));
    data.surname = QStringLiteral("Новиков");
    data.firstname = QStringLiteral("Пётр");
    const OperationResult lost = db->addUser(data);
    QCOMPARE(lost.code, 3);
    // The server's reason on one line, without libpq's tabs.
    QVERIFY2(lost.message.startsWith("Нет связи с сервером базы данных (")
                 && !lost.message.contains("()") && !lost.message.contains('\n')
                 && !lost.message.contains('\t'),
             qPrintable(lost.message));
    QCOMPARE(TestSupport::cacheSnapshot(), caches);

    // Another workstation writes while this one is away: its notices are
    // lost, what it wrote is not.
    QVERIFY(server->start());
    QVERIFY(runWriters({QStringLiteral("records")}));
    TestSupport::StoreSignalSpy spy;
    QVERIFY(db->addUser(data).ok());
    QTRY_VERIFY_WITH_TIMEOUT(spy.order().contains("historyAdded"), 2000);
    QVERIFY(spy.order().contains("groupAdded"));
    QCOMPARE(TestDatabase::scalar("SELECT count(*) FROM Users WHERE surname = 'Новиков'").toInt(),
             1);
    SharedUser neighbour;
    for (const SharedUser &u : db->users())
        neighbour = u->surname == QStringLiteral("Соседова") ? u : neighbour;
    QVERIFY(neighbour);

    // Subscribed again: the next commit elsewhere arrives by itself.
    TestSupport::StoreSignalSpy notices;
    QVERIFY(runWriters({QStringLiteral("import"), QString::number(neighbour->id)}));
    QTRY_VERIFY_WITH_TIMEOUT(notices.order().contains("historyAdded"), 2000);
}

void ServerWorkstationsTest::idleWorkstationHearsOfChangesAfterAServerRestart()
{
    // This workstation does nothing while the server restarts and another
    // one commits: it finds the connection gone by itself.
    TestSupport::PostgresServer *server = TestSupport::PostgresServer::shared();
    server->stop();
    QVERIFY(server->start());
    TestSupport::StoreSignalSpy spy;
    QVERIFY(runWriters({QStringLiteral("records")}));
    QTRY_VERIFY_WITH_TIMEOUT(spy.order().contains("historyAdded"), 8000);
    QVERIFY(spy.order().contains("userAdded"));
}

void ServerWorkstationsTest::connectionCutMidwayWritesNothing()
{
    VDB::DataBase *db = m_db->db();
    // The server ends the connection between the user's row and its
    // memberships.
    QVERIFY(TestDatabase::exec("CREATE FUNCTION cut_off() RETURNS trigger AS $$ BEGIN "
                               "PERFORM pg_terminate_backend(pg_backend_pid()); RETURN NEW; "
                               "END $$ LANGUAGE plpgsql"));
    QVERIFY(TestDatabase::exec("CREATE TRIGGER cut_off BEFORE INSERT ON Users2Groups FOR EACH "
                               "ROW EXECUTE FUNCTION cut_off()"));
    const QString caches = TestSupport::cacheSnapshot();
    User data(0, User::PlainUser, User::Male, QDate(1980, 3, 4));
    data.surname = QStringLiteral("Новиков");
    data.firstname = QStringLiteral("Пётр");
    data.groups = {db->groups().first()};
    const OperationResult lost = db->addUser(data);
    QVERIFY2(lost.code == 3 && lost.message.startsWith("Нет связи с сервером базы данных ("),
             qPrintable(lost.message));
    QCOMPARE(TestSupport::cacheSnapshot(), caches);

    // The next operation runs on a new connection; the first left no row.
    data.groups.clear();
    QVERIFY(db->addUser(data).ok());
    QCOMPARE(TestDatabase::scalar("SELECT count(*) FROM Users WHERE surname = 'Новиков'").toInt(),
             1);
}

int main(int argc, char *argv[])
{
    VDB::registerMetaTypes();
    if (qEnvironmentVariableIsSet("ORVANE_LIVE_WRITER")) {
        QCoreApplication app(argc, argv);
        return writeAsAnotherWorkstation(app.arguments());
    }
    QApplication app(argc, argv);
    ServerWorkstationsTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_serverworkstations.moc"
