#include "dose/DoseCard.h"

#include "db/DataBase.h"
#include "db/DoseUnits.h"
#include "report/CsvWriter.h"
#include "report/RussianFormat.h"

#include <QLocale>

DoseCard::DoseCard(const SharedUser &user)
    : m_user(user)
{
    if (!user)
        return;
    VDB::DataBase *db = VDB::DataBase::instance();
    db->refreshDoseRecord();
    const QMap<int, double> months = db->userMonthDoses(QDate(), QDate(), user).value(user->id);
    const int current = db->today().year();
    const int first = months.isEmpty() ? current : qMin(months.firstKey() / 12, current);
    const int last = months.isEmpty() ? current : qMax(months.lastKey() / 12, current);
    for (int year = first; year <= last; ++year) {
        Year row;
        row.year = year;
        for (int month = 0; month < 12; ++month) {
            row.months[month] = months.value(year * 12 + month);
            row.total += row.months.at(month);
        }
        m_lifetime += row.total;
        m_years.append(row);
    }
}

QString DoseCard::personText() const
{
    if (!m_user)
        return QString();
    QStringList parts;
    parts << tr("дата рождения %1").arg(RussianFormat::date(m_user->birthday));
    if (!m_user->department.isEmpty())
        parts << tr("подразделение: %1").arg(m_user->department);
    QStringList groups;
    for (const SharedGroup &group : m_user->groups)
        groups << group->name;
    if (!groups.isEmpty())
        parts << tr("группы: %1").arg(groups.join(QStringLiteral(", ")));
    if (m_user->device && m_user->device->type)
        parts << tr("прибор: %1 #%2").arg(m_user->device->type->name).arg(m_user->device->serial);
    return parts.join(QStringLiteral("; "));
}

CsvWriter DoseCard::csv() const
{
    const QString unit = DoseUnits::currentMilliUnitName();
    const QLocale russian(QLocale::Russian);
    QVariantList header {tr("Год")};
    for (int month = 1; month <= 12; ++month) {
        QString name = russian.standaloneMonthName(month);
        name[0] = name.at(0).toUpper();
        header << QStringLiteral("%1, %2").arg(name, unit);
    }
    header << tr("За год, %1").arg(unit);
    CsvWriter csv;
    csv.addRow({m_user ? m_user->fullName() : QString()});
    csv.addRow(header);
    for (const Year &year : m_years) {
        QVariantList fields {year.year};
        for (double dose : year.months)
            fields << dose;
        fields << year.total;
        csv.addRow(fields);
    }
    QVariantList total {tr("Всего")};
    for (int month = 0; month < 12; ++month)
        total << QString();
    total << m_lifetime;
    csv.addRow(total);
    return csv;
}
