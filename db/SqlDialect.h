#pragma once

#include <QString>
#include <QStringList>

class QSqlDatabase;
class QSqlError;

namespace VDB {

// The few places where the two engines need different SQL. Everything else
// is one statement text for both: plain identifiers (the server folds them to
// lower case, SQLite ignores case), "INSERT ... RETURNING id" for new ids and
// "ON CONFLICT DO NOTHING" for rows that may already be there.
namespace SqlDialect {

// Whether the connection goes to a PostgreSQL server.
bool isServer(const QSqlDatabase &db);
// A table or index definition written for SQLite, made fit for the
// connection's engine: on the server, text compares byte by byte as it does
// in SQLite, whatever the server's collation, so date-time ranges bound by
// plain dates select the same rows.
QString definition(const QSqlDatabase &db, const char *sql);
// The names of the connection's tables without the engine's own; false when
// they cannot be read (a file that is not a database).
bool tables(const QSqlDatabase &db, QStringList *names, QSqlError *error);
// The creation script of the connection's engine.
QString creationScript(const QSqlDatabase &db);

} // namespace SqlDialect

} // namespace VDB
