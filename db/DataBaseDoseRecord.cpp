// The dose of record: its settings, its derived tables and its sums.

#include "db/DataBase.h"

#include "db/AuditDetails.h"
#include "db/AuditOperation.h"
#include "db/DoseRecordSync.h"
#include "db/DoseUnits.h"
#include "db/SqlDialect.h"
#include "db/Transaction.h"

#include <QDebug>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace VDB {

namespace {

const char CreateSettings[]
    = "CREATE TABLE IF NOT EXISTS OfficeSettings (name TEXT NOT NULL PRIMARY KEY, value TEXT)";

// Users are summed in slices that stay below the engine's limit of bound
// parameters.
const int MaxUsersPerStatement = 10000;

QString dateText(const QDate &date)
{
    return date.toString(Qt::ISODate);
}

// "yyyy-MM" -> year * 12 + month - 1; -1 when it is no month.
int monthKey(const QString &text)
{
    const QDate month = QDate::fromString(text + QStringLiteral("-01"), Qt::ISODate);
    return month.isValid() ? month.year() * 12 + month.month() - 1 : -1;
}

std::function<void(int)> g_progress;

} // namespace

void DataBase::setLongWorkProgress(std::function<void(int percent)> progress)
{
    g_progress = std::move(progress);
}

void DataBase::ensureDoseRecord()
{
    // A file that has never had the tables (one made by another program)
    // gets them computed from all its readings: that may take a while.
    QSqlQuery probe(connection());
    const bool first = !probe.exec(QStringLiteral("SELECT name FROM DoseRecordState"));
    probe.finish();
    if (first && g_progress)
        g_progress(-1);
    Transaction transaction(operationConnection());
    DoseRecordSync sync(connection());
    sync.setProgress(g_progress);
    // Workstations starting together would otherwise deadlock on a server:
    // creating the tables' indexes share-locks them before the first write.
    m_doseRecordReady = lockEventWrites()
        && exec(SqlDialect::definition(connection(), CreateSettings)) && sync.createTables()
        && sync.update() && transaction.commit();
    if (!m_doseRecordReady) {
        transaction.rollback();
        qDebug() << "Dose record not available:" << sync.errorText() << m_error;
    }
    if (g_progress)
        g_progress(100);
    loadDoseSettings();
}

bool DataBase::syncDoseRecord()
{
    if (!m_doseRecordReady)
        return true;
    if (!lockEventWrites())
        return false;
    DoseRecordSync sync(connection());
    if (sync.update())
        return true;
    m_error = sync.errorText();
    return false;
}

bool DataBase::refreshDoseRecord()
{
    if (!m_doseRecordReady)
        return false;
    // Views call this before they read, so a lost server is found here too.
    DoseRecordSync sync(operationConnection());
    if (!sync.isBehind())
        return true;
    Transaction transaction(connection());
    if (!lockEventWrites() || !sync.update() || !transaction.commit()) {
        qDebug() << "Dose record not brought up to date:" << sync.errorText();
        return false;
    }
    emit doseRecordChanged();
    return true;
}

void DataBase::loadDoseSettings()
{
    m_doseSettings = DoseRecordSettings();
    QSqlQuery query(connection());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT name, value FROM OfficeSettings")))
        return;
    while (query.next()) {
        const QString name = query.value(0).toString();
        bool ok = false;
        const double value = query.value(1).toString().toDouble(&ok);
        if (!ok)
            continue;
        if (name == QLatin1String("countReadings"))
            m_doseSettings.countReadings = value != 0;
        else if (name == QLatin1String("annualLimit") && value > 0)
            m_doseSettings.annualLimit = value;
        else if (name == QLatin1String("fiveYearLimit") && value > 0)
            m_doseSettings.fiveYearLimit = value;
        else if (name == QLatin1String("singleYearLimit") && value > 0)
            m_doseSettings.singleYearLimit = value;
    }
}

bool DataBase::updateDoseSettings(const DoseRecordSettings &settings)
{
    Transaction transaction(operationConnection());
    QSqlQuery query(connection());
    if (!exec(SqlDialect::definition(connection(), CreateSettings))
        || !prepare(query,
                    QStringLiteral("INSERT INTO OfficeSettings (name, value) VALUES (?, ?) ON "
                                   "CONFLICT (name) DO UPDATE SET value = excluded.value")))
        return false;
    const QPair<const char *, double> values[] = {
        {"countReadings", settings.countReadings ? 1.0 : 0.0},
        {"annualLimit", settings.annualLimit},
        {"fiveYearLimit", settings.fiveYearLimit},
        {"singleYearLimit", settings.singleYearLimit},
    };
    for (const auto &value : values) {
        query.bindValue(0, QString::fromLatin1(value.first));
        query.bindValue(1, QString::number(value.second, 'g', 15));
        if (!exec(query))
            return false;
    }
    query.finish();
    if (!recordAudit(AuditOperation::DoseSettingsChanged, QString(),
                     AuditDetails::doseSettings(settings))
        || !transaction.commit())
        return false;
    const bool changed = settings != m_doseSettings;
    m_doseSettings = settings;
    if (changed)
        emit doseRecordChanged();
    return true;
}

bool DataBase::countsReadings() const
{
    return m_doseSettings.countReadings && m_doseRecordReady;
}

double DataBase::readingDoseSum(const QDate &start, const QDate &end,
                                const QList<int> &userIds) const
{
    if (!countsReadings())
        return 0;
    double sum = 0;
    int first = 0;
    do {
        const int count = qMin(MaxUsersPerStatement, userIds.size() - first);
        QString sql = QStringLiteral("SELECT SUM(dose) FROM DoseDays WHERE day >= ? AND day < ?");
        if (count > 0) {
            sql += QStringLiteral(" AND (userId = ?");
            for (int i = 1; i < count; ++i)
                sql += QStringLiteral(" OR userId = ?");
            sql += QLatin1Char(')');
        }
        QSqlQuery &query = statement(sql);
        query.addBindValue(dateText(start));
        query.addBindValue(dateText(end));
        for (int i = first; i < first + count; ++i)
            query.addBindValue(userIds.at(i));
        sum += doseSum(query);
        query.finish();
        first += count;
    } while (first < userIds.size());
    return sum;
}

QVector<DayDose> DataBase::userDailyDoses(const SharedUser &user, const QDate &first,
                                          const QDate &last) const
{
    QVector<DayDose> days;
    if (!user || !first.isValid() || !last.isValid() || last < first)
        return days;
    days.resize(int(first.daysTo(last)) + 1);
    for (int i = 0; i < days.size(); ++i)
        days[i].day = first.addDays(i);
    const auto at = [&days, &first](const QString &text) -> DayDose * {
        const qint64 index = first.daysTo(QDate::fromString(text, Qt::ISODate));
        return index >= 0 && index < days.size() ? &days[int(index)] : nullptr;
    };

    // Kept prepared, as userEvents(): every user page asks.
    QSqlQuery &records = statement(QStringLiteral(
        "SELECT substr(dateTime, 1, 10), SUM(value) FROM Events WHERE userId = ? AND eventType = ? "
        "AND dateTime >= ? AND dateTime < ? GROUP BY substr(dateTime, 1, 10)"));
    records.addBindValue(user->id);
    records.addBindValue(int(EventDose));
    records.addBindValue(dateText(first));
    records.addBindValue(dateText(last.addDays(1)));
    if (records.exec()) {
        while (records.next()) {
            if (DayDose *day = at(records.value(0).toString()))
                day->dose += records.value(1).toDouble();
        }
    }
    records.finish();
    if (m_doseRecordReady) {
        QSqlQuery &readings
            = statement(QStringLiteral("SELECT day, SUM(dose), MAX(maxRate) FROM DoseDays WHERE "
                                       "userId = ? AND day >= ? AND day < ? GROUP BY day"));
        readings.addBindValue(user->id);
        readings.addBindValue(dateText(first));
        readings.addBindValue(dateText(last.addDays(1)));
        if (readings.exec()) {
            const bool counted = countsReadings();
            while (readings.next()) {
                DayDose *day = at(readings.value(0).toString());
                if (!day)
                    continue;
                if (counted)
                    day->dose += readings.value(1).toDouble();
                if (!readings.isNull(2))
                    day->maxRate = readings.value(2).toDouble();
            }
        }
        readings.finish();
    }
    for (DayDose &day : days)
        day.dose = toDisplayDose(day.dose);
    return days;
}

QHash<int, double> DataBase::userDoseTotals(const QDate &first, const QDate &last) const
{
    QHash<int, double> totals;
    const QHash<int, QMap<int, double>> sums = doseSums(first, last, SharedUser(), false);
    for (auto it = sums.cbegin(); it != sums.cend(); ++it)
        totals.insert(it.key(), it.value().value(0));
    return totals;
}

QHash<int, QMap<int, double>> DataBase::userMonthDoses(const QDate &first, const QDate &last,
                                                       const SharedUser &user) const
{
    return doseSums(first, last, user, true);
}

QHash<int, QMap<int, double>> DataBase::doseSums(const QDate &first, const QDate &last,
                                                 const SharedUser &user, bool perMonth) const
{
    QHash<int, QMap<int, double>> months;
    const QString from = first.isValid() ? dateText(first) : QString();
    const QString to = last.isValid() ? dateText(last.addDays(1)) : QString();
    // Only the bounds that are given, and the user when one is.
    const auto conditions = [&](const char *column) {
        QString sql;
        if (!from.isEmpty())
            sql += QStringLiteral(" AND %1 >= ?").arg(QLatin1String(column));
        if (!to.isEmpty())
            sql += QStringLiteral(" AND %1 < ?").arg(QLatin1String(column));
        if (user)
            sql += QStringLiteral(" AND userId = ?");
        return sql;
    };
    // Bounds as dates, or as months ("yyyy-MM") for the monthly table.
    const auto read = [&](QSqlQuery &query, int length) {
        if (!from.isEmpty())
            query.addBindValue(from.left(length));
        if (!to.isEmpty())
            query.addBindValue(to.left(length));
        if (user)
            query.addBindValue(user->id);
        if (!query.exec())
            return;
        while (query.next()) {
            const int month = perMonth ? monthKey(query.value(1).toString()) : 0;
            if (month >= 0)
                months[query.value(0).toInt()][month] += query.value(2).toDouble();
        }
    };

    // Totals group by user alone: a month in the grouping costs a sort of
    // every row in the range.
    const auto month = [perMonth](const QString &expression) {
        return perMonth ? expression : QStringLiteral("''");
    };
    const auto groupBy = [perMonth](const QString &expression) {
        return perMonth ? QStringLiteral(" GROUP BY userId, ") + expression
                        : QStringLiteral(" GROUP BY userId");
    };
    const QString recordMonth = QStringLiteral("substr(dateTime, 1, 7)");
    const QString readingMonth = QStringLiteral("substr(day, 1, 7)");
    const QString wholeMonth = QStringLiteral("month");

    QSqlQuery records(connection());
    records.setForwardOnly(true);
    records.prepare(QStringLiteral("SELECT userId, %1, SUM(value) FROM Events "
                                   "WHERE eventType = %2 AND userId IS NOT NULL")
                        .arg(month(recordMonth))
                        .arg(int(EventDose))
                    + conditions("dateTime") + groupBy(recordMonth));
    read(records, 10);
    if (countsReadings()) {
        // Whole months come from the monthly table, a few rows per user and
        // year instead of one per day.
        const bool wholeMonths = (!first.isValid() || first.day() == 1)
            && (!last.isValid() || last.addDays(1).day() == 1);
        QSqlQuery readings(connection());
        readings.setForwardOnly(true);
        if (wholeMonths) {
            readings.prepare(QStringLiteral("SELECT userId, %1, SUM(dose) FROM DoseMonths WHERE "
                                            "userId IS NOT NULL")
                                 .arg(month(wholeMonth))
                             + conditions("month") + groupBy(wholeMonth));
        } else {
            readings.prepare(QStringLiteral("SELECT userId, %1, SUM(dose) FROM DoseDays WHERE "
                                            "userId IS NOT NULL")
                                 .arg(month(readingMonth))
                             + conditions("day") + groupBy(readingMonth));
        }
        read(readings, wholeMonths ? 7 : 10);
    }
    for (QMap<int, double> &perUser : months) {
        for (double &dose : perUser)
            dose = toDisplayDose(dose);
    }
    return months;
}

} // namespace VDB
