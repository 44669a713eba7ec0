#pragma once

#include "db/DoseRecordSettings.h"
#include "db/Options.h"
#include "db/SharedTypes.h"
#include "db/ThresholdData.h"
#include "db/User.h"

#include <QCoreApplication>
#include <QString>

namespace VDB {

// The texts the audit trail keeps about the records a change concerns:
// short, readable by a person, never a password.
class AuditDetails
{
    Q_DECLARE_TR_FUNCTIONS(AuditDetails)

public:
    // "Surname Firstname Middlename (login)".
    static QString user(const User &user);
    // Role, groups and device use of a new user.
    static QString newUser(const User &data);
    // "field: old → new" for every field an edit changes; a new password is
    // only said to be new.
    static QString userChanges(const User &before, const User &after);
    static QString groupRights(int access);
    static QString groupChanges(const Group &before, const QString &name,
                                const QString &description, int access);
    // "TM4040 № 8009".
    static QString device(const QString &typeName, int serial);
    static QString threshold(const ThresholdData &data);
    static QString options(const Options &options);
    static QString doseSettings(const DoseRecordSettings &settings);
    static QString groupNames(const QList<SharedGroup> &groups);
    static QString yesNo(bool value);
};

} // namespace VDB
