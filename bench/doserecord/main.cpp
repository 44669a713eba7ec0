// Times what the dose of record costs on a large office database: 1 000
// TM4040 wearers in 50 groups, each with a dosimeter of its own read hourly
// through 2024 (8 784 readings each, 8.8 million in all; every tenth counter
// reset in the middle of the year), 10 user and 50 group thresholds.
//
//     bench_doserecord [database file]
//
// A file argument keeps the filled database for later runs (filling takes
// minutes). Every figure is printed with the readings counted ("on") beside
// the same run with the office switch off ("off"), best of three runs.

#include "bench/BenchTools.h"
#include "db/DataBase.h"
#include "dose/AnnualDoseDialog.h"
#include "dose/AnnualDoseSummary.h"
#include "dose/ThresholdEvaluator.h"
#include "dose/UserDetailsWidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>

namespace {

using Bench::bestOfThree;
using Bench::Timing;
using Bench::exec;

constexpr int Wearers = 1000;
constexpr int Groups = 50;
constexpr int Hours = 366 * 24;
const QDate Today(2024, 12, 31);

// Users, groups, assignments and readings straight into the file, as
// another program would have left them: the first open afterwards computes
// the dose of record from scratch.
bool fill()
{
    exec("PRAGMA cache_size = -800000");
    if (!QSqlDatabase::database().transaction())
        return false;
    QSqlQuery user;
    user.prepare("INSERT INTO Users (firstname, surname, birthday, access, deviceId, deviceSerial, "
                 "assignDate) VALUES (?, ?, '1980-01-01', 1, 1, ?, '2023-12-31T08:00:00.000')");
    for (int i = 0; i < Wearers; ++i) {
        user.addBindValue(QStringLiteral("Имя%1").arg(i));
        user.addBindValue(QStringLiteral("Фамилия%1").arg(i));
        user.addBindValue(10000 + i);
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
    const QString firstUser = "(SELECT MIN(id) FROM Users WHERE surname LIKE 'Фамилия%')";
    const bool ok
        = exec("INSERT INTO Users2Groups (userId, groupId) SELECT u.id, "
               "(SELECT MIN(id) FROM Groups WHERE name LIKE 'Группа %') + (u.id % 50) "
               "FROM Users u WHERE u.surname LIKE 'Фамилия%'")
        && exec(QStringLiteral("INSERT INTO Events (dateTime, userId, deviceId, deviceSerial, "
                               "eventType) SELECT assignDate, id, 1, deviceSerial, 100 FROM Users "
                               "WHERE surname LIKE 'Фамилия%'"))
        // Hour k of user u: a counter rising about 0.12 uSv an hour with a
        // jitter below that, reset after hour 4 000 for every tenth user.
        && exec(
              QStringLiteral(
                  "INSERT INTO Events (dateTime, userId, deviceId, deviceSerial, eventType, "
                  "value, medValue, channel) "
                  "WITH RECURSIVE u(n) AS (SELECT 0 UNION ALL SELECT n + 1 FROM u WHERE n < %1), "
                  "k(n) AS (SELECT 0 UNION ALL SELECT n + 1 FROM k WHERE n < %2) "
                  "SELECT strftime('%Y-%m-%dT%H:%M:%S.000', '2024-01-01', '+' || k.n || ' hours'), "
                  "%3 + u.n, 1, 10000 + u.n, 200, "
                  "(CASE WHEN u.n % 10 = 0 AND k.n >= 4000 THEN k.n - 4000 ELSE k.n END) "
                  "* 0.00012 + ((k.n * 7919 + u.n) % 100) / 1000000.0, "
                  "0.1 + ((k.n * 31 + u.n) % 50) / 100.0, 2 FROM u, k ORDER BY u.n, k.n")
                  .arg(Wearers - 1)
                  .arg(Hours - 1)
                  .arg(firstUser));
    if (!ok || !QSqlDatabase::database().commit())
        return false;
    exec("PRAGMA cache_size = -2000");
    return true;
}

bool addThresholds(VDB::DataBase *db)
{
    // Anew on every run, so that a kept database gets the limits of today.
    QList<ThresholdChange> removals;
    for (const SharedThreshold &threshold : db->thresholds()) {
        ThresholdChange removal;
        removal.action = ThresholdChange::Delete;
        removal.threshold = threshold;
        removals.append(removal);
    }
    if (!removals.isEmpty() && !db->saveThresholds(removals))
        return false;
    // The wearers get about 2.9 uSv a day.
    return db->saveThresholds(
        Bench::officeThresholds(db->groups().mid(db->groups().size() - Groups), 0.00285));
}

void setCounting(VDB::DataBase *db, bool on)
{
    DoseRecordSettings settings = db->doseSettings();
    settings.countReadings = on;
    db->updateDoseSettings(settings);
}

} // namespace

// The offscreen platform's complaints about window hints are no news here.
void quietOffscreen(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!message.contains(QLatin1String("This plugin does not support")))
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    if (qEnvironmentVariableIsEmpty("TZ"))
        qputenv("TZ", ":/etc/localtime");
    qInstallMessageHandler(quietOffscreen);
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString fileName
        = argc > 1 ? QString::fromLocal8Bit(argv[1]) : dir.filePath("doserdr22.db");
    const bool filled = QFile::exists(fileName);
    VDB::DataBase::setFileName(fileName);
    if (!filled) {
        std::printf("Filling %d wearers with %d hourly readings each (%.1f million) ...\n", Wearers,
                    Hours, Wearers * double(Hours) / 1e6);
        QElapsedTimer timer;
        timer.start();
        if (VDB::DataBase::openOrCreate(false).code != 0 || !fill())
            return 1;
        std::printf("  filled in %.1f s\n", timer.elapsed() / 1000.0);
        VDB::DataBase::destroyInstance();
    }
    QElapsedTimer opening;
    opening.start();
    if (VDB::DataBase::openOrCreate(false).code != 0)
        return 2;
    const double openMs = opening.nsecsElapsed() / 1e6;
    VDB::DataBase *db = VDB::DataBase::instance();
    db->setToday(Today);
    if (!addThresholds(db))
        return 3;
    if (!db->doseRecordAvailable())
        return 4;
    std::printf("opening the database%s: %.1f s\n\n",
                filled ? "" : " (dose of record computed from all readings)", openMs / 1000.0);

    const SharedUser wearer = db->users().at(db->users().size() / 2);
    const SharedUser other = db->users().at(db->users().size() / 2 + 1);
    UserDetailsWidget page(nullptr, nullptr);
    page.resize(1200, 800);
    page.show();

    struct Run
    {
        Timing scan, userPage, annual, annualDialog;
        int exceeded = 0;
        double wearerYear = 0;
    } runs[2];
    for (int on = 1; on >= 0; --on) {
        setCounting(db, on);
        Run &r = runs[on];
        r.scan = bestOfThree([&r] { r.exceeded = ThresholdEvaluator::scan().size(); });
        r.userPage = bestOfThree([&] {
            page.setUser(other);
            QApplication::processEvents();
            page.setUser(wearer);
            page.repaint();
            QApplication::processEvents();
        });
        r.annual = bestOfThree([&r, &wearer] {
            const AnnualDoseSummary summary(2024);
            for (const AnnualDoseSummary::Row &row : summary.rows()) {
                if (row.user == wearer)
                    r.wearerYear = row.year;
            }
        });
        r.annualDialog = bestOfThree([] {
            AnnualDoseDialog dialog;
            QApplication::processEvents();
        });
    }

    std::printf("best of three runs                                  on: wall ms  cpu ms"
                "    off: wall ms  cpu ms   goal\n");
    const auto line = [](const char *what, const Timing &on, const Timing &off, const char *goal) {
        std::printf("  %-48s %9.1f %7.1f   %12.1f %7.1f   %s\n", what, on.wall, on.cpu, off.wall,
                    off.cpu, goal);
    };
    line("exceeded-thresholds scan (1 000 users, 60 thr.)", runs[1].scan, runs[0].scan,
         "< 1000 ms");
    line("user page of one wearer (8 784 readings a year)", runs[1].userPage, runs[0].userPage,
         "< 300 ms");
    line("annual summary, 1 000 wearers", runs[1].annual, runs[0].annual, "");
    line("annual page built and filled", runs[1].annualDialog, runs[0].annualDialog, "< 1000 ms");
    std::printf("\n  exceedances: %d with the readings, %d without; one wearer's 2024: %.4f mSv\n",
                runs[1].exceeded, runs[0].exceeded, runs[1].wearerYear);
    setCounting(db, true);
    VDB::DataBase::destroyInstance();
    return 0;
}
