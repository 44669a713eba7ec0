#include "dose/AnnualDoseSummary.h"

#include "db/DataBase.h"
#include "db/DoseUnits.h"
#include "dose/DoseText.h"
#include "report/CsvWriter.h"

#include <QCollator>
#include <QLocale>
#include <algorithm>

namespace {

QString groupNames(const User &user)
{
    QStringList names;
    for (const SharedGroup &group : user.groups)
        names << group->name;
    return names.join(QStringLiteral(", "));
}

QString monthHeader(int month)
{
    QString name = QLocale(QLocale::Russian).standaloneMonthName(month);
    name[0] = name.at(0).toUpper();
    return name;
}

} // namespace

const QVector<double> &AnnualDoseSummary::bandLimits()
{
    static const QVector<double> limits {1, 2, 5, 10, 20, 50};
    return limits;
}

int AnnualDoseSummary::bandOf(double annualMilliSievert)
{
    const QVector<double> &limits = bandLimits();
    int band = 0;
    while (band < limits.size() && annualMilliSievert > limits.at(band))
        ++band;
    return band;
}

AnnualDoseSummary::AnnualDoseSummary(int year, const SharedGroup &group)
    : m_year(year)
    , m_group(group)
{
    VDB::DataBase *db = VDB::DataBase::instance();
    db->refreshDoseRecord();
    const QDate last(year, 12, 31);
    const QHash<int, QMap<int, double>> months = db->userMonthDoses(QDate(year, 1, 1), last);
    const QHash<int, double> fiveYears = db->userDoseTotals(QDate(year - 4, 1, 1), last);
    const QHash<int, double> lifetime = db->userDoseTotals(QDate(), last);

    const DoseRecordSettings &limits = db->doseSettings();
    const double annualLimit = toDisplayDose(limits.annualLimit);
    const double singleYearLimit = toDisplayDose(limits.singleYearLimit);
    const double fiveYearLimit = toDisplayDose(limits.fiveYearLimit);

    QList<SharedUser> users = group ? group->users : db->users();
    QCollator collator(QLocale(QLocale::Russian));
    std::stable_sort(users.begin(), users.end(),
                     [&collator](const SharedUser &a, const SharedUser &b) {
                         return collator.compare(a->fullName(), b->fullName()) < 0;
                     });
    for (const SharedUser &user : qAsConst(users)) {
        Row row;
        row.user = user;
        const auto perMonth = months.constFind(user->id);
        if (perMonth != months.constEnd()) {
            row.wearer = true;
            for (auto it = perMonth->cbegin(); it != perMonth->cend(); ++it) {
                const int month = it.key() - year * 12;
                if (month >= 0 && month < 12) {
                    row.months[month] += it.value();
                    row.year += it.value();
                }
            }
        }
        row.fiveYears = fiveYears.value(user->id);
        row.lifetime = lifetime.value(user->id);
        if (row.year > annualLimit)
            row.marks |= OverAnnual;
        if (row.year > singleYearLimit)
            row.marks |= OverSingleYear;
        if (row.fiveYears > fiveYearLimit)
            row.marks |= OverFiveYears;
        m_rows.append(row);
    }

    const QVector<double> &bounds = bandLimits();
    m_bands.append({tr("до %1").arg(bounds.first()), 0, 0});
    for (int i = 1; i < bounds.size(); ++i)
        m_bands.append({QStringLiteral("%1–%2").arg(bounds.at(i - 1)).arg(bounds.at(i)), 0, 0});
    m_bands.append({tr("свыше %1").arg(bounds.last()), 0, 0});
    for (const Row &row : qAsConst(m_rows)) {
        if (!row.wearer)
            continue;
        Band &band = m_bands[bandOf(toStoredDose(row.year))];
        ++band.persons;
        band.collectiveDose += row.year;
    }
}

int AnnualDoseSummary::wearers() const
{
    int count = 0;
    for (const Band &band : m_bands)
        count += band.persons;
    return count;
}

double AnnualDoseSummary::collectiveDose() const
{
    double sum = 0;
    for (const Band &band : m_bands)
        sum += band.collectiveDose;
    return sum;
}

QString AnnualDoseSummary::markText(int marks)
{
    const DoseRecordSettings &limits = VDB::DataBase::instance()->doseSettings();
    const auto limit = [](double stored) {
        return DoseText::compact(toDisplayDose(stored));
    };
    QStringList parts;
    if (marks & OverSingleYear)
        parts << tr("год > %1").arg(limit(limits.singleYearLimit));
    else if (marks & OverAnnual)
        parts << tr("год > %1").arg(limit(limits.annualLimit));
    if (marks & OverFiveYears)
        parts << tr("5 лет > %1").arg(limit(limits.fiveYearLimit));
    return parts.join(QStringLiteral(", "));
}

QString AnnualDoseSummary::limitsText()
{
    const DoseRecordSettings &limits = VDB::DataBase::instance()->doseSettings();
    const QString unit = DoseUnits::currentMilliUnitName();
    return tr("Пределы: %1 %4 за год, %2 %4 за 5 лет, не более %3 %4 в любой год")
        .arg(DoseText::compact(toDisplayDose(limits.annualLimit)),
             DoseText::compact(toDisplayDose(limits.fiveYearLimit)),
             DoseText::compact(toDisplayDose(limits.singleYearLimit)), unit);
}

CsvWriter AnnualDoseSummary::annualCsv() const
{
    const QString unit = DoseUnits::currentMilliUnitName();
    QVariantList header {tr("Код"), tr("Пользователь"), tr("Группы")};
    for (int month = 1; month <= 12; ++month)
        header << QStringLiteral("%1, %2").arg(monthHeader(month), unit);
    header << tr("За %1 год, %2").arg(m_year).arg(unit)
           << tr("За %1–%2 годы, %3").arg(m_year - 4).arg(m_year).arg(unit)
           << tr("Всего по %1 год, %2").arg(m_year).arg(unit) << tr("Превышение");
    CsvWriter csv;
    csv.addRow(header);
    for (const Row &row : m_rows) {
        QVariantList fields {row.user->id, row.user->fullName(), groupNames(*row.user)};
        for (double dose : row.months)
            fields << dose;
        fields << row.year << row.fiveYears << row.lifetime << markText(row.marks);
        csv.addRow(fields);
    }
    return csv;
}

CsvWriter AnnualDoseSummary::bandsCsv() const
{
    CsvWriter csv;
    csv.addRow({tr("Годовая доза за %1 год, мЗв").arg(m_year), tr("Число лиц"),
                tr("Коллективная доза, чел.·%1").arg(DoseUnits::currentMilliUnitName())});
    for (const Band &band : m_bands)
        csv.addRow({band.name, band.persons, band.collectiveDose});
    csv.addRow({tr("Всего"), wearers(), collectiveDose()});
    return csv;
}
