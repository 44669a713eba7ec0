#include "ui/AuditReport.h"

#include "db/AuditOperation.h"

AuditReport::AuditReport(const QList<VDB::AuditEntry> &entries, const QString &filterText,
                         QObject *parent)
    : DoseReport(parent)
    , m_entries(entries)
    , m_filterText(filterText)
{ }

QString AuditReport::title() const
{
    return tr("Журнал действий");
}

QString AuditReport::templatePath() const
{
    return QStringLiteral(":/text/resources/data/reports/audit_log.xml");
}

int AuditReport::recordCount() const
{
    return m_entries.size();
}

QVariant AuditReport::value(int record, const QString &name) const
{
    if (name == QLatin1String("title"))
        return title();
    if (name == QLatin1String("filter"))
        return m_filterText;
    if (record < 0 || record >= m_entries.size())
        return QVariant();
    const VDB::AuditEntry &entry = m_entries.at(record);
    if (name == QLatin1String("number"))
        return QString::number(record + 1);
    if (name == QLatin1String("dateTime"))
        return entry.dateTime.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    if (name == QLatin1String("login"))
        return entry.login;
    if (name == QLatin1String("workstation"))
        return entry.workstation;
    if (name == QLatin1String("operation"))
        return VDB::AuditOperation::name(entry.operation);
    if (name == QLatin1String("object"))
        return entry.object;
    if (name == QLatin1String("details"))
        return entry.details;
    return QVariant();
}
