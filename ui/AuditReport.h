#pragma once

#include "db/AuditEntry.h"
#include "dose/DoseReport.h"

#include <QList>

// "Журнал действий": the audit entries the operator has on screen, under a
// line that says which filter chose them.
class AuditReport : public DoseReport
{
    Q_OBJECT
public:
    AuditReport(const QList<VDB::AuditEntry> &entries, const QString &filterText,
                QObject *parent = nullptr);
    QString title() const override;

protected:
    QString templatePath() const override;
    int recordCount() const override;
    QVariant value(int record, const QString &name) const override;

private:
    QList<VDB::AuditEntry> m_entries;
    QString m_filterText;
};
