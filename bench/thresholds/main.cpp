// Times the exceeded-thresholds scan (ThresholdEvaluator::scan, one statement
// per distinct threshold period giving every user's sum) and the dialog
// that shows it, beside single SQL statements that find the same exceedances.
//
// Data: 1 000 users in 50 groups, 2 000 events each over the last year
// (2 000 000 in all, half dose records of type 300), 10 user thresholds with
// windows of 1 to 365 days, and one group threshold per group.

#include "bench/BenchTools.h"
#include "db/DataBase.h"
#include "db/DoseUnits.h"
#include "dose/ExceededThreshouldsDialog.h"
#include "dose/ThresholdEvaluator.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

using Bench::bestOfThree;
using Bench::Timing;
using Bench::exec;

constexpr int Users = 1000;
constexpr int Groups = 50;
constexpr int EventsPerUser = 2000;
constexpr int EventsPerImport = 40;
const QDate Today(2024, 6, 30);

bool fill(VDB::DataBase *db)
{
    // Only the filling runs with a large cache; the timings use the
    // program's own settings.
    exec("PRAGMA cache_size = -500000");
    QSqlDatabase::database().transaction();
    QSqlQuery user;
    user.prepare("INSERT INTO Users (firstname, surname, birthday, access) VALUES (?, ?, "
                 "'1980-01-01', 1)");
    for (int i = 0; i < Users; ++i) {
        user.addBindValue(QStringLiteral("Имя%1").arg(i));
        user.addBindValue(QStringLiteral("Фамилия%1").arg(i));
        if (!user.exec())
            return false;
    }
    QSqlQuery group;
    group.prepare("INSERT INTO Groups (name, access) VALUES (?, 0)");
    for (int i = 0; i < Groups; ++i) {
        group.addBindValue(QStringLiteral("Группа %1").arg(i));
        if (!group.exec())
            return false;
    }
    // Users and groups after the initial ones; each user in one group.
    if (!exec("INSERT INTO Users2Groups (userId, groupId) SELECT u.id, "
              "(SELECT MIN(id) FROM Groups WHERE name LIKE 'Группа %') + (u.id % 50) "
              "FROM Users u WHERE u.surname LIKE 'Фамилия%'"))
        return false;
    // 2 000 events per user, one about every 4.4 hours back from the end of
    // today, alternately dose records (300) and measurements (200). They are
    // stored as the device readings bring them: 50 imports, in each of which
    // every user's 40 new records follow one another.
    const QString events
        = QStringLiteral(
              "INSERT INTO Events (dateTime, userId, deviceId, deviceSerial, eventType, value, "
              "channel) "
              "WITH RECURSIVE seq(n) AS (SELECT 0 UNION ALL SELECT n + 1 FROM seq WHERE n < %1), "
              "e(n, u, k) AS (SELECT n, (n / %5) % %3, (n / (%3 * %5)) * %5 + n % %5 FROM seq) "
              "SELECT strftime('%Y-%m-%dT%H:%M:%S.000', julianday('%2T23:59:00') "
              "  - (%4 - 1 - k) * (365.0 / %4) - u / 1440.0), "
              "  (SELECT MIN(id) FROM Users WHERE surname LIKE 'Фамилия%') + u, 1, u, "
              "  CASE WHEN k % 2 = 0 THEN 300 ELSE 200 END, "
              "  0.0005 + ((n * 7919) % 1000) / 100000.0, 2 FROM e")
              .arg(Users * EventsPerUser - 1)
              .arg(Today.toString(Qt::ISODate))
              .arg(Users)
              .arg(EventsPerUser)
              .arg(EventsPerImport);
    if (!exec(events))
        return false;
    if (!QSqlDatabase::database().commit())
        return false;
    exec("PRAGMA cache_size = -2000");
    db->loadAll();

    // The wearers get about 0.015 mSv a day.
    return db->saveThresholds(
        Bench::officeThresholds(db->groups().mid(db->groups().size() - Groups), 0.0151));
}

QString windowStart(int period)
{
    return Today.addDays(1).addDays(-(period + 1)).toString(Qt::ISODate);
}

// One statement: every event in any window joined with the thresholds whose
// window holds it, summed per (user, threshold) and per (group, threshold).
QSet<QString> joinBaseline()
{
    const QString end = Today.addDays(1).toString(Qt::ISODate);
    const QString start = QStringLiteral("date('%1', '-' || (t.period + 1) || ' days')").arg(end);
    QSqlQuery query;
    const QString sql
        = QStringLiteral(
              "SELECT 'u', e.userId, t.id FROM Thresholds t JOIN Events e "
              "ON e.eventType = 300 AND e.dateTime >= %1 AND e.dateTime < '%2' "
              "WHERE t.isUser = 1 AND e.userId IN (SELECT id FROM Users) "
              "GROUP BY e.userId, t.id HAVING SUM(e.value) > t.value "
              "UNION ALL "
              "SELECT 'g', gt.groupId, t.id FROM Thresholds t "
              "JOIN GroupThresholds gt ON gt.thresholdId = t.id "
              "JOIN Users2Groups ug ON ug.groupId = gt.groupId "
              "JOIN Events e ON e.userId = ug.userId AND e.eventType = 300 "
              "AND e.dateTime >= %1 AND e.dateTime < '%2' "
              "WHERE t.isUser = 0 GROUP BY gt.groupId, t.id HAVING SUM(e.value) > t.value")
              .arg(start, end);
    QSet<QString> rows;
    if (!query.exec(sql)) {
        std::fprintf(stderr, "%s\n", qPrintable(query.lastError().text()));
        return rows;
    }
    while (query.next())
        rows.insert(QStringLiteral("%1%2/%3")
                        .arg(query.value(0).toString())
                        .arg(query.value(1).toInt())
                        .arg(query.value(2).toInt()));
    return rows;
}

// One pass over the dose records of the longest window: one sum per user and
// user-threshold window as columns; the limits are compared afterwards.
QSet<QString> onePassBaseline(VDB::DataBase *db)
{
    QList<SharedThreshold> userThresholds;
    int longest = 0;
    QString columns;
    for (const SharedThreshold &t : db->thresholds()) {
        if (!t->isUser)
            continue;
        userThresholds.append(t);
        longest = std::max<int>(longest, t->period);
        columns += QStringLiteral(", SUM(CASE WHEN dateTime >= '%1' THEN value END)")
                       .arg(windowStart(t->period));
    }
    QSqlQuery query;
    const QString sql
        = QStringLiteral("SELECT userId%1 FROM Events WHERE eventType = 300 AND dateTime >= '%2' "
                         "AND dateTime < '%3' AND userId IN (SELECT id FROM Users) GROUP BY userId")
              .arg(columns, windowStart(longest), Today.addDays(1).toString(Qt::ISODate));
    QSet<QString> rows;
    if (!query.exec(sql))
        return rows;
    while (query.next()) {
        for (int i = 0; i < userThresholds.size(); ++i) {
            if (toDisplayDose(query.value(i + 1).toDouble()) > userThresholds.at(i)->value)
                rows.insert(QStringLiteral("u%1/%2")
                                .arg(query.value(0).toInt())
                                .arg(userThresholds.at(i)->id));
        }
    }
    return rows;
}

QSet<QString> keysOf(const QList<ThresholdEvaluator::Exceedance> &rows)
{
    QSet<QString> keys;
    for (const ThresholdEvaluator::Exceedance &row : rows) {
        keys.insert(row.user ? QStringLiteral("u%1/%2").arg(row.user->id).arg(row.threshold->id)
                             : QStringLiteral("g%1/%2").arg(row.group->id).arg(row.threshold->id));
    }
    return keys;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    // An optional file argument keeps the filled database for later runs.
    QTemporaryDir dir;
    const QString fileName
        = argc > 1 ? QString::fromLocal8Bit(argv[1]) : dir.filePath("doserdr22.db");
    const bool filled = QFile::exists(fileName);
    VDB::DataBase::setFileName(fileName);
    if (VDB::DataBase::openOrCreate(false).code != 0)
        return 1;
    VDB::DataBase *db = VDB::DataBase::instance();
    db->setToday(Today);
    if (!filled) {
        std::printf("Filling %d users, %d groups, %d events ...\n", Users, Groups,
                    Users * EventsPerUser);
        QElapsedTimer fillTimer;
        fillTimer.start();
        if (!fill(db))
            return 2;
        std::printf("  filled in %.1f s\n\n", fillTimer.elapsed() / 1000.0);
    }
    // The baselines sum the dose records alone; the readings' share of the
    // scan is timed by bench_doserecord.
    DoseRecordSettings settings = db->doseSettings();
    settings.countReadings = false;
    if (!db->updateDoseSettings(settings))
        return 3;

    QList<ThresholdEvaluator::Exceedance> rows;
    const Timing scanMs = bestOfThree([&] { rows = ThresholdEvaluator::scan(); });
    const Timing dialogMs = bestOfThree([] { ExceededThreshouldsDialog dialog(false); });
    QSet<QString> joined;
    const Timing joinMs = bestOfThree([&] { joined = joinBaseline(); });
    QSet<QString> onePass;
    const Timing onePassMs = bestOfThree([&] { onePass = onePassBaseline(db); });

    const QSet<QString> ours = keysOf(rows);
    QSet<QString> oursUsers;
    for (const QString &key : ours) {
        if (key.startsWith('u'))
            oursUsers.insert(key);
    }
    // One statement per distinct threshold period.
    QSet<quint16> periods;
    for (const SharedThreshold &t : db->thresholds())
        periods.insert(t->period);
    const int queries = periods.size();
    std::printf("best of three runs, %d exceedances found                  wall ms    cpu ms\n",
                int(rows.size()));
    const auto line = [](const char *what, const Timing &t, const char *note) {
        std::printf("  %-52s %9.1f %9.1f   %s\n", what, t.wall, t.cpu, note);
    };
    const QByteArray scan
        = QStringLiteral("ThresholdEvaluator::scan (%1 statements)").arg(queries).toLatin1();
    line(scan.constData(), scanMs, "goal < 1000 ms");
    line("ExceededThreshouldsDialog built and filled", dialogMs, "");
    line("baseline: one SQL, join + GROUP BY", joinMs,
         joined == ours ? "same rows: yes" : "same rows: NO");
    line("baseline: one SQL, one pass, user part only", onePassMs,
         onePass == oursUsers ? "same rows: yes" : "same rows: NO");

    // What an index that also holds the value would bring: the sums are then
    // read from the index alone, without a table row per event.
    exec("CREATE INDEX IF NOT EXISTS bench_events_user_type_date_value "
         "ON Events (userId, eventType, dateTime, value)");
    QList<ThresholdEvaluator::Exceedance> covered;
    const Timing coveredMs = bestOfThree([&] { covered = ThresholdEvaluator::scan(); });
    exec("DROP INDEX bench_events_user_type_date_value");
    line("the scan, index (userId, eventType, dateTime, value)", coveredMs,
         keysOf(covered) == ours ? "same rows: yes" : "same rows: NO");
    VDB::DataBase::destroyInstance();
    return joined == ours && onePass == oursUsers ? 0 : 3;
}
