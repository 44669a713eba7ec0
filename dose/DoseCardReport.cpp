#include "dose/DoseCardReport.h"

#include "db/DoseUnits.h"
#include "db/User.h"
#include "dose/DoseText.h"

DoseCardReport::DoseCardReport(const DoseCard &card, QObject *parent)
    : DoseReport(parent)
    , m_card(card)
{ }

QString DoseCardReport::title() const
{
    return tr("Карточка учёта доз, %1").arg(m_card.user() ? m_card.user()->fullName() : QString());
}

QString DoseCardReport::templatePath() const
{
    return QStringLiteral(":/text/resources/data/reports/dose_card.xml");
}

int DoseCardReport::recordCount() const
{
    return m_card.years().size();
}

QVariant DoseCardReport::value(int record, const QString &name) const
{
    if (name == QLatin1String("title"))
        return tr("Индивидуальная карточка учёта доз");
    if (name == QLatin1String("details"))
        return tr("Эффективная доза по данным учёта, %1").arg(DoseUnits::currentMilliUnitName());
    if (name == QLatin1String("userName"))
        return m_card.user() ? m_card.user()->fullName() : QString();
    if (name == QLatin1String("person"))
        return m_card.personText();
    if (name == QLatin1String("lifetime"))
        return DoseText::number(m_card.lifetime());
    if (record < 0 || record >= m_card.years().size())
        return QVariant();
    const DoseCard::Year &year = m_card.years().at(record);
    if (name == QLatin1String("year"))
        return QString::number(year.year);
    if (name == QLatin1String("total"))
        return DoseText::number(year.total);
    if (const int month = monthField(name))
        return DoseText::number(year.months.at(month - 1));
    return QVariant();
}
