// Start-up on database files that are not the program's own, come from a
// newer program, are damaged, or are held by another process: the operator
// is asked with the database's reason, a file the operator keeps is left
// byte for byte, and a file another process holds is never taken from it.

#include "app/Startup.h"
#include "common/ModalHelper.h"
#include "db/DataBase.h"
#include "tst_startupfaults_answers.h"
#include "tst_startupfaults_files.h"

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <cstdio>

using namespace StartupFaultFiles;

namespace {

const char HoldLockSwitch[] = "--hold-exclusive-lock";

const char *const questionStart = "При соединении с базой произошла ошибка.\nПодробности: \"";
const char *const questionEnd
    = "\".\nПопытаться пересоздать базу данных? ВНИМАНИЕ! Это уничтожит все данные!";

QString utf8(const char *text)
{
    return QString::fromUtf8(text);
}

void useDatabaseFile(const QString &path)
{
    VDB::DataBase::destroyInstance();
    VDB::DataBase::setFileName(path);
}

// The other process: takes the exclusive lock of the file, adds a group
// inside it, says "locked", and holds the lock for `ms` milliseconds or,
// with 0, until its standard input closes. Then commits or rolls back.
int holdExclusiveLock(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString path = QString::fromLocal8Bit(argv[2]);
    const int ms = QByteArray(argv[3]).toInt();
    const bool commit = qstrcmp(argv[4], "commit") == 0;
    int status = 0;
    {
        QSqlDatabase db
            = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
        db.setDatabaseName(path);
        QSqlQuery query(db);
        if (!db.open() || !query.exec(QStringLiteral("BEGIN EXCLUSIVE"))
            || !query.exec(QStringLiteral(
                "INSERT INTO 'Groups' (name, description, access) VALUES ('held', NULL, 0)"))) {
            std::printf("failed\n");
            return 2;
        }
        std::printf("locked\n");
        std::fflush(stdout);
        if (ms > 0) {
            QThread::msleep(ulong(ms));
        } else {
            while (std::getchar() != EOF) { }
        }
        if (!query.exec(QLatin1String(commit ? "COMMIT" : "ROLLBACK")))
            status = 3;
        std::printf("released\n");
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("holder"));
    return status;
}

} // namespace

class StartupFaultsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void unusableFileKeptWhenDeclined_data();
    void unusableFileKeptWhenDeclined();
    void truncatedFileRecreatedOnYes();
    void lockedFileKeptWhenDeclined();
    void lockedFileNotTakenOnYes();
    void brieflyLockedFileOpensWithoutQuestion();
    void fileLockedAtFirstReadIsLoadedOnceUsable();

private:
    QString programDatabase(const QString &name);
    QString makeFile(const QString &kind);
    bool startHolder(QProcess &holder, const QString &path, int ms, bool commit);

    QTemporaryDir m_dir;
    int m_files = 0;
};

void StartupFaultsTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    Startup::registerMetaTypes();
}

void StartupFaultsTest::cleanup()
{
    useDatabaseFile(QString());
}

// A database as the program makes it on a first start.
QString StartupFaultsTest::programDatabase(const QString &name)
{
    const QString path = m_dir.filePath(name + QString::number(++m_files) + QStringLiteral(".db"));
    useDatabaseFile(path);
    const OperationResult created = VDB::DataBase::openOrCreate(false);
    useDatabaseFile(QString());
    return created.code == 0 ? path : QString();
}

QString StartupFaultsTest::makeFile(const QString &kind)
{
    if (kind == QLatin1String("newer")) {
        // Everything of the program's own schema, but the number of a later
        // one, and none of the indexes the program adds when it opens a file.
        const QString path = programDatabase(kind);
        runSql(path,
               {QStringLiteral("UPDATE 'Service' SET version = 3"),
                QStringLiteral("DROP INDEX idx_events_user_type_date"),
                QStringLiteral("DROP INDEX idx_events_user_date"),
                QStringLiteral("DROP INDEX idx_events_type_date")});
        return path;
    }
    if (kind == QLatin1String("textversion")) {
        const QString path = programDatabase(kind);
        runSql(path, {QStringLiteral("UPDATE 'Service' SET version = 'two'")});
        return path;
    }
    if (kind == QLatin1String("truncated")) {
        // A copy that stopped half way: the first pages are there.
        const QString path = programDatabase(kind);
        const QByteArray bytes = readAll(path);
        writeAll(path, bytes.left(bytes.size() / 2));
        return path;
    }
    const QString path = m_dir.filePath(kind + QString::number(++m_files) + QStringLiteral(".db"));
    if (kind == QLatin1String("otherservice")) {
        // Another program that happens to keep a table of that name.
        runSql(path,
               {QStringLiteral("CREATE TABLE Service (name TEXT, port INTEGER)"),
                QStringLiteral("INSERT INTO Service VALUES ('http', 80)"),
                QStringLiteral("CREATE TABLE Users (login TEXT)")});
    } else if (kind == QLatin1String("wal")) {
        runSql(path,
               {QStringLiteral("PRAGMA journal_mode = WAL"),
                QStringLiteral("CREATE TABLE Customers (id INTEGER PRIMARY KEY, name TEXT)"),
                QStringLiteral("INSERT INTO Customers (name) VALUES ('precious')")});
    }
    return path;
}

void StartupFaultsTest::unusableFileKeptWhenDeclined_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("foreign, a Service table of its own")
        << "otherservice" << utf8("Структура базы данных неверна");
    QTest::newRow("foreign, write-ahead log") << "wal" << utf8("Структура базы данных неверна");
    QTest::newRow("newer version, full schema")
        << "newer" << utf8("Неподдерживаемая версия базы данных");
    QTest::newRow("version not a number")
        << "textversion" << utf8("Неподдерживаемая версия базы данных");
    QTest::newRow("truncated copy") << "truncated" << QString();
}

// No adds nothing to the file: not the indexes the program adds to its own
// files, not a journal; the file is byte for byte what it was.
void StartupFaultsTest::unusableFileKeptWhenDeclined()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);
    const QString path = makeFile(kind);
    QVERIFY(!path.isEmpty());
    const QByteArray before = readAll(path);
    QVERIFY(!before.isEmpty());

    useDatabaseFile(path);
    ScriptedAnswers answers({QMessageBox::No});
    QVERIFY(!Startup::makeDatabaseUsable());
    QCOMPARE(answers.seen().size(), 1);
    const TestSupport::SeenMessageBox *seen = &answers.seen().first();
    QCOMPARE(seen->title, utf8("Ошибка"));
    QCOMPARE(seen->icon, QMessageBox::Warning);
    QVERIFY2(seen->text.startsWith(utf8(questionStart)) && seen->text.endsWith(utf8(questionEnd)),
             qPrintable(seen->text));
    const QString detail
        = seen->text.mid(utf8(questionStart).size()).chopped(utf8(questionEnd).size());
    if (message.isEmpty())
        QVERIFY(!detail.isEmpty());
    else
        QCOMPARE(detail, message);

    useDatabaseFile(QString());
    QVERIFY(readAll(path) == before);
    QVERIFY(!QFile::exists(path + QStringLiteral("-journal")));
}

// A damaged file the operator agrees to give up is replaced by a working one.
void StartupFaultsTest::truncatedFileRecreatedOnYes()
{
    const QString path = makeFile(QStringLiteral("truncated"));
    useDatabaseFile(path);
    ScriptedAnswers answers({QMessageBox::Yes, QMessageBox::Ok});
    const bool usable = Startup::makeDatabaseUsable();
    QVERIFY2(usable, qPrintable(answers.seen().last().text));
    QCOMPARE(answers.seen().size(), 1);
    useDatabaseFile(QString());
    QCOMPARE(column(path, QStringLiteral("SELECT version FROM 'Service'")), QVariantList {2});
    QCOMPARE(column(path, QStringLiteral("SELECT login FROM 'Users'")),
             QVariantList {QStringLiteral("admin")});
}

bool StartupFaultsTest::startHolder(QProcess &holder, const QString &path, int ms, bool commit)
{
    holder.start(QCoreApplication::applicationFilePath(),
                 {QLatin1String(HoldLockSwitch), path, QString::number(ms),
                  QLatin1String(commit ? "commit" : "rollback")});
    QByteArray said;
    while (!said.contains('\n') && holder.waitForReadyRead(10000))
        said += holder.readAllStandardOutput();
    return said.startsWith("locked");
}

// Another process holds the file: the start tells why it cannot open it and
// leaves it alone on No.
void StartupFaultsTest::lockedFileKeptWhenDeclined()
{
    const QString path = programDatabase(QStringLiteral("locked"));
    const QByteArray before = readAll(path);
    QProcess holder;
    QVERIFY(startHolder(holder, path, 0, false));

    useDatabaseFile(path);
    ScriptedAnswers answers({QMessageBox::No});
    QVERIFY(!Startup::makeDatabaseUsable());
    QCOMPARE(answers.seen().size(), 1);
    const TestSupport::SeenMessageBox *seen = &answers.seen().first();
    QVERIFY2(seen->text.startsWith(utf8(questionStart) + utf8("Ошибка открытия базы данных (")),
             qPrintable(seen->text));
    useDatabaseFile(QString());

    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(10000));
    QCOMPARE(holder.exitCode(), 0);
    QVERIFY(readAll(path) == before);
}

// Yes cannot re-create a file that another process is writing: that process
// would go on writing into a file nobody can open again. The start fails
// instead and the other process's work reaches the file.
void StartupFaultsTest::lockedFileNotTakenOnYes()
{
    const QString path = programDatabase(QStringLiteral("lockedyes"));
    QProcess holder;
    QVERIFY(startHolder(holder, path, 0, true));

    useDatabaseFile(path);
    ScriptedAnswers answers({QMessageBox::Yes, QMessageBox::Ok});
    QVERIFY(!Startup::makeDatabaseUsable());
    QCOMPARE(answers.seen().size(), 2);
    const TestSupport::SeenMessageBox &failure = answers.seen().at(1);
    QCOMPARE(failure.icon, QMessageBox::Critical);
    QVERIFY2(failure.text.startsWith(utf8("Не удалось создать БД.")), qPrintable(failure.text));
    useDatabaseFile(QString());

    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(10000));
    QCOMPARE(holder.exitCode(), 0);
    QCOMPARE(column(path, QStringLiteral("SELECT count(*) FROM 'Groups' WHERE name = 'held'")),
             QVariantList {1});
    QCOMPARE(column(path, QStringLiteral("SELECT login FROM 'Users'")),
             QVariantList {QStringLiteral("admin")});
}

// Another instance that holds the file only for its commit delays the start
// but does not make it ask anything.
void StartupFaultsTest::brieflyLockedFileOpensWithoutQuestion()
{
    const QString path = programDatabase(QStringLiteral("brief"));
    QProcess holder;
    QVERIFY(startHolder(holder, path, 1500, true));

    useDatabaseFile(path);
    ScriptedAnswers answers({QMessageBox::No});
    QVERIFY(Startup::makeDatabaseUsable());
    QVERIFY2(answers.seen().isEmpty(), qPrintable(answers.seen().value(0).text));
    QVERIFY(VDB::DataBase::instance()->findUser(QStringLiteral("admin"), QStringLiteral("tavro")));
    QVERIFY(holder.waitForFinished(10000));
    QCOMPARE(holder.exitCode(), 0);
    // What the other instance committed is there for this one too.
    bool held = false;
    for (const SharedGroup &group : VDB::DataBase::instance()->groups())
        held = held || group->name == QLatin1String("held");
    QVERIFY(held);
}

// A file held for longer than the first read waits (SQLite's busy time) but
// free by the time it is checked: the start loads it then, so the login
// finds its users without a restart.
void StartupFaultsTest::fileLockedAtFirstReadIsLoadedOnceUsable()
{
    const QString path = programDatabase(QStringLiteral("slow"));
    const QString holderName = QStringLiteral("holder-in-process");
    {
        QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), holderName);
        holder.setDatabaseName(path);
        QVERIFY(holder.open());
        QSqlQuery lock(holder);
        QVERIFY(lock.exec(QStringLiteral("BEGIN EXCLUSIVE")));
        useDatabaseFile(path);
        VDB::DataBase::instance();
        QVERIFY(lock.exec(QStringLiteral("ROLLBACK")));
        holder.close();
    }
    QSqlDatabase::removeDatabase(holderName);

    ScriptedAnswers answers({QMessageBox::No});
    QVERIFY(Startup::makeDatabaseUsable());
    QVERIFY2(answers.seen().isEmpty(), qPrintable(answers.seen().value(0).text));
    QVERIFY(VDB::DataBase::instance()->findUser(QStringLiteral("admin"), QStringLiteral("tavro")));
}

int main(int argc, char *argv[])
{
    if (argc == 5 && qstrcmp(argv[1], HoldLockSwitch) == 0)
        return holdExclusiveLock(argc, argv);
    QApplication app(argc, argv);
    StartupFaultsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startupfaults.moc"
