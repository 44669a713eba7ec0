#include "app/AccessCheck.h"

#include "db/DataBase.h"
#include "db/Group.h"
#include "db/User.h"

#include <QCoreApplication>
#include <QMessageBox>

bool hasAccess(const SharedUser &user, int operation)
{
    if (!user || operation < AccessOperation::AddUser
        || operation > AccessOperation::DeviceSettings)
        return false;
    if (user->isAdministrator())
        return true;
    // Computed afresh each time, so a change of a group's rights applies at once.
    const int rights = user->rights();
    switch (operation) {
    case AccessOperation::ProgramSettings:
        return rights & Group::ProgramSettings;
    case AccessOperation::AssignDevice:
        return rights & Group::AssignDevices;
    case AccessOperation::DeviceSettings:
        return rights & Group::DeviceSettings;
    default:
        return false;
    }
}

bool checkAccess(int operation, QWidget *parent)
{
    if (hasAccess(VDB::DataBase::instance()->currentUser(), operation))
        return true;
    QMessageBox::critical(
        parent, QCoreApplication::translate("AccessCheck", "Сообщение системы безопасности"),
        QCoreApplication::translate("AccessCheck", "У вас нет прав на выполнение операции"));
    return false;
}
