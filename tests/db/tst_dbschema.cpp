// Creation, re-creation and checking of the database file.

#include "common/TestDatabase.h"

#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

using TestSupport::TestDatabase;

namespace {

QByteArray readFile(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// "name|type|notnull|default|pk" per column, as SQLite reports them.
QStringList columns(const QString &table)
{
    QStringList result;
    QSqlQuery query(QSqlDatabase::database());
    query.exec(QStringLiteral("PRAGMA table_info('%1')").arg(table));
    while (query.next()) {
        result << QStringLiteral("%1|%2|%3|%4|%5")
                      .arg(query.value(1).toString(), query.value(2).toString(),
                           query.value(3).toString(), query.value(4).toString(),
                           query.value(5).toString());
    }
    return result;
}

QStringList rows(const QString &sql)
{
    QStringList result;
    QSqlQuery query(QSqlDatabase::database());
    if (!query.exec(sql))
        return {QStringLiteral("error: ") + sql};
    while (query.next()) {
        QStringList fields;
        for (int i = 0; i < query.record().count(); ++i)
            fields << (query.isNull(i) ? QStringLiteral("NULL") : query.value(i).toString());
        result << fields.join(QLatin1Char('|'));
    }
    return result;
}

// Makes a database file with arbitrary SQL through a connection of its own.
void makeFile(const QString &fileName, const QStringList &statements)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "maker");
        db.setDatabaseName(fileName);
        QVERIFY(db.open());
        QSqlQuery query(db);
        for (const QString &sql : statements)
            QVERIFY2(query.exec(sql), qPrintable(sql));
    }
    QSqlDatabase::removeDatabase("maker");
}

// Captures "SQL error:" / "SQL query:" lines of the debug log.
QStringList g_log;
void captureLog(QtMsgType, const QMessageLogContext &, const QString &message)
{
    g_log << message;
}

} // namespace

class DbSchemaTest : public QObject
{
    Q_OBJECT
private slots:
    void scriptResourceIsUtf8WithBom();
    void emptyFileIsCreatedWithSchema();
    void initialRows();
    void colourBlobsByteForByte();
    void recreationDropsEverything();
    void failingScriptLeavesFileUntouched();
    void checkRefusesBrokenFiles_data();
    void checkRefusesBrokenFiles();
    void recreationRepairsNonDatabaseFile();
    void unwritableFolderGivesOpenError();
    void speedIndexesAreAddedAtOpen();
};

void DbSchemaTest::scriptResourceIsUtf8WithBom()
{
    const QByteArray script = readFile(QStringLiteral(":/text/resources/data/create_db.sql"));
    QVERIFY(script.startsWith("\xEF\xBB\xBF"));
    // Statements are split at ';', so no literal may hold one.
    for (const QByteArray &part : script.split(';'))
        QCOMPARE(part.count('\'') % 2, 0);
}

void DbSchemaTest::emptyFileIsCreatedWithSchema()
{
    TestDatabase db(TestDatabase::NoCreate);
    QVERIFY(!QFile::exists(db.fileName()));
    const OperationResult result = VDB::DataBase::openOrCreate(false);
    QCOMPARE(result.code, 0);
    QVERIFY(result.message.isEmpty());
    QVERIFY(QFile::exists(db.fileName()));

    QCOMPARE(
        columns("Users"),
        QStringList({"id|INTEGER|1|NULL|1", "firstname|TEXT|1||0", "middlename|TEXT|0|NULL|0",
                     "surname|TEXT|1||0", "department|TEXT|0|NULL|0", "birthday|INTEGER|1||0",
                     "sex|INTEGER|1|1|0", "photo|NONE|0|NULL|0", "access|INTEGER|1|0|0",
                     "login|TEXT|0|NULL|0", "password|TEXT|0|NULL|0", "usageReason|TEXT|0|NULL|0",
                     "comment|TEXT|0|NULL|0", "deviceId|INTEGER|0|NULL|0",
                     "deviceSerial|INTEGER|0|NULL|0", "assignDate|INTEGER|0|NULL|0"}));
    QCOMPARE(columns("Groups"),
             QStringList({"id|INTEGER|1||1", "name|TEXT|1||0", "description|TEXT|0|NULL|0",
                          "access|INTEGER|1|0|0"}));
    QCOMPARE(columns("Users2Groups"), QStringList({"userId|INTEGER|1||1", "groupId|INTEGER|1||2"}));
    QCOMPARE(columns("DeviceType"),
             QStringList({"id|INTEGER|1||1", "name|TEXT|1||0", "connector|TEXT|1||0"}));
    QCOMPARE(columns("Options"),
             QStringList({"settings|INTEGER|1||0", "interval|INTEGER|1|7|0", "edColors|NONE|1|0|0",
                          "medColors|NONE|1||0"}));
    QCOMPARE(
        columns("Thresholds"),
        QStringList({"id|INTEGER|1||1", "name|TEXT|1||0", "channel|INTEGER|1||0",
                     "period|INTEGER|1|7|0", "value|REAL|1|0.0001|0", "isUser|INTEGER|1|1|0"}));
    QCOMPARE(columns("GroupThresholds"),
             QStringList({"groupId|INTEGER|1||1", "thresholdId|INTEGER|1||2"}));
    QCOMPARE(
        columns("Events"),
        QStringList({"id|INTEGER|1||1", "dateTime|INTEGER|1||0", "userId|INTEGER|0|NULL|0",
                     "deviceId|INTEGER|1||0", "deviceSerial|INTEGER|1||0", "eventType|INTEGER|1||0",
                     "value|REAL|0|NULL|0", "medValue|REAL|0|NULL|0", "channel|INTEGER|0|NULL|0",
                     "eventNumber|INTEGER|0|NULL|0", "cyclicHistory|INTEGER|1|0|0",
                     "timezoneChanged|INTEGER|1|0|0", "edThreshold|INTEGER|1|0|0",
                     "medThreshold|INTEGER|1|0|0", "batteryLow|INTEGER|1|0|0",
                     "memoryFault|INTEGER|1|0|0", "detectorFault|INTEGER|1|0|0",
                     "hvFault|INTEGER|1|0|0", "comment|TEXT|0|NULL|0"}));
    QCOMPARE(columns("Service"), QStringList({"version|INTEGER|1|2|0"}));

    QCOMPARE(rows("SELECT sql FROM sqlite_master WHERE name = 'idx_events_unique_tm4040'"),
             QStringList({"CREATE UNIQUE INDEX idx_events_unique_tm4040 ON Events (userId, "
                          "deviceId, deviceSerial, dateTime)"}));
    QCOMPARE(rows("SELECT name FROM pragma_index_info('idx_events_unique_tm4040')"),
             QStringList({"userId", "deviceId", "deviceSerial", "dateTime"}));
    QCOMPARE(rows("SELECT \"unique\" FROM pragma_index_list('Events') WHERE name = "
                  "'idx_events_unique_tm4040'"),
             QStringList({"1"}));
}

void DbSchemaTest::initialRows()
{
    TestDatabase db;
    QVERIFY(db.isValid());
    QCOMPARE(rows("SELECT * FROM Service"), QStringList({"2"}));
    QCOMPARE(rows("SELECT settings, interval FROM Options"), QStringList({"1|7"}));
    QCOMPARE(rows("SELECT * FROM Groups"),
             QStringList({"1|Администраторы|Начальная группа администраторов|7",
                          "2|Операторы|Начальная группа операторов|3",
                          "3|Пользователи|Начальная группа пользователей|0"}));
    QCOMPARE(rows("SELECT * FROM Users"),
             QStringList({"1|Администратор|NULL|Administrator|NULL|1982-06-26|1|NULL|131|admin|"
                          "tavro|NULL|Главный администратор программы|NULL|NULL|NULL"}));
    QCOMPARE(rows("SELECT * FROM Users2Groups"), QStringList({"1|1"}));
    QCOMPARE(rows("SELECT * FROM DeviceType"), QStringList({"1|КВР-ТМ4040|tm4040"}));
    QCOMPARE(rows("SELECT COUNT(*) FROM Thresholds"), QStringList({"0"}));
    QCOMPARE(rows("SELECT COUNT(*) FROM GroupThresholds"), QStringList({"0"}));
    QCOMPARE(rows("SELECT COUNT(*) FROM Events"), QStringList({"0"}));

    // The caches hold the same.
    VDB::DataBase *store = db.db();
    QCOMPARE(store->users().size(), 1);
    const SharedUser admin = store->users().first();
    QCOMPARE(admin->role, int(User::Administrator));
    QVERIFY(admin->canUseDevice);
    QCOMPARE(admin->birthday, QDate(1982, 6, 26));
    QCOMPARE(admin->groups.size(), 1);
    QCOMPARE(admin->groups.first()->name, QStringLiteral("Администраторы"));
    QCOMPARE(store->groups().size(), 3);
    QCOMPARE(store->groups().at(0)->users.size(), 1);
    QCOMPARE(store->deviceTypes().size(), 1);
    QCOMPARE(store->deviceTypes().first()->connector, QStringLiteral("tm4040"));
    QCOMPARE(store->options().units, 1);
    QCOMPARE(store->options().interval, 7);
    QVERIFY(store->thresholds().isEmpty());
    QVERIFY(!store->currentUser());
}

void DbSchemaTest::colourBlobsByteForByte()
{
    TestDatabase db;
    QCOMPARE(
        TestDatabase::scalar("SELECT edColors FROM Options").toByteArray(),
        QByteArray::fromHex("01ffff88887575fafa000001ffff7373ffff8989000001fffffefe81811e1e0000"));
    QCOMPARE(
        TestDatabase::scalar("SELECT medColors FROM Options").toByteArray(),
        QByteArray::fromHex("01ffff40400000f9f9000001ffff0000bfbf3030000001ffffc0c0404000000000"));

    // Three stored colours: the neutron colour stays invalid.
    const Options &options = db.db()->options();
    QCOMPARE(options.edColor(VDB::Alpha), QColor(136, 117, 250));
    QCOMPARE(options.edColor(VDB::Gamma), QColor(254, 129, 30));
    QCOMPARE(options.medColor(VDB::Beta), QColor(0, 191, 48));
    QVERIFY(!options.edColor(VDB::Neutron).isValid());
    QVERIFY(!options.medColor(VDB::Neutron).isValid());
    QCOMPARE(options.edColor(7), QColor(136, 117, 250));

    // After the first save both lists hold four colours, the first three unchanged.
    QVERIFY(db.db()->updateOptions(options));
    const QByteArray ed = TestDatabase::scalar("SELECT edColors FROM Options").toByteArray();
    QCOMPARE(ed.size(), 44);
    QVERIFY(ed.startsWith(
        QByteArray::fromHex("01ffff88887575fafa000001ffff7373ffff8989000001fffffefe81811e1e0000")));
    QCOMPARE(TestDatabase::scalar("SELECT length(medColors) FROM Options").toInt(), 44);
}

void DbSchemaTest::recreationDropsEverything()
{
    TestDatabase db;
    VDB::DataBase *store = db.db();
    QVERIFY(db.addUser("Петров"));
    QVERIFY(store->addGroup("Лаборатория", QString(), 1));
    QVERIFY(TestDatabase::exec("CREATE TABLE Foreign1 (x INTEGER)"));
    QVERIFY(TestDatabase::exec("INSERT INTO Foreign1 VALUES (5)"));

    QCOMPARE(VDB::DataBase::openOrCreate(true).code, 0);
    QCOMPARE(rows("SELECT name FROM sqlite_master WHERE name = 'Foreign1'"), QStringList());
    QCOMPARE(rows("SELECT COUNT(*) FROM Users"), QStringList({"1"}));
    QCOMPARE(rows("SELECT COUNT(*) FROM Groups"), QStringList({"3"}));
    // AUTOINCREMENT counters start over as well.
    QCOMPARE(rows("SELECT id FROM Groups ORDER BY id"), QStringList({"1", "2", "3"}));
    QCOMPARE(store->users().size(), 1);
    QCOMPARE(store->groups().size(), 3);
}

void DbSchemaTest::failingScriptLeavesFileUntouched()
{
    // A view named like a table of the script survives the dropping of the
    // tables and makes the script fail half-way.
    TestDatabase db(TestDatabase::NoCreate);
    makeFile(db.fileName(),
             {"CREATE TABLE Keep (x INTEGER)", "INSERT INTO Keep VALUES (42)",
              "CREATE VIEW Service AS SELECT 2 AS version"});
    const QByteArray before = readFile(db.fileName());

    g_log.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureLog);
    const OperationResult result = VDB::DataBase::openOrCreate(true);
    qInstallMessageHandler(previous);

    QCOMPARE(result.code, 3);
    QVERIFY2(result.message.contains("Service"), qPrintable(result.message));
    const int error = g_log.indexOf(QRegularExpression("^SQL error: .*Service.*"));
    QVERIFY2(error >= 0, qPrintable(g_log.join('\n')));
    QVERIFY(g_log.value(error + 1).startsWith("SQL query: CREATE TABLE 'Service'"));

    QCOMPARE(rows("SELECT x FROM Keep"), QStringList({"42"}));
    QCOMPARE(rows("SELECT name FROM sqlite_master WHERE name = 'Users'"), QStringList());
    VDB::DataBase::destroyInstance();
    QCOMPARE(readFile(db.fileName()), before);
}

void DbSchemaTest::checkRefusesBrokenFiles_data()
{
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");

    QTest::newRow("not a database")
        << QStringList() << QByteArray("This is a text file, not a database.\n").repeated(200)
        << QStringLiteral("Ошибка открытия базы данных (");
    QTest::newRow("no Service") << QStringList({"CREATE TABLE Users (id INTEGER)"}) << QByteArray()
                                << QStringLiteral("Структура базы данных неверна");
    QTest::newRow("service in other case")
        << QStringList({"CREATE TABLE service (version INTEGER)", "INSERT INTO service VALUES (2)"})
        << QByteArray() << QStringLiteral("Структура базы данных неверна");
    QTest::newRow("empty Service")
        << QStringList({"CREATE TABLE Service (version INTEGER)"}) << QByteArray()
        << QStringLiteral("Структура базы данных неверна");
    QTest::newRow("version 3") << QStringList(
        {"CREATE TABLE Service (version INTEGER)", "INSERT INTO Service VALUES (3)"})
                               << QByteArray()
                               << QStringLiteral("Неподдерживаемая версия базы данных");
}

void DbSchemaTest::checkRefusesBrokenFiles()
{
    QFETCH(QStringList, statements);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);

    TestDatabase db(TestDatabase::NoCreate);
    if (statements.isEmpty()) {
        QFile file(db.fileName());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    } else {
        makeFile(db.fileName(), statements);
    }
    const QByteArray before = readFile(db.fileName());

    const OperationResult result = VDB::DataBase::openOrCreate(false);
    QCOMPARE(result.code, -1);
    QVERIFY2(result.message.startsWith(message), qPrintable(result.message));
    // Declining the re-creation leaves the file exactly as it was.
    VDB::DataBase::destroyInstance();
    QCOMPARE(readFile(db.fileName()), before);
    QVERIFY(!QFile::exists(db.fileName() + "-journal"));
}

void DbSchemaTest::recreationRepairsNonDatabaseFile()
{
    TestDatabase db(TestDatabase::NoCreate);
    {
        QFile file(db.fileName());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
    }
    QCOMPARE(VDB::DataBase::openOrCreate(false).code, -1);
    QCOMPARE(VDB::DataBase::openOrCreate(true).code, 0);
    QCOMPARE(db.db()->users().size(), 1);
    QCOMPARE(VDB::DataBase::openOrCreate(false).code, 0);
}

void DbSchemaTest::unwritableFolderGivesOpenError()
{
    TestDatabase db(TestDatabase::NoCreate);
    // A folder below a plain file can never be created, whoever runs the test.
    QFile blocker(db.folder() + "/blocker");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    VDB::DataBase::setFileName(db.folder() + "/blocker/sub/doserdr22.db");

    OperationResult result = VDB::DataBase::openOrCreate(false);
    QCOMPARE(result.code, -1);
    QVERIFY2(result.message.startsWith("Ошибка открытия базы данных ("),
             qPrintable(result.message));
    result = VDB::DataBase::openOrCreate(true);
    QCOMPARE(result.code, -1);
    QVERIFY(db.db()->users().isEmpty());

    // The data folder itself: empty when it cannot be made.
    const QByteArray home = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(blocker.fileName()));
    QCOMPARE(VDB::DataBase::dataDirectory(), QString());
    QCOMPARE(VDB::DataBase::defaultFileName(), QStringLiteral("doserdr22.db"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(db.folder() + "/data"));
    QVERIFY(VDB::DataBase::dataDirectory().startsWith(db.folder() + "/data/"));
    QVERIFY(VDB::DataBase::dataDirectory().endsWith('/'));
    QVERIFY(QFileInfo(VDB::DataBase::dataDirectory()).isDir());
    qputenv("XDG_DATA_HOME", home);
}

void DbSchemaTest::speedIndexesAreAddedAtOpen()
{
    // A file made without the extra indexes gets them when it is opened.
    TestDatabase db;
    QVERIFY(TestDatabase::exec("DROP INDEX idx_events_user_type_date"));
    QVERIFY(TestDatabase::exec("DROP INDEX idx_events_user_date"));
    db.reopen();
    QCOMPARE(VDB::DataBase::openOrCreate(false).code, 0);
    QCOMPARE(rows("SELECT name FROM sqlite_master WHERE type = 'index' AND name LIKE 'idx_%' "
                  "ORDER BY name"),
             QStringList({"idx_auditlog_datetime", "idx_dosedays_day", "idx_dosedays_device",
                          "idx_dosedays_user_day", "idx_dosemonths_device", "idx_dosemonths_month",
                          "idx_dosemonths_user_month", "idx_events_device_type_date",
                          "idx_events_type_date", "idx_events_unique_tm4040",
                          "idx_events_user_date", "idx_events_user_type_date"}));
    QCOMPARE(rows("SELECT version FROM Service"), QStringList({"2"}));
    QCOMPARE(rows("EXPLAIN QUERY PLAN SELECT SUM(value) FROM Events WHERE "
                  "userId = 1 AND dateTime >= '2020-01-01' AND dateTime < '2020-02-01' AND "
                  "eventType = 300")
                 .join(' ')
                 .contains("idx_events_user_type_date"),
             true);
}

QTEST_MAIN(DbSchemaTest)
#include "tst_dbschema.moc"
