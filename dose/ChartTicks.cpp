#include "dose/ChartTicks.h"

#include <QtMath>
#include <algorithm>
#include <cmath>

namespace ChartTicks {

namespace {

// Ticks at `top` may miss it by a rounding error of the multiplication.
constexpr double relativeSlack = 1e-9;

// How many rotated labels fit, and the smallest of `steps` that keeps the
// labels of `count` ticks from overlapping.
int thinningStep(int count, int axisWidth, int labelWidth, const QVector<int> &steps)
{
    if (count <= 1 || labelWidth <= 0)
        return 1;
    const int fitting = std::max(1, axisWidth / labelWidth);
    for (int step : steps) {
        if ((count + step - 1) / step <= fitting)
            return step;
    }
    const int last = steps.last();
    const int needed = (count + fitting - 1) / fitting;
    return (needed + last - 1) / last * last;
}

void finish(TimeTicks &result, const QVector<QDateTime> &candidates, int step,
            const QLocale &locale)
{
    for (int i = 0; i < candidates.size(); i += step) {
        result.ticks.append(double(candidates.at(i).toSecsSinceEpoch()));
        result.labels.append(locale.toString(candidates.at(i), result.format));
    }
    result.subTicks = step - 1;
}

} // namespace

double niceStep(double total, int count)
{
    static const double steps[]
        = {1e-6,  5e-6, 1e-5, 2.5e-5, 5e-5, 1e-4,  2.5e-4, 5e-4,  0.001, 0.005, 0.01,
           0.025, 0.05, 0.1,  0.25,   0.5,  1,     5,      10,    25,    50,    100,
           250,   500,  1000, 2500,   5000, 10000, 25000,  50000, 100000};
    const double x = count > 0 ? total / count : total;
    if (!(x > steps[0])) // also NaN
        return steps[0];
    for (double step : steps) {
        if (step >= x)
            return step;
    }
    return 500000;
}

int valueTickCount(int axisHeight, int fontHeight)
{
    if (fontHeight <= 0)
        return 8;
    const int k = int(axisHeight / (fontHeight * 2.2));
    return std::max(8, k);
}

QVector<double> valueTicks(double top, int count)
{
    QVector<double> ticks {0.0};
    if (!(top > 0) || !std::isfinite(top))
        return ticks;
    const double step = niceStep(top, count);
    const double limit = top * (1 + relativeSlack);
    for (int i = 1;; ++i) {
        const double tick = i * step;
        if (tick > limit)
            break;
        ticks.append(tick);
    }
    return ticks;
}

QVector<double> proportionalTicks(double top2, const QVector<double> &leftTicks, double top)
{
    QVector<double> ticks {0.0};
    if (!(top2 > 0) || !std::isfinite(top2) || leftTicks.size() < 2 || !(top > 0))
        return ticks;
    const double last = leftTicks.last();
    if (!(last > 0))
        return ticks;
    // The left ticks fill last / top of their axis in N - 1 steps; the same
    // share of the right axis gives the right step.
    const double step2 = top2 / (leftTicks.size() - 1) / (top / last);
    if (!(step2 > 0) || !std::isfinite(step2))
        return ticks;
    const double limit = top2 * (1 + relativeSlack);
    for (int i = 1;; ++i) {
        const double tick = i * step2;
        if (tick > limit)
            break;
        ticks.append(tick);
    }
    return ticks;
}

int wholeDays(const QDateTime &from, const QDateTime &to)
{
    if (!from.isValid() || !to.isValid() || to <= from)
        return 0;
    return int(from.daysTo(to));
}

int wholeHours(const QDateTime &from, const QDateTime &to)
{
    if (!from.isValid() || !to.isValid() || to <= from)
        return 0;
    return int(from.secsTo(to) / 3600);
}

int hourStep(int hours, int axisWidth, int labelWidth)
{
    if (hours <= 0)
        return 1;
    const int fitting = labelWidth > 0 ? axisWidth / labelWidth : hours;
    if (fitting <= 0) // not even one label fits: one tick at each end
        return hours;
    return std::max(1, (hours + fitting - 1) / fitting);
}

TimeTicks timeTicks(const QDateTime &from, const QDateTime &to, int axisWidth, int hourLabelWidth,
                    int rotatedLabelWidth, const QLocale &locale)
{
    TimeTicks result;
    const int days = wholeDays(from, to);
    QVector<QDateTime> candidates;
    if (days > 90) {
        result.scale = TimeScale::Months;
        result.rotated = true;
        result.format = QStringLiteral("MMM yyyy");
        QDate month(from.date().year(), from.date().month(), 1);
        if (QDateTime(month, QTime(0, 0), from.timeSpec()) < from)
            month = month.addMonths(1);
        for (; QDateTime(month, QTime(0, 0), from.timeSpec()) <= to; month = month.addMonths(1))
            candidates.append(QDateTime(month, QTime(0, 0), from.timeSpec()));
        finish(result, candidates,
               thinningStep(candidates.size(), axisWidth, rotatedLabelWidth, {1, 2, 3, 4, 6, 12}),
               locale);
        return result;
    }
    if (days > 3) {
        result.scale = TimeScale::Days;
        result.rotated = true;
        result.format = QStringLiteral("d MMM");
        QDate day = from.date();
        if (QDateTime(day, QTime(0, 0), from.timeSpec()) < from)
            day = day.addDays(1);
        for (; QDateTime(day, QTime(0, 0), from.timeSpec()) <= to; day = day.addDays(1))
            candidates.append(QDateTime(day, QTime(0, 0), from.timeSpec()));
        finish(result, candidates,
               thinningStep(candidates.size(), axisWidth, rotatedLabelWidth, {1, 2, 3, 7, 14, 28}),
               locale);
        return result;
    }
    result.scale = TimeScale::Hours;
    result.format = QStringLiteral("H:mm");
    const int hours = wholeHours(from, to);
    const int step = hourStep(hours, axisWidth, hourLabelWidth);
    result.subTicks = step - 1;
    if (!from.isValid() || !to.isValid() || to < from)
        return result;
    // Hour ticks line up with whole multiples of the step counted from the
    // midnight before the range.
    const QDateTime midnight(from.date(), QTime(0, 0), from.timeSpec());
    const qint64 stepSecs = qint64(step) * 3600;
    qint64 offset = midnight.secsTo(from);
    qint64 first = (offset + stepSecs - 1) / stepSecs * stepSecs;
    for (qint64 s = first;; s += stepSecs) {
        const QDateTime tick = midnight.addSecs(s);
        if (tick > to)
            break;
        result.ticks.append(double(tick.toSecsSinceEpoch()));
        result.labels.append(locale.toString(tick, result.format));
    }
    return result;
}

} // namespace ChartTicks
