#include "report/RussianFormat.h"

#include <QCalendarWidget>
#include <QDateEdit>

namespace {

const QString DateFormat = QStringLiteral("d MMM yyyy");
const QString MinuteFormat = QStringLiteral("d MMM yyyy HH:mm");
const QString SecondFormat = QStringLiteral("d MMM yyyy HH:mm:ss");

} // namespace

QLocale RussianFormat::locale()
{
    return QLocale(QLocale::Russian, QLocale::Russia);
}

void RussianFormat::install()
{
    QLocale::setDefault(locale());
}

QString RussianFormat::date(const QDate &date)
{
    return date.isValid() ? locale().toString(date, DateFormat) : QString();
}

QString RussianFormat::dateTime(const QDateTime &dateTime)
{
    return dateTime.isValid() ? locale().toString(dateTime, MinuteFormat) : QString();
}

QString RussianFormat::recordTime(const QDateTime &dateTime)
{
    return dateTime.isValid() ? locale().toString(dateTime, SecondFormat) : QString();
}

QString RussianFormat::month(const QDate &date)
{
    if (!date.isValid())
        return QString();
    // "MMMM" gives the genitive ("декабря"), right after a day number only.
    return QStringLiteral("%1 %2").arg(locale().standaloneMonthName(date.month())).arg(date.year());
}

QString RussianFormat::period(const QDate &first, const QDate &last)
{
    return QStringLiteral("%1 – %2").arg(date(first), date(last));
}

QString RussianFormat::time(const QTime &time)
{
    return time.isValid() ? time.toString(QStringLiteral("HH:mm")) : QString();
}

QString RussianFormat::dateEditFormat()
{
    return QStringLiteral("dd.MM.yyyy");
}

void RussianFormat::setUpDateEdit(QDateEdit *edit)
{
    edit->setLocale(locale());
    edit->setDisplayFormat(dateEditFormat());
    edit->setCalendarPopup(true);
    if (QCalendarWidget *calendar = edit->calendarWidget()) {
        calendar->setLocale(locale());
        calendar->setFirstDayOfWeek(Qt::Monday);
    }
}
