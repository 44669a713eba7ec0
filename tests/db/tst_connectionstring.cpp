#include "db/ConnectionString.h"

#include <QSqlDatabase>
#include <QtTest>

using VDB::ConnectionString;

class ConnectionStringTest : public QObject
{
    Q_OBJECT
private slots:
    void serverOrFile();
    void partsReachTheDriver();
    void passwordNeverShown();
    void refusesFaultyText_data();
    void refusesFaultyText();
    void settingsNeverKeepAPassword();
};

void ConnectionStringTest::serverOrFile()
{
    QVERIFY(ConnectionString::isServer(QStringLiteral("postgresql://u@h/db")));
    QVERIFY(ConnectionString::isServer(QStringLiteral("postgres://u@h/db")));
    QVERIFY(!ConnectionString::isServer(QStringLiteral("/home/u/postgresql/doserdr22.db")));
    QVERIFY(!ConnectionString::isServer(QStringLiteral("doserdr22.db")));
}

void ConnectionStringTest::partsReachTheDriver()
{
    const ConnectionString cs = ConnectionString::parse(
        QStringLiteral("postgresql://office@db.example:6543/dose?sslmode=verify-full"));
    QVERIFY2(cs.isValid(), qPrintable(cs.error()));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("t"));
        cs.apply(db);
        QCOMPARE(db.hostName(), QStringLiteral("db.example"));
        QCOMPARE(db.port(), 6543);
        QCOMPARE(db.userName(), QStringLiteral("office"));
        QCOMPARE(db.databaseName(), QStringLiteral("dose"));
        QVERIFY(db.connectOptions().contains(QStringLiteral("sslmode=verify-full")));
        // A start never waits forever for a server that does not answer.
        QVERIFY(db.connectOptions().contains(QStringLiteral("connect_timeout=")));
        // Nor an operation for a network gone quiet.
        QVERIFY(db.connectOptions().contains(QStringLiteral("tcp_user_timeout=")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("t"));

    const ConnectionString socket
        = ConnectionString::parse(QStringLiteral("postgresql://office@/dose?host=/run/pg"));
    QVERIFY(socket.isValid());
    QCOMPARE(socket.displayText(), QStringLiteral("postgresql://office@/dose?host=/run/pg"));
}

void ConnectionStringTest::passwordNeverShown()
{
    const ConnectionString cs
        = ConnectionString::parse(QStringLiteral("postgresql://office:s3cret@db:5432/dose"));
    QVERIFY(cs.isValid());
    QVERIFY(cs.hasPassword());
    QCOMPARE(cs.displayText(), QStringLiteral("postgresql://office@db:5432/dose"));
}

void ConnectionStringTest::refusesFaultyText_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("no database") << QStringLiteral("postgresql://office@db:5432/");
    QTest::newRow("password option") << QStringLiteral("postgresql://o@db/dose?password=x");
    QTest::newRow("option injection") << QStringLiteral("postgresql://o@db/dose?sslmode=a%20b");
    QTest::newRow("not a server") << QStringLiteral("/var/lib/doserdr22.db");
}

void ConnectionStringTest::refusesFaultyText()
{
    QFETCH(QString, text);
    const ConnectionString cs = ConnectionString::parse(text);
    QVERIFY(!cs.isValid());
    QVERIFY(!cs.error().isEmpty());
}

void ConnectionStringTest::settingsNeverKeepAPassword()
{
    QVERIFY(ConnectionString::settingProblem(QString()).isEmpty());
    QVERIFY(ConnectionString::settingProblem("/srv/office/doserdr22.db").isEmpty());
    QVERIFY(ConnectionString::settingProblem("postgresql://office@db:5432/orvane").isEmpty());
    QVERIFY(ConnectionString::settingProblem("postgresql://office:secret@db/orvane")
                .contains("~/.pgpass"));
    QVERIFY(!ConnectionString::settingProblem("postgresql://db:5432").isEmpty());
}

QTEST_GUILESS_MAIN(ConnectionStringTest)
#include "tst_connectionstring.moc"
