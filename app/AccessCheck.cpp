#include "app/AccessCheck.h"

#include "db/DataBase.h"

#include <QMessageBox>

bool hasAccess(const SharedUser &user, int operation)
{
    if (!user || operation < AccessOperation::AddUser || operation > AccessOperation::DeviceSettings)
        return false;
    if (user->role == User::Administrator)
        return true;
    switch (operation) {
    case AccessOperation::ProgramSettings:
        return user->rights() & Group::ProgramSettings;
    case AccessOperation::AssignDevice:
        return user->rights() & Group::AssignDevices;
    case AccessOperation::DeviceSettings:
        return user->rights() & Group::DeviceSettings;
    default:
        return false;
    }
}

bool checkAccess(int operation, QWidget *parent)
{
    if (hasAccess(VDB::DataBase::instance()->currentUser(), operation))
        return true;
    QMessageBox::critical(parent, QObject::tr("Сообщение системы безопасности"),
                          QObject::tr("У вас нет прав на выполнение операции"));
    return false;
}
