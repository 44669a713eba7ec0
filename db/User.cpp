#include "db/User.h"

#include "db/Group.h"

User::User(int id, int role, int sex)
    : User(id, role, sex, QDate::currentDate())
{ }

User::User(int id, int role, int sex, const QDate &birthday)
    : id(id)
    , role(role)
    , sex(sex)
    , birthday(birthday)
{ }

QString User::fullName() const
{
    QString name = surname + QLatin1Char(' ') + firstname;
    if (!middlename.isEmpty())
        name += QLatin1Char(' ') + middlename;
    return name;
}

int User::rights() const
{
    int rights = 0;
    for (const SharedGroup &group : groups)
        rights |= group->access;
    return rights;
}

int User::roleFromAccess(int access)
{
    if (access & AccessAdministrator)
        return Administrator;
    if (access & AccessOperator)
        return Operator;
    return PlainUser;
}
