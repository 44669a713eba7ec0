#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

namespace VDB {

// Moves an office's data: copies every row of one database into an empty
// other one, an SQLite file or a "postgresql://" server either way, with the
// ids kept. Before it reports success it compares the row count of every
// table and the sum of every number column on both sides; on any failure the
// target is left empty (a new file is removed again).
//
// Uses the data store's connection for the target: no store may be open.
class DatabaseCopy
{
    Q_DECLARE_TR_FUNCTIONS(DatabaseCopy)

public:
    // Empty on success, with one line per table in `report`; otherwise why
    // the copy failed or was refused.
    static QString run(const QString &from, const QString &to, QStringList *report);
};

} // namespace VDB
