#pragma once

#include <QDate>
#include <QString>

namespace VDB {

// Which audit entries to read; an empty part does not restrict.
struct AuditFilter
{
    QDate from; // first day, inclusive
    QDate to; // last day, inclusive
    QString login;
    QString operation; // an AuditOperation code
};

} // namespace VDB
