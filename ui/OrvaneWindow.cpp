#include "ui/OrvaneWindow.h"

#include "ui_OrvaneWindow.h"

#include "app/AccessCheck.h"
#include "app/UserGuide.h"
#include "device/DeviceAssignmentDialog.h"
#include "device/DeviceConnection.h"
#include "device/FindDeviceDialog.h"
#include "device/InternalHistoryDialog.h"
#include "device/ReadHistoryDialog.h"
#include "device/ResetDoseDialog.h"
#include "device/Tm4040SettingsDialog.h"
#include "dose/AnnualDoseDialog.h"
#include "dose/ExceededThreshouldsDialog.h"
#include "dose/GroupDetailsWidget.h"
#include "dose/ThresholdEvaluator.h"
#include "dose/ThresholdListDialog.h"
#include "dose/UserDetailsWidget.h"
#include "ui/AboutDialog.h"
#include "ui/AuditDialog.h"
#include "ui/DeviceDetailsWidget.h"
#include "ui/DeviceOwnerDialog.h"
#include "ui/DeviceUsageDialog.h"
#include "ui/DevicesSummaryWidget.h"
#include "ui/GroupDeleteDialog.h"
#include "ui/GroupEditDialog.h"
#include "ui/GroupsAndUsersSummaryWidget.h"
#include "ui/ProgrammSettingsDialog.h"
#include "ui/UserEditDialog.h"
#include "ui/WorkstationLayout.h"

#include <QApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QUrl>

namespace {

// Operation codes of checkAccess().
enum Operation {
    AddUserOperation = 0,
    EditUserOperation = 1,
    DeleteUserOperation = 2,
    AddGroupOperation = 3,
    EditGroupOperation = 4,
    DeleteGroupOperation = 5,
    SettingsOperation = 6
};

const int administratorRole = 1;

// Indexes of the pages in mainSplitter; 0 is the tree column.
enum Page { GroupsAndUsersPage = 1, GroupPage = 2, UserPage = 3, DevicesPage = 4, DevicePage = 5 };

// Wait cursor for the lifetime of the object.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

int componentType(const QTreeWidgetItem *item)
{
    return item->data(0, OrvaneWindow::ComponentTypeRole).toInt();
}

SharedGroup itemGroup(const QTreeWidgetItem *item)
{
    return item->data(0, OrvaneWindow::ComponentDataRole).value<SharedGroup>();
}

SharedUser itemUser(const QTreeWidgetItem *item)
{
    return item->data(0, OrvaneWindow::ComponentDataRole).value<SharedUser>();
}

DeviceType *itemDeviceType(const QTreeWidgetItem *item)
{
    return static_cast<DeviceType *>(
        item->data(0, OrvaneWindow::ComponentDataRole).value<void *>());
}

QTreeWidgetItem *newItem(int type, const QString &text, const QString &icon)
{
    auto *item = new QTreeWidgetItem;
    item->setText(0, text);
    item->setIcon(0, QIcon(icon));
    item->setData(0, OrvaneWindow::ComponentTypeRole, type);
    return item;
}

// Is any member of the group in no other group?
bool hasOnlyMembers(const SharedGroup &group)
{
    for (const SharedUser &user : group->users) {
        if (user->groups.size() == 1)
            return true;
    }
    return false;
}

} // namespace

OrvaneWindow::OrvaneWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::OrvaneWindow)
{
    ui->setupUi(this);
    // Which database this workstation works with: a file or a server, never
    // with a password.
    auto *database = new QLabel(VDB::DataBase::instance()->displayName(), this);
    database->setObjectName(QStringLiteral("databaseLabel"));
    ui->statusBar->addPermanentWidget(database);

    // The pages follow the tree column, so a page's splitter index is its number.
    auto addPage = [this](QWidget *page) {
        ui->mainSplitter->addWidget(page);
        page->hide();
    };
    groupsAndUsersPage = new GroupsAndUsersSummaryWidget(this);
    addPage(groupsAndUsersPage);
    groupPage = new GroupDetailsWidget(ui->actionAddUser, ui->actionEditGroup, ui->actionDelGroup,
                                       ui->actionDeviceUsage, this);
    addPage(groupPage);
    userPage = new UserDetailsWidget(ui->actionEditUser, ui->actionDelUser, this);
    addPage(userPage);
    devicesPage = new DevicesSummaryWidget(this);
    addPage(devicesPage);
    devicePage = new DeviceDetailsWidget(this);
    addPage(devicePage);

    connect(groupsAndUsersPage, &GroupsAndUsersSummaryWidget::addGroup, this,
            &OrvaneWindow::editGroup);
    connect(groupsAndUsersPage, &GroupsAndUsersSummaryWidget::delGroup, this,
            qOverload<const SharedGroup &>(&OrvaneWindow::delGroup));

    connect(ui->actionAbout, &QAction::triggered, this, &OrvaneWindow::about);
    connect(ui->actionProcessDeviceData, &QAction::triggered, this, &OrvaneWindow::processDevice);
    connect(ui->actionAddGroup, &QAction::triggered, this, &OrvaneWindow::editGroup);
    connect(ui->actionAddUser, &QAction::triggered, this, &OrvaneWindow::editUser);
    connect(ui->actionThresouldsList, &QAction::triggered, this, &OrvaneWindow::editThresholds);
    connect(ui->actionExceededThresouldsList, &QAction::triggered, this,
            &OrvaneWindow::exceededThreshoulds);
    connect(ui->actionAnnualDoses, &QAction::triggered, this, &OrvaneWindow::annualDoses);
    connect(ui->actionDeviceDose, &QAction::triggered, this, &OrvaneWindow::resetDeviceDose);
    connect(ui->actionDeviceSettings, &QAction::triggered, this, &OrvaneWindow::deviceSettings);
    connect(ui->actionReadDeviceHistory, &QAction::triggered, this,
            &OrvaneWindow::readDeviceHistory);
    connect(ui->actionSettings, &QAction::triggered, this, &OrvaneWindow::changeSettings);
    connect(ui->actionEditUser, &QAction::triggered, this, &OrvaneWindow::editUser);
    connect(ui->actionDelUser, &QAction::triggered, this, &OrvaneWindow::delUser);
    connect(ui->actionEditGroup, &QAction::triggered, this, &OrvaneWindow::editGroup);
    connect(ui->actionDeviceUsage, &QAction::triggered, this, &OrvaneWindow::deviceUsage);
    connect(ui->actionDelGroup, &QAction::triggered, this, qOverload<>(&OrvaneWindow::delGroup));
    connect(ui->actionHelp, &QAction::triggered, this, &OrvaneWindow::help);
    connect(ui->processButton, &QPushButton::clicked, this, &OrvaneWindow::processDevice);
    connect(ui->actionExit, &QAction::triggered, this, &OrvaneWindow::close);
    AuditDialog::addMenuEntry(ui->menuService, this);

    connect(ui->componentsTreeWidget, &QTreeWidget::currentItemChanged, this,
            &OrvaneWindow::componentChanged);
    connect(ui->componentsTreeWidget, &QTreeWidget::customContextMenuRequested, this,
            &OrvaneWindow::componentContextMenu);

    connect(devicesPage, &DevicesSummaryWidget::userSelected, this, &OrvaneWindow::selectUser);
    connect(devicePage, &DeviceDetailsWidget::userSelected, this, &OrvaneWindow::selectUser);
    connect(groupPage, &GroupDetailsWidget::userSelected, this, &OrvaneWindow::selectUser);

    VDB::DataBase *db = VDB::DataBase::instance();
    connect(db, &VDB::DataBase::userUpdated, this, &OrvaneWindow::userUpdated);
    connect(db, &VDB::DataBase::userAdded, this, &OrvaneWindow::userAdded);
    connect(db, &VDB::DataBase::userDeleted, this, &OrvaneWindow::userDeleted);
    connect(db, &VDB::DataBase::groupUpdated, this, &OrvaneWindow::groupUpdated);
    connect(db, &VDB::DataBase::groupAdded, this, &OrvaneWindow::groupAdded);
    connect(db, &VDB::DataBase::groupDeleted, this, &OrvaneWindow::groupDeleted);

    // The last group can not be deleted; true from the start, not only after
    // the first change of the groups.
    updateDelGroupAction();
    fillComponentsTree();
    WorkstationLayout::restore(this);
}

OrvaneWindow::~OrvaneWindow()
{
    WorkstationLayout::save(this);
    // The tree dies with the window's children; its last signals must not
    // reach a half-destroyed window.
    ui->componentsTreeWidget->disconnect(this);
}

void OrvaneWindow::changeSettings()
{
    if (!checkAccess(SettingsOperation, this))
        return;
    ProgrammSettingsDialog dialog(this);
    dialog.exec();
}

void OrvaneWindow::editGroup()
{
    const bool editing = sender() == ui->actionEditGroup;
    if (!checkAccess(editing ? EditGroupOperation : AddGroupOperation, this))
        return;
    const SharedGroup group
        = editing ? ui->actionEditGroup->data().value<SharedGroup>() : SharedGroup();
    GroupEditDialog dialog(group, this);
    dialog.exec();
    if (editing)
        ui->actionEditGroup->setData(QVariant());
}

void OrvaneWindow::delGroup()
{
    if (sender() != ui->actionDelGroup)
        return;
    const SharedGroup group = ui->actionDelGroup->data().value<SharedGroup>();
    if (checkAccess(DeleteGroupOperation, this))
        deleteGroup(group);
    ui->actionDelGroup->setData(QVariant());
}

void OrvaneWindow::delGroup(const SharedGroup &group)
{
    if (!checkAccess(DeleteGroupOperation, this))
        return;
    deleteGroup(group);
}

void OrvaneWindow::deleteGroup(const SharedGroup &group)
{
    if (!group)
        return;
    VDB::DataBase *db = VDB::DataBase::instance();
    if (group->users.isEmpty()) {
        const QString question = tr("Удалить \"%1\"?").arg(group->name);
        if (QMessageBox::information(this, question, question, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No)
            == QMessageBox::Yes)
            db->deleteGroup(group, SharedGroup());
        return;
    }
    GroupDeleteDialog dialog(group, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const SharedGroup target = dialog.targetGroup();
    // Users left without any group would vanish from every view.
    if (!target && hasOnlyMembers(group)) {
        QMessageBox::warning(this, tr("Предупреждение"),
                             tr("Нет группы, в которую можно перевести пользователей группы "
                                "\"%1\". Группа не удалена.")
                                 .arg(group->name));
        return;
    }
    db->deleteGroup(group, target);
}

void OrvaneWindow::editUser()
{
    const QObject *from = sender();
    const bool editing = from == ui->actionEditUser;
    if (!checkAccess(editing ? EditUserOperation : AddUserOperation, this))
        return;
    SharedUser user;
    SharedGroup group;
    if (editing)
        user = ui->actionEditUser->data().value<SharedUser>();
    else if (from == ui->actionAddUser)
        group = ui->actionAddUser->data().value<SharedGroup>();
    UserEditDialog dialog(user, group, this);
    dialog.exec();
    if (editing)
        ui->actionEditUser->setData(QVariant());
    else if (from == ui->actionAddUser)
        ui->actionAddUser->setData(QVariant());
}

void OrvaneWindow::delUser()
{
    if (!checkAccess(DeleteUserOperation, this))
        return;
    if (sender() != ui->actionDelUser)
        return;
    const SharedUser user = ui->actionDelUser->data().value<SharedUser>();
    if (user && user->role == administratorRole) {
        // The store does not guard the administrator; without him nobody
        // could administrate the program any more.
        QMessageBox::critical(this, tr("Внимание"),
                              tr("Невозможно удалить главного администратора"));
    } else if (user) {
        const QString question = tr("Удалить \"%1\"?").arg(user->fullName());
        if (QMessageBox::information(this, question, question, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No)
            == QMessageBox::Yes) {
            const OperationResult result = VDB::DataBase::instance()->deleteUser(user);
            if (result.code == 2)
                QMessageBox::warning(this, tr("Предупреждение"), result.message);
            else if (result.code != 0)
                QMessageBox::warning(
                    this, tr("Предупреждение"),
                    tr("Не удалось удалить пользователя. Причина: \"%1\"").arg(result.message));
        }
    }
    ui->actionDelUser->setData(QVariant());
}

void OrvaneWindow::about()
{
    AboutDialog dialog(this);
    dialog.exec();
}

void OrvaneWindow::help()
{
    const QString guide = UserGuide::find();
    if (guide.isEmpty()) {
        QStringList expected;
        for (const QString &path : UserGuide::expectedPaths())
            expected.append(QDir::toNativeSeparators(path));
        showHelpProblem(tr("Руководство оператора не найдено. Оно должно находиться в одном из "
                           "файлов:\n%1\n\nПереустановите программу.")
                            .arg(expected.join(QLatin1Char('\n'))));
        return;
    }
    // Without a program for PDF files the desktop would silently do
    // nothing; the operator is told where the guide is instead.
    if (UserGuide::desktopHasPdfViewer() && QDesktopServices::openUrl(QUrl::fromLocalFile(guide)))
        return;
    qWarning().noquote() << "User guide not opened: no PDF viewer for" << guide;
    showHelpProblem(tr("Не удалось открыть руководство оператора: не найдена программа для "
                       "просмотра PDF.\n\nРуководство находится в файле:\n%1\n\nОткройте "
                       "его любой программой просмотра PDF.")
                        .arg(QDir::toNativeSeparators(guide)));
}

void OrvaneWindow::showHelpProblem(const QString &text)
{
    QMessageBox box(QMessageBox::Information, tr("Справка"), text, QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("helpProblemBox"));
    // The path can be copied from the box.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.exec();
}

void OrvaneWindow::exceededThreshoulds()
{
    ExceededThreshouldsDialog dialog(false, this);
    dialog.exec();
}

void OrvaneWindow::annualDoses()
{
    AnnualDoseDialog dialog(this);
    connect(&dialog, &AnnualDoseDialog::userSelected, this, &OrvaneWindow::selectUser);
    dialog.exec();
}

void OrvaneWindow::deviceUsage()
{
    if (sender() != ui->actionDeviceUsage)
        return;
    const SharedGroup group = ui->actionDeviceUsage->data().value<SharedGroup>();
    if (group) {
        DeviceUsageDialog dialog(group, this);
        dialog.exec();
    }
    ui->actionDeviceUsage->setData(QVariant());
}

void OrvaneWindow::editThresholds()
{
    ThresholdListDialog dialog(this);
    dialog.exec();
}

void OrvaneWindow::processDevice()
{
    FindDeviceDialog finder(this);
    if (finder.exec() != QDialog::Accepted || !finder.connection()
        || !finder.connection()->hasDevice())
        return;
    DeviceConnection *found = finder.connection();
    const SharedUser user = VDB::DataBase::instance()->userWithDevice(found->deviceType(),
                                                                      found->info()->serialNumber);
    if (!user) {
        offerAssignment(found);
        return;
    }
    ReadHistoryDialog dialog(user, this);
    dialog.exec();
}

void OrvaneWindow::offerAssignment(DeviceConnection *found)
{
    const QString device = found->deviceText();
    if (QMessageBox::question(this, tr("Прибор не назначен"),
                              tr("Прибор %1 не назначен ни одному пользователю, его историю "
                                 "некому записать.\n\nНазначить прибор пользователю?")
                                  .arg(device),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        != QMessageBox::Yes)
        return;
    if (!checkAccess(AccessOperation::AssignDevice, this))
        return;
    if (DeviceOwnerDialog::candidates().isEmpty()) {
        QMessageBox::warning(this, tr("Предупреждение"),
                             tr("Нет пользователей без прибора, которым разрешено "
                                "использование приборов"));
        return;
    }
    DeviceOwnerDialog choice(device, this);
    if (choice.exec() != QDialog::Accepted || !choice.owner())
        return;
    // As on the user page: a user over a limit gets a device only when the
    // operator goes on anyway.
    if (ThresholdEvaluator::userExceedsAny(choice.owner())) {
        ExceededThreshouldsDialog exceeded(true, this);
        if (exceeded.exec() != QDialog::Accepted)
            return;
    }
    DeviceAssignmentDialog assignment(found, choice.owner(), this);
    assignment.exec();
}

void OrvaneWindow::resetDeviceDose()
{
    FindDeviceDialog finder(this);
    if (finder.exec() != QDialog::Accepted || !finder.connection()
        || !finder.connection()->hasDevice())
        return;
    ResetDoseDialog dialog(finder.connection(), this);
    dialog.exec();
}

void OrvaneWindow::deviceSettings()
{
    qDebug() << "deviceSettings opened";
    if (!checkAccess(SettingsOperation, this))
        return;
    FindDeviceDialog finder(this);
    if (finder.exec() != QDialog::Accepted || !finder.connection()
        || !finder.connection()->hasDevice())
        return;
    Tm4040SettingsDialog dialog(finder.connection(), this);
    dialog.exec();
}

void OrvaneWindow::readDeviceHistory()
{
    FindDeviceDialog finder(this);
    if (finder.exec() != QDialog::Accepted || !finder.connection()
        || !finder.connection()->hasDevice())
        return;
    InternalHistoryDialog dialog(finder.connection(), this);
    dialog.exec();
}

void OrvaneWindow::componentChanged(QTreeWidgetItem *current, QTreeWidgetItem *previous)
{
    Q_UNUSED(previous)
    if (!current)
        return;
    QTreeWidget *tree = ui->componentsTreeWidget;
    switch (componentType(current)) {
    case UsersAndGroupsComponent:
        showComponentWidget(GroupsAndUsersPage);
        break;
    case GroupComponent: {
        tree->setEnabled(false);
        WaitCursor wait;
        showComponentWidget(GroupPage);
        groupPage->setGroup(itemGroup(current));
        tree->setEnabled(true);
        break;
    }
    case UserComponent: {
        const SharedUser user = itemUser(current);
        {
            tree->setEnabled(false);
            WaitCursor wait;
            showComponentWidget(UserPage);
            userPage->setUser(user);
            tree->setEnabled(true);
        }
        ui->actionDelUser->setEnabled(user && user->role != administratorRole);
        break;
    }
    case DevicesComponent:
        showComponentWidget(DevicesPage);
        break;
    case DeviceComponent:
        devicePage->setDevice(itemDeviceType(current));
        showComponentWidget(DevicePage);
        break;
    default:
        break;
    }
}

void OrvaneWindow::componentContextMenu(const QPoint &position)
{
    QTreeWidget *tree = ui->componentsTreeWidget;
    const QTreeWidgetItem *item = tree->itemAt(position);
    if (!item)
        return;
    QMenu menu(this);
    const bool delUserWasEnabled = ui->actionDelUser->isEnabled();
    switch (componentType(item)) {
    case UsersAndGroupsComponent:
        menu.addAction(ui->actionAddGroup);
        break;
    case GroupComponent: {
        const QVariant group = QVariant::fromValue(itemGroup(item));
        ui->actionEditGroup->setData(group);
        ui->actionDelGroup->setData(group);
        ui->actionAddUser->setData(group);
        menu.addAction(ui->actionEditGroup);
        menu.addAction(ui->actionDelGroup);
        menu.addSeparator();
        menu.addAction(ui->actionAddUser);
        break;
    }
    case UserComponent: {
        const SharedUser user = itemUser(item);
        ui->actionEditUser->setData(QVariant::fromValue(user));
        ui->actionDelUser->setData(QVariant::fromValue(user));
        // The clicked user need not be the current one.
        ui->actionDelUser->setEnabled(user && user->role != administratorRole);
        menu.addAction(ui->actionEditUser);
        menu.addAction(ui->actionDelUser);
        break;
    }
    default:
        return;
    }
    // The item is not used past this point: the menu's actions may rebuild the tree.
    menu.exec(tree->viewport()->mapToGlobal(position));

    // Back to the state of the user page.
    const QTreeWidgetItem *current = tree->currentItem();
    if (current && componentType(current) == UserComponent) {
        const SharedUser user = itemUser(current);
        ui->actionDelUser->setEnabled(user && user->role != administratorRole);
    } else {
        ui->actionDelUser->setEnabled(delUserWasEnabled);
    }
}

void OrvaneWindow::selectUser(SharedUser user)
{
    if (!user)
        return;
    QTreeWidgetItem *root = ui->componentsTreeWidget->topLevelItem(0);
    if (!root)
        return;
    for (int g = 0; g < root->childCount(); ++g) {
        QTreeWidgetItem *groupItem = root->child(g);
        for (int u = 0; u < groupItem->childCount(); ++u) {
            QTreeWidgetItem *userItem = groupItem->child(u);
            if (itemUser(userItem) == user) {
                ui->componentsTreeWidget->setCurrentItem(userItem);
                return;
            }
        }
    }
}

void OrvaneWindow::userAdded(const SharedUser &)
{
    fillComponentsTree();
}

void OrvaneWindow::userUpdated(const SharedUser &)
{
    fillComponentsTree();
}

void OrvaneWindow::userDeleted(const SharedUser &)
{
    fillComponentsTree();
}

void OrvaneWindow::groupAdded(const SharedGroup &)
{
    updateDelGroupAction();
    fillComponentsTree();
    WorkstationLayout::restore(this);
}

void OrvaneWindow::groupUpdated(const SharedGroup &)
{
    fillComponentsTree();
}

void OrvaneWindow::groupDeleted(const SharedGroup &)
{
    updateDelGroupAction();
    fillComponentsTree();
    WorkstationLayout::restore(this);
}

void OrvaneWindow::fillComponentsTree()
{
    WaitCursor wait;
    VDB::DataBase *db = VDB::DataBase::instance();

    QTreeWidgetItem *usersAndGroups
        = newItem(UsersAndGroupsComponent, tr("Пользователи и группы"), ":/icons/bullet");
    QTreeWidgetItem *devices = newItem(DevicesComponent, tr("Приборы"), ":/icons/bullet");
    QList<QTreeWidgetItem *> groupItems;
    for (const SharedGroup &group : db->groups()) {
        QTreeWidgetItem *groupItem = newItem(GroupComponent, group->name, ":/icons/group");
        groupItem->setData(0, ComponentDataRole, QVariant::fromValue(group));
        usersAndGroups->addChild(groupItem);
        groupItems.append(groupItem);
        for (const SharedUser &user : group->users) {
            QTreeWidgetItem *userItem
                = newItem(UserComponent, user->fullName(),
                          user->role == administratorRole ? ":/icons/admin" : ":/icons/user");
            userItem->setData(0, ComponentDataRole, QVariant::fromValue(user));
            if (!user->canUseDevice) {
                QFont font = userItem->font(0);
                font.setStrikeOut(true);
                userItem->setData(0, Qt::FontRole, font);
            }
            groupItem->addChild(userItem);
        }
    }
    QList<QTreeWidgetItem *> deviceItems;
    for (DeviceType *type : db->deviceTypes()) {
        QTreeWidgetItem *deviceItem = newItem(DeviceComponent, type->name, ":/icons/device");
        deviceItem->setData(0, ComponentDataRole, QVariant::fromValue(static_cast<void *>(type)));
        devices->addChild(deviceItem);
        deviceItems.append(deviceItem);
    }

    // Records are matched by id: the old items go away with the clear.
    QTreeWidget *tree = ui->componentsTreeWidget;
    int oldType = -1;
    int oldId = -1;
    int oldGroupId = -1;
    if (const QTreeWidgetItem *current = tree->currentItem()) {
        oldType = componentType(current);
        if (oldType == GroupComponent) {
            const SharedGroup group = itemGroup(current);
            oldId = group ? group->id : -1;
        } else if (oldType == UserComponent) {
            const SharedUser user = itemUser(current);
            const SharedGroup group
                = current->parent() ? itemGroup(current->parent()) : SharedGroup();
            oldId = user ? user->id : -1;
            oldGroupId = group ? group->id : -1;
        } else if (oldType == DeviceComponent) {
            const DeviceType *type = itemDeviceType(current);
            oldId = type ? type->id : -1;
        }
    }

    tree->clear();
    tree->addTopLevelItem(usersAndGroups);
    tree->addTopLevelItem(devices);
    tree->expandAll();

    auto findGroupItem = [&](int id) -> QTreeWidgetItem * {
        for (QTreeWidgetItem *item : qAsConst(groupItems)) {
            if (itemGroup(item)->id == id)
                return item;
        }
        return nullptr;
    };
    QTreeWidgetItem *select = nullptr;
    switch (oldType) {
    case GroupComponent:
        select = findGroupItem(oldId);
        break;
    case UserComponent:
        if (QTreeWidgetItem *groupItem = findGroupItem(oldGroupId)) {
            for (int i = 0; i < groupItem->childCount() && !select; ++i) {
                if (itemUser(groupItem->child(i))->id == oldId)
                    select = groupItem->child(i);
            }
        }
        break;
    case DevicesComponent:
        select = devices;
        break;
    case DeviceComponent:
        for (QTreeWidgetItem *item : qAsConst(deviceItems)) {
            if (itemDeviceType(item)->id == oldId) {
                select = item;
                break;
            }
        }
        break;
    default:
        break;
    }
    tree->setCurrentItem(select ? select : usersAndGroups);
}

void OrvaneWindow::showComponentWidget(int index)
{
    QSplitter *splitter = ui->mainSplitter;
    QList<int> sizes = splitter->sizes();
    // The new page takes over the width of the page shown now.
    int width = 0;
    for (int i = 1; i < sizes.size(); ++i) {
        if (sizes.at(i) > 0) {
            width = sizes.at(i);
            break;
        }
    }
    for (int i = 1; i < splitter->count(); ++i) {
        QWidget *page = splitter->widget(i);
        if (i == index) {
            page->show();
            sizes[i] = width;
        } else {
            page->hide();
            sizes[i] = 0;
        }
    }
    splitter->setSizes(sizes);
}

void OrvaneWindow::updateDelGroupAction()
{
    ui->actionDelGroup->setEnabled(VDB::DataBase::instance()->groups().size() > 1);
}
