#pragma once

#include "db/SharedTypes.h"

#include <QDate>
#include <QMetaType>
#include <QPixmap>
#include <QString>

// A person whose doses are kept; also the account of operators and
// administrators. Records are created and changed only by the data store.
struct User
{
    // Roles derived from the access bits.
    enum Role { Administrator = 1, Operator = 2, PlainUser = 3 };
    // Bits of the `access` column of Users.
    enum AccessBit { AccessDeviceUse = 1, AccessOperator = 2, AccessAdministrator = 128 };
    enum Sex { Male = 1, Female = 2 };

    // The birthday is today until set.
    explicit User(int id = 0, int role = PlainUser, int sex = Male);
    // With a known birthday (asking the clock costs a time-zone look-up).
    User(int id, int role, int sex, const QDate &birthday);

    int id = 0;
    QString firstname;
    QString middlename;
    QString surname;
    QString department;
    QString comment;
    QString login; // empty for role 3
    QString password; // empty for role 3; plain text
    int role = PlainUser;
    int sex = Male;
    QPixmap photo; // null when there is none
    QDate birthday;
    bool canUseDevice = false;
    QString usageReason; // why device use is not allowed
    QList<SharedGroup> groups;
    SharedDevice device;

    // "Surname Firstname[ Middlename]".
    QString fullName() const;
    bool isAdministrator() const { return role == Administrator; }
    // Group rights of this user: the OR of the access values of all its groups.
    int rights() const;
    // Role derived from the access bits of a Users row.
    static int roleFromAccess(int access);
};

Q_DECLARE_METATYPE(SharedUser)
