#pragma once

#include "db/DataBase.h"

#include <QMainWindow>
#include <QScopedPointer>

class QAction;
class QTreeWidgetItem;
class GroupsAndUsersSummaryWidget;
class GroupDetailsWidget;
class UserDetailsWidget;
class DeviceDetailsWidget;
class DevicesSummaryWidget;
class DeviceConnection;

namespace Ui {
class OrvaneWindow;
}

// The program's main window: the tree of groups, users and device types on
// the left, the page of the tree's current item on the right, and every
// administrative and device operation in its menus and tool bar.
class OrvaneWindow : public QMainWindow
{
    Q_OBJECT
public:
    // Item data of componentsTreeWidget.
    enum ComponentRole {
        ComponentTypeRole = Qt::UserRole + 1,
        ComponentDataRole = Qt::UserRole + 2
    };
    enum ComponentType {
        UsersAndGroupsComponent = 0,
        GroupComponent = 1,
        UserComponent = 2,
        DevicesComponent = 3,
        DeviceComponent = 4
    };

    explicit OrvaneWindow(QWidget *parent = nullptr);
    ~OrvaneWindow() override;

public slots:
    void changeSettings();
    void editGroup();
    void delGroup();
    void delGroup(const SharedGroup &group);
    void editUser();
    void delUser();
    void about();
    void help();
    void exceededThreshoulds();
    void annualDoses();
    void deviceUsage();
    void editThresholds();
    void processDevice();
    void resetDeviceDose();
    void deviceSettings();
    void readDeviceHistory();
    void componentChanged(QTreeWidgetItem *current, QTreeWidgetItem *previous);
    void componentContextMenu(const QPoint &position);
    void selectUser(SharedUser user);
    void userAdded(const SharedUser &user);
    void userUpdated(const SharedUser &user);
    void userDeleted(const SharedUser &user);
    void groupAdded(const SharedGroup &group);
    void groupUpdated(const SharedGroup &group);
    void groupDeleted(const SharedGroup &group);

private:
    void fillComponentsTree();
    void showComponentWidget(int index);
    void deleteGroup(const SharedGroup &group);
    void updateDelGroupAction();
    // "Обработать" found a device assigned to nobody: says so and offers to
    // give it to a user.
    void offerAssignment(DeviceConnection *found);
    void showHelpProblem(const QString &text);

    QScopedPointer<Ui::OrvaneWindow> ui;
    GroupsAndUsersSummaryWidget *groupsAndUsersPage = nullptr;
    GroupDetailsWidget *groupPage = nullptr;
    UserDetailsWidget *userPage = nullptr;
    DeviceDetailsWidget *devicePage = nullptr;
    DevicesSummaryWidget *devicesPage = nullptr;
};
