#include "dose/AnnualDosesReport.h"

#include "db/DoseUnits.h"
#include "db/Group.h"
#include "db/User.h"
#include "dose/DoseText.h"

AnnualDosesReport::AnnualDosesReport(const AnnualDoseSummary &summary, QObject *parent)
    : DoseReport(parent)
    , m_summary(summary)
{ }

QString AnnualDosesReport::title() const
{
    return tr("Дозы за %1 год").arg(m_summary.year());
}

QString AnnualDosesReport::templatePath() const
{
    return QStringLiteral(":/text/resources/data/reports/annual_doses.xml");
}

int AnnualDosesReport::recordCount() const
{
    return m_summary.rows().size();
}

QVariant AnnualDosesReport::value(int record, const QString &name) const
{
    const QString unit = DoseUnits::currentMilliUnitName();
    if (name == QLatin1String("title"))
        return title();
    if (name == QLatin1String("details"))
        return tr("%1; дозы в %2; лиц с дозой за год: %3")
            .arg(m_summary.group() ? tr("группа \"%1\"").arg(m_summary.group()->name)
                                   : tr("все пользователи"),
                 unit)
            .arg(m_summary.wearers());
    if (name == QLatin1String("limits"))
        return AnnualDoseSummary::limitsText();
    if (name == QLatin1String("yearHeader"))
        return tr("За год");
    if (name == QLatin1String("fiveYearsHeader"))
        return tr("%1–%2").arg(m_summary.year() - 4).arg(m_summary.year());
    if (name == QLatin1String("lifetimeHeader"))
        return tr("Всего");
    if (record < 0 || record >= m_summary.rows().size())
        return QVariant();
    const AnnualDoseSummary::Row &row = m_summary.rows().at(record);
    if (name == QLatin1String("number"))
        return QString::number(record + 1);
    if (name == QLatin1String("userName"))
        return row.user->fullName();
    if (name == QLatin1String("year"))
        return DoseText::number(row.year);
    if (name == QLatin1String("fiveYears"))
        return DoseText::number(row.fiveYears);
    if (name == QLatin1String("lifetime"))
        return DoseText::number(row.lifetime);
    if (name == QLatin1String("mark"))
        return AnnualDoseSummary::markText(row.marks);
    if (const int month = monthField(name))
        return DoseText::number(row.months.at(month - 1));
    return QVariant();
}
