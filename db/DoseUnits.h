#pragma once

#include <QString>

// Dose units. Doses are stored in millisievert and shown in the milli-unit of
// the unit code chosen in the options: 0 roentgen ("мР"), 1 sievert ("мЗв"),
// 2 rem ("мРем"); 1 mSv is shown as 100 mR or 100 mrem.
//
// The current code mirrors the options' `units` field (the data store sets it
// whenever it loads or changes the options). It is held atomically, so device
// workers may convert on their own threads.
namespace DoseUnits {

enum Code { Roentgen = 0, Sievert = 1, Rem = 2, None = 3 };

int currentCode();
void setCurrentCode(int code);

// Stored (mSv) -> displayed milli-unit, and back, for a given code.
double toDisplay(double stored, int code);
double toStored(double displayed, int code);

// "Р", "Зв", "Рем"; empty for any other code.
QString unitName(int code);
// "м" + unitName(code), or empty.
QString milliUnitName(int code);
QString currentUnitName();
QString currentMilliUnitName();

// A displayed milli-unit amount with an automatic prefix.
struct Scaled
{
    double number = 0;
    QString unit; // e.g. "мкЗв", "мЗв", "Зв"; empty for code 3
};
// x >= 1000 -> whole units; x < 1 -> micro; otherwise milli.
Scaled scale(double displayed, int code);
Scaled scale(double displayed);
// "%1 %2": the scaled number in fixed notation with `decimals`, then the unit.
QString formatScaled(double displayed, int decimals = 4);

// Axis tick label for a chart value in displayed milli-units, e.g.
// 0.0005 -> "0.500 мкЗв", 0.005 -> "5.00 мкЗв", 2.5 -> "2.50 мЗв",
// 2500 -> "2.50 Зв"; 0 -> "0". Codes other than 0 and 2 say "Зв".
QString axisTickLabel(double value, int code);
QString axisTickLabel(double value);
// The same with "/ч" after the unit, for dose-rate axes.
QString rateAxisTickLabel(double value, int code);
QString rateAxisTickLabel(double value);

} // namespace DoseUnits

// Stored value -> value in the current display unit.
double toDisplayDose(double stored);
// Value in the current display unit -> stored value.
double toStoredDose(double displayed);
