#include "dose/DoseText.h"

#include "db/DoseUnits.h"
#include "report/RussianFormat.h"

#include <QLocale>

namespace DoseText {

namespace {

QLocale russian()
{
    return RussianFormat::locale();
}

} // namespace

QString number(double displayed, int decimals)
{
    QLocale locale = russian();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(displayed, 'f', decimals);
}

QString compact(double displayed)
{
    QLocale locale = russian();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(displayed, 'g', 6);
}

QString withUnit(double displayed, int decimals)
{
    const QString unit = DoseUnits::currentMilliUnitName();
    const QString text = number(displayed, decimals);
    return unit.isEmpty() ? text : QStringLiteral("%1 %2").arg(text, unit);
}

QString month(const QDate &date)
{
    return RussianFormat::month(date);
}

QString day(const QDate &date)
{
    return RussianFormat::date(date);
}

QString shortMonth(int month)
{
    return russian().standaloneMonthName(month, QLocale::ShortFormat);
}

} // namespace DoseText
