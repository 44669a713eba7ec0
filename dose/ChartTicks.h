#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QVector>

// Tick positions and labels of the dose charts, kept free of any widget so
// that they can be checked on their own. Times are seconds since 1970-01-01
// UTC, the keys of the chart.
namespace ChartTicks {

// The first "nice" step that is at least total / count.
double niceStep(double total, int count);

// How many value ticks an axis of `axisHeight` pixels may hold when its tick
// labels are `fontHeight` pixels high: never fewer than 8.
int valueTickCount(int axisHeight, int fontHeight);

// 0, step, 2 * step, ... up to `top` with step = niceStep(top, count).
QVector<double> valueTicks(double top, int count);

// Ticks for a second axis with the range 0 ... top2 that sit at the same
// heights as `leftTicks` on an axis with the range 0 ... top.
QVector<double> proportionalTicks(double top2, const QVector<double> &leftTicks, double top);

enum class TimeScale { Months, Days, Hours };

struct TimeTicks
{
    TimeScale scale = TimeScale::Hours;
    QVector<double> ticks;
    QVector<QString> labels;
    int subTicks = 0;
    bool rotated = false; // labels turned by -90 degrees
    QString format; // date-time format of the labels
};

// Whole days and whole hours between two local date-times (0 when `to` is
// not after `from`).
int wholeDays(const QDateTime &from, const QDateTime &to);
int wholeHours(const QDateTime &from, const QDateTime &to);

// Hour step of the hour scale: as many hours as needed so that labels
// `labelWidth` pixels wide fit into `axisWidth` pixels; at least 1.
int hourStep(int hours, int axisWidth, int labelWidth);

// Ticks of the time axis over [from, to]:
//  - more than 90 days: the first of every month, "MMM yyyy", rotated;
//  - 4 to 90 days: every midnight, "d MMM", rotated;
//  - up to 3 days: every hourStep() hours, "H:mm", hourStep() - 1 sub-ticks.
// Rotated labels take `rotatedLabelWidth` pixels each; when they would not fit
// into `axisWidth`, only every second, third ... month or day is labelled and
// the skipped ones become sub-ticks.
TimeTicks timeTicks(const QDateTime &from, const QDateTime &to, int axisWidth, int hourLabelWidth,
                    int rotatedLabelWidth, const QLocale &locale);

} // namespace ChartTicks
