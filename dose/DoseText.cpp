#include "dose/DoseText.h"

#include "db/DoseUnits.h"

#include <QLocale>

namespace DoseText {

namespace {

QLocale russian()
{
    return QLocale(QLocale::Russian, QLocale::Russia);
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
    return QStringLiteral("%1 %2")
        .arg(russian().standaloneMonthName(date.month()))
        .arg(date.year());
}

QString day(const QDate &date)
{
    return russian().toString(date, QStringLiteral("d MMM yyyy"));
}

QString shortMonth(int month)
{
    return russian().standaloneMonthName(month, QLocale::ShortFormat);
}

} // namespace DoseText
