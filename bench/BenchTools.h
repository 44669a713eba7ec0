#pragma once

// What the benchmarks share: the fastest of three timed runs, a statement run
// with its error said, and an office's set of thresholds.

#include "db/Group.h"
#include "db/ThresholdData.h"

#include <QElapsedTimer>
#include <QList>
#include <QSqlError>
#include <QSqlQuery>
#include <cstdio>
#include <ctime>

namespace Bench {

// Runs one statement on the default connection; says what failed.
inline bool exec(const QString &sql)
{
    QSqlQuery query;
    if (!query.exec(sql)) {
        std::fprintf(stderr, "%s\n%s\n", qPrintable(query.lastError().text()), qPrintable(sql));
        return false;
    }
    return true;
}

// Wall-clock and processor time of a run, in ms. The processor time says
// more on a machine that others load as well.
struct Timing
{
    double wall = 1e9;
    double cpu = 0;
};

template<typename F> Timing bestOfThree(F &&run)
{
    Timing best;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer timer;
        timer.start();
        const std::clock_t cpu = std::clock();
        run();
        const double wall = timer.nsecsElapsed() / 1e6;
        if (wall < best.wall)
            best = {wall, (std::clock() - cpu) * 1000.0 / CLOCKS_PER_SEC};
    }
    return best;
}

// Ten user thresholds with windows of 1 to 365 days and one group threshold
// per group, with limits near what wearers who get `dailyDose` a day sum up
// to, so that about half of the pairs are exceeded.
inline QList<ThresholdChange> officeThresholds(const QList<SharedGroup> &groups, double dailyDose)
{
    const quint16 periods[] = {1, 3, 7, 14, 30, 60, 90, 180, 365, 30};
    QList<ThresholdChange> changes;
    for (int i = 0; i < 10; ++i) {
        ThresholdChange change;
        change.data.name = QStringLiteral("Порог %1").arg(i);
        change.data.period = periods[i];
        change.data.value = dailyDose * (periods[i] + 1) * (i == 9 ? 2 : 1);
        changes.append(change);
    }
    for (int i = 0; i < groups.size(); ++i) {
        ThresholdChange change;
        change.data.isUser = false;
        change.data.name = QStringLiteral("Групповой %1").arg(i);
        change.data.period = quint16(7 * (1 + i % 4));
        change.data.value = 20 * dailyDose * (change.data.period + 1);
        change.data.groups = {groups.at(i)};
        changes.append(change);
    }
    return changes;
}

} // namespace Bench
