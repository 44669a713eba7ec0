#pragma once

#include <QDate>
#include <QString>

// Doses, months and dates as the office reads them: Russian formats with a
// decimal comma, in the milli-unit of the options.
namespace DoseText {

// "1,234" for a displayed dose.
QString number(double displayed, int decimals = 3);
// The shortest form of a number, e.g. a limit: "20", "0,5".
QString compact(double displayed);
// "1,234 мЗв".
QString withUnit(double displayed, int decimals = 3);
// "декабрь 2026".
QString month(const QDate &date);
// "1 дек. 2026".
QString day(const QDate &date);
// Short month names for table headers: "янв.", ...
QString shortMonth(int month);

} // namespace DoseText
