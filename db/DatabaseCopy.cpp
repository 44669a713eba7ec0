#include "db/DatabaseCopy.h"

#include "db/ConnectionString.h"
#include "db/DataBase.h"
#include "db/SqlDialect.h"
#include "db/Transaction.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

namespace VDB {

namespace {

const char SourceConnection[] = "orvane_copy_source";

QString openSource(const QString &from)
{
    QSqlDatabase db;
    if (ConnectionString::isServer(from)) {
        const ConnectionString server = ConnectionString::parse(from);
        if (!server.isValid())
            return server.error();
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QLatin1String(SourceConnection));
        server.apply(db);
    } else {
        if (!QFileInfo(from).isFile())
            return DatabaseCopy::tr("Файл базы данных не найден: %1")
                .arg(QDir::toNativeSeparators(from));
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QLatin1String(SourceConnection));
        db.setDatabaseName(from);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    }
    return db.open() ? QString() : db.lastError().text();
}

// The target's name for a table of the source: the server folds names to
// lower case.
QString matching(const QStringList &names, const QString &name)
{
    for (const QString &candidate : names) {
        if (candidate.compare(name, Qt::CaseInsensitive) == 0)
            return candidate;
    }
    return QString();
}

QString quoted(const QString &name)
{
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QLatin1String("\"\""))
        + QLatin1Char('"');
}

bool isNumber(QVariant::Type type)
{
    return type == QVariant::Double || type == QVariant::Int || type == QVariant::LongLong;
}

// The columns that hold numbers on both sides (SQLite keeps date-times as
// text even in columns it calls INTEGER).
QStringList numberColumns(const QSqlRecord &source, const QSqlRecord &target)
{
    QStringList out;
    for (int i = 0; i < source.count(); ++i) {
        const int other = target.indexOf(source.fieldName(i));
        if (other >= 0 && isNumber(source.field(i).type()) && isNumber(target.field(other).type()))
            out << source.fieldName(i).toLower();
    }
    return out;
}

// Row count and the sum of every number column, as one line of text that
// must read the same on both sides.
QString figures(const QSqlDatabase &db, const QString &table, const QStringList &numbers,
                QString *error)
{
    QStringList sums {QStringLiteral("count(*)")};
    for (const QString &column : numbers)
        sums << QStringLiteral("sum(%1)").arg(quoted(column));
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT %1 FROM %2").arg(sums.join(','), quoted(table)))
        || !query.next()) {
        *error = query.lastError().text();
        return QString();
    }
    QStringList out {QStringLiteral("%1 rows").arg(query.value(0).toLongLong())};
    for (int i = 0; i < numbers.size(); ++i) {
        // Sums of reals differ in the last digits with the order of adding (the
        // server adds more exactly): ten significant digits must agree.
        out << QStringLiteral("%1 %2")
                   .arg(numbers.at(i))
                   .arg(query.value(i + 1).toDouble(), 0, 'g', 10);
    }
    return out.join(QLatin1String(", "));
}

QString copyTable(const QSqlDatabase &source, const QSqlDatabase &target, const QString &from,
                  const QString &to)
{
    const QSqlRecord targetColumns = target.record(to);
    QSqlQuery rows(source);
    rows.setForwardOnly(true);
    if (!rows.exec(QStringLiteral("SELECT * FROM %1").arg(quoted(from))))
        return rows.lastError().text();
    const QSqlRecord columns = rows.record();
    QStringList names;
    QStringList marks;
    for (int i = 0; i < columns.count(); ++i) {
        if (targetColumns.indexOf(columns.fieldName(i)) < 0)
            return DatabaseCopy::tr("В базе назначения нет столбца %1.%2")
                .arg(from, columns.fieldName(i));
        names << quoted(columns.fieldName(i).toLower());
        marks << QStringLiteral("?");
    }
    QSqlQuery clear(target);
    if (!clear.exec(QStringLiteral("DELETE FROM %1").arg(quoted(to))))
        return clear.lastError().text();
    QSqlQuery insert(target);
    if (!insert.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                            .arg(quoted(to), names.join(','), marks.join(','))))
        return insert.lastError().text();
    while (rows.next()) {
        for (int i = 0; i < columns.count(); ++i) {
            const QVariant value = rows.value(i);
            // SQLite keeps what it is given, bytes as bytes; a server's text
            // column wants text.
            const bool asText = SqlDialect::isServer(target) && !value.isNull()
                && value.type() != QVariant::ByteArray
                && targetColumns.field(columns.fieldName(i)).type() == QVariant::String;
            insert.bindValue(i, asText ? QVariant(value.toString()) : value);
        }
        if (!insert.exec())
            return insert.lastError().text();
    }
    return QString();
}

QString resetSequences(const QSqlDatabase &target, const QStringList &tables)
{
    if (!SqlDialect::isServer(target))
        return QString(); // SQLite follows the highest id by itself
    for (const QString &table : tables) {
        if (target.record(table).indexOf(QStringLiteral("id")) < 0)
            continue;
        QSqlQuery query(target);
        if (!query.exec(QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', 'id'), "
                                       "COALESCE(max(id), 0) + 1, false) FROM %2")
                            .arg(table, quoted(table))))
            return query.lastError().text();
    }
    return QString();
}

} // namespace

QString DatabaseCopy::run(const QString &from, const QString &to, QStringList *report)
{
    QString problem = openSource(from);
    const bool newFile = !ConnectionString::isServer(to) && !QFileInfo::exists(to);
    QStringList made; // the target's tables, dropped again on failure
    if (problem.isEmpty()) {
        DataBase::setFileName(to);
        DataBase *store = DataBase::instance();
        if (!store->isOpen())
            problem = tr("База данных назначения недоступна: %1").arg(store->displayName());
        else if (!store->isEmpty())
            problem = tr("База данных назначения не пуста: %1. Копирование возможно только в "
                         "пустую базу данных")
                          .arg(store->displayName());
        else if (DataBase::openOrCreate(false).code != 0)
            problem = tr("Не удалось создать таблицы в базе назначения");
    }
    if (problem.isEmpty()) {
        const QSqlDatabase source = QSqlDatabase::database(QLatin1String(SourceConnection));
        const QSqlDatabase target = QSqlDatabase::database();
        QStringList sourceTables;
        QSqlError error;
        SqlDialect::tables(source, &sourceTables, &error);
        SqlDialect::tables(target, &made, &error);
        sourceTables.sort(Qt::CaseInsensitive);
        Transaction transaction(target);
        QStringList copied;
        for (const QString &table : qAsConst(sourceTables)) {
            const QString name = matching(made, table);
            problem = name.isEmpty() ? tr("В базе назначения нет таблицы %1").arg(table)
                                     : copyTable(source, target, table, name);
            if (!problem.isEmpty())
                break;
            copied << name;
        }
        if (problem.isEmpty())
            problem = resetSequences(target, copied);
        // Both sides must tell the same figures before anything is kept.
        for (int i = 0; problem.isEmpty() && i < sourceTables.size(); ++i) {
            const QStringList numbers
                = numberColumns(source.record(sourceTables.at(i)), target.record(copied.at(i)));
            const QString was = figures(source, sourceTables.at(i), numbers, &problem);
            const QString is = figures(target, copied.at(i), numbers, &problem);
            if (problem.isEmpty() && was != is)
                problem = tr("Копия таблицы %1 не совпадает с исходной: %2 / %3")
                              .arg(sourceTables.at(i), was, is);
            *report << QStringLiteral("%1: %2").arg(sourceTables.at(i), is);
        }
        if (problem.isEmpty() && !transaction.commit())
            problem = transaction.errorText();
    }
    QSqlDatabase::removeDatabase(QLatin1String(SourceConnection));
    if (problem.isEmpty()) {
        // The planner's figures for the tables just filled, which the server
        // would otherwise gather only a while later: until then the first
        // workstations would read with plans made for empty tables.
        if (DataBase::instance()->isServer())
            QSqlQuery(QSqlDatabase::database()).exec(QStringLiteral("ANALYZE"));
        DataBase::destroyInstance();
        return QString();
    }
    report->clear();
    // Nothing of the failed copy stays.
    if (DataBase::instance()->isOpen() && !made.isEmpty()) {
        QSqlQuery drop(QSqlDatabase::database());
        for (const QString &table : qAsConst(made))
            drop.exec(QStringLiteral("DROP TABLE IF EXISTS %1%2")
                          .arg(quoted(table),
                               DataBase::instance()->isServer() ? QStringLiteral(" CASCADE")
                                                                : QString()));
    }
    DataBase::destroyInstance();
    if (newFile)
        QFile::remove(to);
    return problem;
}

} // namespace VDB
