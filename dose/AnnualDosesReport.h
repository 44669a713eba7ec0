#pragma once

#include "dose/AnnualDoseSummary.h"
#include "dose/DoseReport.h"

// "Дозы за год": every user of the summary with the doses of the months, the
// year, the five years and all years, and the limits passed.
class AnnualDosesReport : public DoseReport
{
    Q_OBJECT
public:
    explicit AnnualDosesReport(const AnnualDoseSummary &summary, QObject *parent = nullptr);
    QString title() const override;

protected:
    QString templatePath() const override;
    int recordCount() const override;
    QVariant value(int record, const QString &name) const override;

private:
    AnnualDoseSummary m_summary;
};
