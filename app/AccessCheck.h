#pragma once

#include "db/SharedTypes.h"

class QWidget;

// The operations guarded by checkAccess(), by their codes.
namespace AccessOperation {
enum Code : int {
    AddUser = 0,
    EditUser = 1,
    DeleteUser = 2,
    AddGroup = 3,
    EditGroup = 4,
    DeleteGroup = 5,
    ProgramSettings = 6,
    AssignDevice = 7,
    DeviceSettings = 8,
};
} // namespace AccessOperation

// Whether `user` may perform `operation` (an AccessOperation code). An
// administrator may perform every known operation whatever the groups say;
// no user and unknown codes are never allowed.
bool hasAccess(const SharedUser &user, int operation);

// Whether the logged-in user may perform `operation`. On refusal it has
// already told the operator, with `parent` as the message box's parent.
bool checkAccess(int operation, QWidget *parent);
