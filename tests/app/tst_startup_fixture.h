#pragma once

#include <QApplication>
#include <QByteArray>
#include <QDialog>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariant>
#include <functional>

// Helpers shared by the start-up tests: database files of known content and
// a guard that closes any modal window that should not have opened.
namespace StartupFixture {

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(bytes) == bytes.size();
}

// Runs `statements` on a private connection to the SQLite file at `path`,
// creating it when missing; the connection is closed again afterwards.
inline bool runSql(const QString &path, const QStringList &statements)
{
    const QString name = QStringLiteral("startup-fixture");
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        ok = db.open();
        for (const QString &statement : statements) {
            if (!ok)
                break;
            QSqlQuery query(db);
            ok = query.exec(statement);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

// The first column of every row of `sql` run on the SQLite file at `path`.
inline QVariantList column(const QString &path, const QString &sql)
{
    const QString name = QStringLiteral("startup-check");
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

inline qlonglong count(const QString &path, const QString &table)
{
    const QVariantList values
        = column(path, QStringLiteral("SELECT count(*) FROM '%1'").arg(table));
    return values.isEmpty() ? -1 : values.first().toLongLong();
}

// Closes every modal window that opens while it lives and remembers that one
// did: for flows that must not ask anything.
class UnexpectedModalGuard
{
public:
    UnexpectedModalGuard()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this]() {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                m_titles << modal->windowTitle();
                if (auto *dialog = qobject_cast<QDialog *>(modal))
                    dialog->reject();
                else
                    modal->close();
            }
        });
        m_timer.start(5);
    }
    QStringList titles() const { return m_titles; }

private:
    QTimer m_timer;
    QStringList m_titles;
};

} // namespace StartupFixture
