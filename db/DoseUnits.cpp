#include "db/DoseUnits.h"

#include <QCoreApplication>
#include <atomic>

namespace DoseUnits {

namespace {

std::atomic<int> g_code {Sievert};

QString tr(const char *text)
{
    return QCoreApplication::translate("DoseUnits", text);
}

QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

// Chart ticks name sievert for every code but roentgen and rem.
QString tickUnit(int code)
{
    switch (code) {
    case Roentgen:
        return tr("Р");
    case Rem:
        return tr("Рем");
    default:
        return tr("Зв");
    }
}

QString tickLabel(double v, int code, const QString &suffix)
{
    if (v == 0)
        return QStringLiteral("0");
    const QString unit = tickUnit(code);
    if (v > 0 && v < 1) {
        const double micro = v * 1000;
        return QStringLiteral("%1 %2%3%4")
            .arg(fixed(micro, micro < 1 ? 3 : 2), tr("мк"), unit, suffix);
    }
    if (v < 1000)
        return QStringLiteral("%1 %2%3%4").arg(fixed(v, 2), tr("м"), unit, suffix);
    return QStringLiteral("%1 %2%3").arg(fixed(v / 1000, 2), unit, suffix);
}

} // namespace

int currentCode()
{
    return g_code.load(std::memory_order_relaxed);
}

void setCurrentCode(int code)
{
    g_code.store(code, std::memory_order_relaxed);
}

double toDisplay(double stored, int code)
{
    return code == Sievert ? stored : stored * 100;
}

double toStored(double displayed, int code)
{
    return code == Sievert ? displayed : displayed / 100;
}

QString unitName(int code)
{
    switch (code) {
    case Roentgen:
        return tr("Р");
    case Sievert:
        return tr("Зв");
    case Rem:
        return tr("Рем");
    default:
        return QString();
    }
}

QString milliUnitName(int code)
{
    const QString unit = unitName(code);
    return unit.isEmpty() ? QString() : tr("м") + unit;
}

QString currentUnitName()
{
    return unitName(currentCode());
}

QString currentMilliUnitName()
{
    return milliUnitName(currentCode());
}

Scaled scale(double x, int code)
{
    const QString unit = unitName(code);
    if (unit.isEmpty())
        return {x, QString()};
    if (x >= 1000)
        return {x / 1000, unit};
    if (x < 1)
        return {x * 1000, tr("мк") + unit};
    return {x, tr("м") + unit};
}

Scaled scale(double x)
{
    return scale(x, currentCode());
}

QString formatScaled(double x, int decimals)
{
    const Scaled s = scale(x);
    return QStringLiteral("%1 %2").arg(fixed(s.number, decimals), s.unit);
}

QString axisTickLabel(double value, int code)
{
    return tickLabel(value, code, QString());
}

QString axisTickLabel(double value)
{
    return axisTickLabel(value, currentCode());
}

QString rateAxisTickLabel(double value, int code)
{
    return tickLabel(value, code, tr("/ч"));
}

QString rateAxisTickLabel(double value)
{
    return rateAxisTickLabel(value, currentCode());
}

} // namespace DoseUnits

double toDisplayDose(double stored)
{
    return DoseUnits::toDisplay(stored, DoseUnits::currentCode());
}

double toStoredDose(double displayed)
{
    return DoseUnits::toStored(displayed, DoseUnits::currentCode());
}
