#pragma once

#include <QDate>

// A user's dose of record on one day.
struct DayDose
{
    QDate day;
    double dose = 0; // display unit
    double maxRate = -1; // highest dose rate of the day's readings, µSv/h; -1 none
};
