#pragma once

#include "dose/DoseCard.h"
#include "dose/DoseReport.h"

// The individual dose card of one user, year by year and month by month.
class DoseCardReport : public DoseReport
{
    Q_OBJECT
public:
    explicit DoseCardReport(const DoseCard &card, QObject *parent = nullptr);
    QString title() const override;

protected:
    QString templatePath() const override;
    int recordCount() const override;
    QVariant value(int record, const QString &name) const override;

private:
    DoseCard m_card;
};
