// Times how long selecting the generated user ("-gendb": one user, 50 002
// events) takes to fill the user page: day table, four charts, threshold bars.
//
//     bench_userpage [runs] [--system-tz]
//
// Works on a database of its own in a temporary folder. Prints wall-clock
// and CPU time of the GUI thread (the CPU figure does not suffer from other
// processes on a busy machine).
//
// Without TZ in the environment glibc looks the local time zone up afresh for
// every local date-time conversion (~6 us each, two per event). The bench
// sets TZ=:/etc/localtime unless told --system-tz.

#include "db/DataBase.h"
#include "dose/UserDetailsWidget.h"

#include <QApplication>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <ctime>

namespace {

constexpr double BaselineMs = 300.0;

struct Figures
{
    double best = 0;
    double median = 0;
    double cpuMedian = 0;
};

double threadCpuMs()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

Figures timeSelection(UserDetailsWidget &page, const SharedUser &user, const SharedUser &other,
                      int runs)
{
    QVector<double> times;
    QVector<double> cpu;
    for (int run = 0; run < runs; ++run) {
        // Start from another user, as the operator does in the tree.
        page.setUser(other);
        QApplication::processEvents();
        QElapsedTimer clock;
        clock.start();
        const double cpuStart = threadCpuMs();
        page.setUser(user);
        // Include painting the page.
        page.repaint();
        QApplication::processEvents();
        times.append(clock.nsecsElapsed() / 1e6);
        cpu.append(threadCpuMs() - cpuStart);
    }
    std::sort(times.begin(), times.end());
    std::sort(cpu.begin(), cpu.end());
    return {times.first(), times.at(times.size() / 2), cpu.at(cpu.size() / 2)};
}

void report(QTextStream &out, const QString &what, const Figures &figures)
{
    out << what << ": best " << QString::number(figures.best, 'f', 1) << " ms, median "
        << QString::number(figures.median, 'f', 1) << " ms, CPU median "
        << QString::number(figures.cpuMedian, 'f', 1) << " ms (baseline "
        << QString::number(BaselineMs, 'f', 0) << " ms) "
        << (figures.median < BaselineMs ? "OK" : "SLOW") << '\n';
}

} // namespace

int main(int argc, char *argv[])
{
    bool systemTz = false;
    for (int i = 1; i < argc; ++i)
        systemTz = systemTz || qstrcmp(argv[i], "--system-tz") == 0;
    if (!systemTz && qEnvironmentVariableIsEmpty("TZ"))
        qputenv("TZ", ":/etc/localtime");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int runs = 7;
    if (argc > 1 && QString::fromLocal8Bit(argv[1]).toInt() > 0)
        runs = QString::fromLocal8Bit(argv[1]).toInt();
    QTextStream out(stdout);

    QTemporaryDir dir;
    VDB::DataBase::setFileName(dir.filePath(QStringLiteral("doserdr22.db")));
    QElapsedTimer clock;
    clock.start();
    if (VDB::DataBase::openOrCreate(true).code != 0
        || VDB::DataBase::generateTestData().code != 0) {
        out << "could not generate the test database\n";
        return 1;
    }
    VDB::DataBase *db = VDB::DataBase::instance();
    db->loadAll();
    out << "generated database in " << clock.elapsed() << " ms\n";

    SharedUser generated;
    for (const SharedUser &user : db->users()) {
        if (user->firstname == QLatin1String("User") && user->surname == QLatin1String("User"))
            generated = user;
    }
    const SharedUser admin = db->users().first();
    if (!generated || generated == admin) {
        out << "generated user not found\n";
        return 1;
    }

    // One user threshold so that the bars are evaluated as well.
    ThresholdChange change;
    change.data.name = QStringLiteral("Недельная доза");
    change.data.value = 1.0;
    change.data.period = 7;
    db->saveThresholds({change});

    UserDetailsWidget page(nullptr, nullptr);
    page.resize(1000, 700);
    page.show();
    QApplication::processEvents();

    out << "user page, " << runs << " runs, today " << db->today().toString(Qt::ISODate)
        << ", TZ=" << qgetenv("TZ") << '\n';
    report(out, QStringLiteral("select user (default dates)"),
           timeSelection(page, generated, admin, runs));

    // The worst case: the period tab spans the whole generated history, so
    // it charts all 50 002 events besides the month and the year.
    page.findChild<QDateEdit *>(QStringLiteral("startDateEdit"))->setDate(db->today().addDays(-11));
    page.findChild<QDateEdit *>(QStringLiteral("endDateEdit"))->setDate(db->today().addDays(100));
    report(out, QStringLiteral("select user (period over all events)"),
           timeSelection(page, generated, admin, runs));

    page.close();
    VDB::DataBase::destroyInstance();
    return 0;
}
