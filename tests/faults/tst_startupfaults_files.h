#pragma once

#include <QByteArray>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>

// Database files for the start-up fault tests, written with a connection of
// their own so that the data store under test never sees them being made.
namespace StartupFaultFiles {

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(bytes) == bytes.size();
}

// Runs `statements` in order on the SQLite file at `path`; false at the
// first that fails.
inline bool runSql(const QString &path, const QStringList &statements)
{
    const QString name = QStringLiteral("startup-faults-files");
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        ok = db.open();
        for (int i = 0; ok && i < statements.size(); ++i) {
            QSqlQuery query(db);
            ok = query.exec(statements.at(i));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

// The first column of every row of `sql`.
inline QVariantList column(const QString &path, const QString &sql)
{
    const QString name = QStringLiteral("startup-faults-check");
    QVariantList values;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(sql)) {
                while (query.next())
                    values << query.value(0);
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return values;
}

} // namespace StartupFaultFiles
