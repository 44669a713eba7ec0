#pragma once

#include "dose/AnnualDoseSummary.h"
#include "dose/DoseReport.h"

// The year's wearers by band of annual dose, with the collective dose of each
// band: the shape of the yearly statistical return on personnel doses.
class AnnualBandsReport : public DoseReport
{
    Q_OBJECT
public:
    explicit AnnualBandsReport(const AnnualDoseSummary &summary, QObject *parent = nullptr);
    QString title() const override;

protected:
    QString templatePath() const override;
    int recordCount() const override;
    QVariant value(int record, const QString &name) const override;

private:
    AnnualDoseSummary m_summary;
};
