// Times the start-up path of the data store (open, check, load the caches)
// on a file with 10 000 users in 100 groups, 20 group thresholds and 200 000
// events. Goal: under 0.5 s. The baseline is a plain read of the same rows
// through QSqlQuery without building any record. With a server named, the same
// data there beside the file: start-up, a user's page, the exceeded-thresholds
// scan (two user thresholds besides the group ones) and the year's totals of
// the group page.

#include "db/DataBase.h"
#include "db/DatabaseCopy.h"
#include "dose/ThresholdEvaluator.h"
#include "dose/UserDetailsWidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <cstdio>

namespace {

const int Users = 10000;
const int Groups = 100;

void fill(const QString &fileName)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "fill");
        db.setDatabaseName(fileName);
        db.open();
        QSqlQuery q(db);
        db.transaction();
        q.prepare("INSERT INTO Groups (name, description, access) VALUES (?, '', 1)");
        for (int g = 0; g < Groups; ++g) {
            q.addBindValue(QStringLiteral("Группа %1").arg(g));
            q.exec();
        }
        q.prepare("INSERT INTO Users (firstname, middlename, surname, department, birthday, sex, "
                  "access, login, password, deviceId, deviceSerial, assignDate) VALUES (?, "
                  "'Иванович', ?, 'Отдел', '1980-01-01', 1, 3, ?, 'pw', 1, ?, "
                  "'2020-01-01T00:00:00.000')");
        for (int u = 0; u < Users; ++u) {
            q.addBindValue(QStringLiteral("Имя%1").arg(u));
            q.addBindValue(QStringLiteral("Фамилия%1").arg(u));
            q.addBindValue(QStringLiteral("login%1").arg(u));
            q.addBindValue(u);
            q.exec();
        }
        q.prepare("INSERT INTO Users2Groups (userId, groupId) VALUES (?, ?)");
        for (int u = 0; u < Users; ++u) {
            q.addBindValue(u + 2);
            q.addBindValue(u % Groups + 4);
            q.exec();
        }
        q.prepare(
            "INSERT INTO Thresholds (name, channel, period, value, isUser) VALUES (?, 2, 7, 1, 0)");
        for (int t = 0; t < 20; ++t) {
            q.addBindValue(QStringLiteral("Порог %1").arg(t));
            q.exec();
        }
        q.exec("INSERT INTO GroupThresholds (groupId, thresholdId) SELECT g.id, t.id FROM Groups "
               "g, Thresholds t");
        // Every user's year is above the first, about half of them are above
        // the second.
        q.exec("INSERT INTO Thresholds (name, channel, period, value, isUser) VALUES ('Год', 2, "
               "365, 0.015, 1), ('Месяц', 2, 30, 0.004, 1)");
        q.exec("WITH RECURSIVE c(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM c WHERE i < 199999) "
               "INSERT INTO Events (dateTime, userId, deviceId, deviceSerial, eventType, value) "
               "SELECT strftime('%Y-%m-%dT%H:%M:%f', '2020-01-01', '+' || i || ' minutes'), i % "
               "10000 + 2, 1, i % 10000, 300, 0.001 FROM c");
        db.commit();
    }
    QSqlDatabase::removeDatabase("fill");
}

double baselineSeconds(const QString &fileName)
{
    QElapsedTimer timer;
    timer.start();
    int rows = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "plain");
        db.setDatabaseName(fileName);
        db.open();
        for (const char *table : {"Options", "DeviceType", "Users", "Groups", "Users2Groups",
                                  "Thresholds", "GroupThresholds"}) {
            QSqlQuery q(db);
            q.setForwardOnly(true);
            q.exec(QStringLiteral("SELECT * FROM '%1'").arg(QLatin1String(table)));
            const int columns = q.record().count();
            while (q.next()) {
                for (int c = 0; c < columns; ++c)
                    q.value(c);
                ++rows;
            }
        }
    }
    QSqlDatabase::removeDatabase("plain");
    return timer.nsecsElapsed() / 1e9;
}

struct Figures
{
    double start = 1e9; // open + check + loadAll
    double userPage = 1e9; // the user page, filled and painted
    double scan = 1e9; // ThresholdEvaluator::scan
    double totals = 1e9; // every user's dose over a year, as the group page reads it
    int exceeded = 0;
};

// The events run from 1 January 2020 for 139 days.
const QDate Today(2020, 5, 31);

Figures measure(const QString &database)
{
    Figures best;
    VDB::DataBase::setFileName(database);
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        if (VDB::DataBase::openOrCreate(false).code != 0)
            return Figures();
        best.start = qMin(best.start, timer.nsecsElapsed() / 1e9);
        VDB::DataBase *db = VDB::DataBase::instance();
        db->setToday(Today);
        {
            // The page as the operator sees it, chosen in the tree after
            // another user's.
            UserDetailsWidget page(nullptr, nullptr);
            page.resize(1000, 700);
            page.show();
            page.setUser(db->users().value(1));
            QApplication::processEvents();
            timer.restart();
            page.setUser(db->users().value(Users / 2));
            page.repaint();
            QApplication::processEvents();
            best.userPage = qMin(best.userPage, timer.nsecsElapsed() / 1e9);
        }
        timer.restart();
        best.exceeded = ThresholdEvaluator::scan().size();
        best.scan = qMin(best.scan, timer.nsecsElapsed() / 1e9);
        timer.restart();
        db->userDoseTotals(QDate(2020, 1, 1), QDate(2020, 12, 31));
        best.totals = qMin(best.totals, timer.nsecsElapsed() / 1e9);
        VDB::DataBase::destroyInstance();
    }
    return best;
}

// The same data on the server named by ORVANE_BENCH_SERVER (an empty
// database), beside the file.
void compareWithServer(const QString &fileName)
{
    const QString server = qEnvironmentVariable("ORVANE_BENCH_SERVER");
    if (server.isEmpty()) {
        std::printf("server: set ORVANE_BENCH_SERVER=postgresql://... (an empty database)\n");
        return;
    }
    QStringList report;
    const QString problem = VDB::DatabaseCopy::run(fileName, server, &report);
    if (!problem.isEmpty()) {
        std::printf("server: copy failed: %s\n", qPrintable(problem));
        return;
    }
    const Figures file = measure(fileName);
    const Figures remote = measure(server);
    const auto line = [](const char *what, double a, double b) {
        std::printf("%-28s SQLite %.3f s, PostgreSQL %.3f s, %.1fx (goal <= 3x, each < 0.3 s)\n",
                    what, a, b, a > 0 ? b / a : 0.0);
    };
    line("start (open, check, caches)", file.start, remote.start);
    line("user page", file.userPage, remote.userPage);
    line("exceeded-thresholds scan", file.scan, remote.scan);
    line("group page, year's totals", file.totals, remote.totals);
    if (file.exceeded != remote.exceeded)
        std::printf("exceeded thresholds differ: %d in the file, %d on the server\n", file.exceeded,
                    remote.exceeded);
}

} // namespace

int main(int argc, char *argv[])
{
    // No display is needed: the benchmark shows nothing.
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString fileName = dir.filePath("doserdr22.db");
    VDB::DataBase::setFileName(fileName);
    if (VDB::DataBase::openOrCreate(false).code != 0)
        return 1;
    VDB::DataBase::destroyInstance();
    fill(fileName);
    // First open adds the speed indexes once; time the ordinary later starts.
    VDB::DataBase::openOrCreate(false);
    VDB::DataBase::destroyInstance();

    double best = 1e9;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        const OperationResult result = VDB::DataBase::openOrCreate(false);
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (result.code != 0 || VDB::DataBase::instance()->users().size() != Users + 1)
            return 1;
        best = qMin(best, seconds);
        VDB::DataBase::destroyInstance();
    }
    std::printf("orvane   open + check + loadAll, %d users in %d groups: %.3f s (goal < 0.5 s)\n",
                Users, Groups, best);
    double plain = 1e9;
    for (int run = 0; run < 5; ++run)
        plain = qMin(plain, baselineSeconds(fileName));
    std::printf("baseline plain QSqlQuery read of the same rows: %.3f s\n", plain);
    compareWithServer(fileName);
    return 0;
}
