#pragma once

#include <QDateTime>
#include <QString>

namespace VDB {

// One row of the audit trail.
struct AuditEntry
{
    qint64 id = 0;
    QDateTime dateTime;
    QString login; // the operator, or the login typed at a failed login
    QString workstation;
    QString operation; // an AuditOperation code
    QString object; // user, group, dosimeter or threshold the change concerns
    QString details; // the essentials of the change
};

} // namespace VDB
