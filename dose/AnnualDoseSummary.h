#pragma once

#include "db/SharedTypes.h"

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QVector>

class CsvWriter;

// The office's calendar-year dose accounting for one year: per user the dose
// of record of every month, of the year, of the five years ending with it
// and of all years up to its end, marked against the annual limits; and the
// distribution of the year's wearers over the bands of annual dose of the
// yearly statistical return. Doses are in the display unit.
class AnnualDoseSummary
{
    Q_DECLARE_TR_FUNCTIONS(AnnualDoseSummary)

public:
    // Why a row is marked; several may hold.
    enum Mark { OverAnnual = 1, OverSingleYear = 2, OverFiveYears = 4 };

    struct Row
    {
        SharedUser user;
        QVector<double> months = QVector<double>(12, 0.0);
        double year = 0;
        double fiveYears = 0;
        double lifetime = 0;
        // Had a dose record, or a reading counted for them, in the year.
        bool wearer = false;
        int marks = 0;
    };

    struct Band
    {
        QString name; // "до 1", "1–2", ... "свыше 50" (mSv)
        int persons = 0;
        double collectiveDose = 0; // display unit
    };

    // Annual dose in mSv above which a band ends (the last has none).
    static const QVector<double> &bandLimits();
    // Index of the band of an annual dose in mSv: a dose on a limit belongs
    // to the band below it.
    static int bandOf(double annualMilliSievert);

    // Users of `group` (all users without one), in the order of their names.
    AnnualDoseSummary(int year, const SharedGroup &group = SharedGroup());

    int year() const { return m_year; }
    SharedGroup group() const { return m_group; }
    const QList<Row> &rows() const { return m_rows; }
    const QList<Band> &bands() const { return m_bands; }
    int wearers() const;
    double collectiveDose() const;

    // "год > 20", "год > 50", "5 лет > 100": the limits passed, as the mark
    // column says it.
    static QString markText(int marks);
    // The limits in force, as one line for titles.
    static QString limitsText();

    // The tables as CSV files.
    CsvWriter annualCsv() const;
    CsvWriter bandsCsv() const;

private:
    int m_year;
    SharedGroup m_group;
    QList<Row> m_rows;
    QList<Band> m_bands;
};
