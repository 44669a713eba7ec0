#pragma once

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>

class QDateEdit;

// The one place that turns dates into text, for every screen and report.
// Always Russian, whatever the system locale: an office reads "1 дек. 2026"
// also on a machine set up in English or in the C locale. One format per
// kind of field, so that a date reads the same on screen and on paper.
class RussianFormat
{
public:
    static QLocale locale();
    // Makes Russian the default locale of the program: calendars, date edits
    // and number fields created afterwards follow it.
    static void install();

    // A day: "1 дек. 2026".
    static QString date(const QDate &date);
    // A moment to the minute (assignments, printing): "1 дек. 2026 14:05".
    static QString dateTime(const QDateTime &dateTime);
    // A device record, to the second: "1 дек. 2026 14:05:07".
    static QString recordTime(const QDateTime &dateTime);
    // A month on its own, in the nominative: "декабрь 2026".
    static QString month(const QDate &date);
    // A span of days: "1 дек. 2026 – 31 дек. 2026".
    static QString period(const QDate &first, const QDate &last);
    // The time of day alone: "14:05".
    static QString time(const QTime &time);

    // Date edits keep the numeric form one types ("01.12.2026"), with a
    // Russian calendar whose weeks start on Monday.
    static QString dateEditFormat();
    static void setUpDateEdit(QDateEdit *edit);
};
