#pragma once

#include <QList>
#include <QSharedPointer>

// Forward declarations of the shared records. The record headers declare the
// meta-types (User.h, Group.h, Threshold.h, UserDevice.h); include those where
// a value travels through QVariant or a queued connection.
struct User;
struct Group;
struct Threshold;
struct UserDevice;
struct DeviceType;

using SharedUser = QSharedPointer<User>;
using SharedGroup = QSharedPointer<Group>;
using SharedThreshold = QSharedPointer<Threshold>;
using SharedDevice = QSharedPointer<UserDevice>;
