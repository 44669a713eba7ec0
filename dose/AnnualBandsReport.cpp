#include "dose/AnnualBandsReport.h"

#include "db/DoseUnits.h"
#include "db/Group.h"
#include "dose/DoseText.h"

AnnualBandsReport::AnnualBandsReport(const AnnualDoseSummary &summary, QObject *parent)
    : DoseReport(parent)
    , m_summary(summary)
{ }

QString AnnualBandsReport::title() const
{
    return tr("Распределение лиц по годовой дозе за %1 год").arg(m_summary.year());
}

QString AnnualBandsReport::templatePath() const
{
    return QStringLiteral(":/text/resources/data/reports/annual_bands.xml");
}

int AnnualBandsReport::recordCount() const
{
    return m_summary.bands().size();
}

QVariant AnnualBandsReport::value(int record, const QString &name) const
{
    if (name == QLatin1String("title"))
        return title();
    if (name == QLatin1String("details"))
        return m_summary.group() ? tr("Группа \"%1\"").arg(m_summary.group()->name)
                                 : tr("Все пользователи");
    if (name == QLatin1String("collectiveHeader"))
        return tr("Коллективная доза, чел.·%1").arg(DoseUnits::currentMilliUnitName());
    if (name == QLatin1String("totalPersons"))
        return QString::number(m_summary.wearers());
    if (name == QLatin1String("totalCollective"))
        return DoseText::number(m_summary.collectiveDose());
    if (record < 0 || record >= m_summary.bands().size())
        return QVariant();
    const AnnualDoseSummary::Band &band = m_summary.bands().at(record);
    if (name == QLatin1String("band"))
        return band.name;
    if (name == QLatin1String("persons"))
        return QString::number(band.persons);
    if (name == QLatin1String("collective"))
        return DoseText::number(band.collectiveDose);
    return QVariant();
}
