#pragma once

#include "db/SharedTypes.h"

#include <QCoreApplication>
#include <QList>
#include <QVector>

class CsvWriter;

// The individual dose card of one user: the dose of record of every month,
// year by year, from the first year with a dose up to the last year that
// has one or the current year, with the totals. Doses in the display unit.
class DoseCard
{
    Q_DECLARE_TR_FUNCTIONS(DoseCard)

public:
    struct Year
    {
        int year = 0;
        QVector<double> months = QVector<double>(12, 0.0);
        double total = 0;
    };

    explicit DoseCard(const SharedUser &user);

    SharedUser user() const { return m_user; }
    const QList<Year> &years() const { return m_years; }
    double lifetime() const { return m_lifetime; }
    // Birthday, department, groups and dosimeter in one line.
    QString personText() const;

    CsvWriter csv() const;

private:
    SharedUser m_user;
    QList<Year> m_years;
    double m_lifetime = 0;
};
