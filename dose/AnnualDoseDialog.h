#pragma once

#include "db/SharedTypes.h"
#include "dose/AnnualDoseSummary.h"

#include <QDialog>
#include <QScopedPointer>

namespace Ui {
class AnnualDoseDialog;
}

// The office's calendar-year dose accounting: for a chosen year and group,
// every user's dose of record by month with the year's, the five years' and
// the lifetime totals, rows over the limits marked; and the distribution of
// the year's wearers over the bands of annual dose. Both tables print and
// export as CSV. A double click on a user asks the main window to show him.
class AnnualDoseDialog : public QDialog
{
    Q_OBJECT
public:
    // Tab indexes of tabWidget.
    enum Tab { DosesTab = 0, BandsTab = 1 };
    // Columns of annualTable after the name; the months are 1 to 12.
    enum Column { NameColumn = 0, YearColumn = 13, FiveYearsColumn, LifetimeColumn, MarkColumn };

    explicit AnnualDoseDialog(QWidget *parent = nullptr);
    ~AnnualDoseDialog() override;

    const AnnualDoseSummary &summary() const { return m_summary; }

signals:
    void userSelected(SharedUser user);

public slots:
    void refill();
    void printReport();
    void exportTable();

private slots:
    void rowActivated(int row);

private:
    void fillAnnualTable();
    void fillBandsTable();
    SharedGroup chosenGroup() const;

    QScopedPointer<Ui::AnnualDoseDialog> m_ui;
    AnnualDoseSummary m_summary;
};
