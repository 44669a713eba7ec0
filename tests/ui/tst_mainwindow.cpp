#include "common/ModalHelper.h"
#include "common/TestDatabase.h"
#include "dose/GroupDetailsWidget.h"
#include "dose/UserDetailsWidget.h"
#include "ui/DeviceDetailsWidget.h"
#include "ui/DevicesSummaryWidget.h"
#include "ui/GroupsAndUsersSummaryWidget.h"
#include "ui/OrvaneWindow.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>
#include <QtTest>

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

QImage iconImage(const QIcon &icon)
{
    return icon.pixmap(16, 16).toImage();
}

bool hasIcon(const QIcon &icon, const QString &resource)
{
    return QFile::exists(resource) && !icon.isNull()
        && iconImage(icon) == iconImage(QIcon(resource));
}

// Names of a widget's actions, "|" for separators.
QStringList actionNames(const QList<QAction *> &actions)
{
    QStringList names;
    for (const QAction *action : actions)
        names << (action->isSeparator() ? QStringLiteral("|") : action->objectName());
    return names;
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT
private:
    QScopedPointer<TestSupport::TestDatabase> m_db;

    VDB::DataBase *db() const { return m_db->db(); }
    static QTreeWidget *tree(OrvaneWindow &w)
    {
        return w.findChild<QTreeWidget *>("componentsTreeWidget");
    }
    static QSplitter *splitter(OrvaneWindow &w) { return w.findChild<QSplitter *>("mainSplitter"); }
    static QAction *action(OrvaneWindow &w, const char *name)
    {
        return w.findChild<QAction *>(name);
    }
    static int type(const QTreeWidgetItem *item)
    {
        return item->data(0, OrvaneWindow::ComponentTypeRole).toInt();
    }
    static QTreeWidgetItem *groupItem(OrvaneWindow &w, const QString &name)
    {
        QTreeWidgetItem *root = tree(w)->topLevelItem(0);
        for (int i = 0; i < root->childCount(); ++i) {
            if (root->child(i)->text(0) == name)
                return root->child(i);
        }
        return nullptr;
    }
    static QTreeWidgetItem *userItem(OrvaneWindow &w, const QString &group, const QString &name)
    {
        QTreeWidgetItem *parent = groupItem(w, group);
        for (int i = 0; parent && i < parent->childCount(); ++i) {
            if (parent->child(i)->text(0) == name)
                return parent->child(i);
        }
        return nullptr;
    }
    // "group/user" texts of the whole users-and-groups branch.
    static QStringList usersAndGroups(OrvaneWindow &w)
    {
        QStringList texts;
        QTreeWidgetItem *root = tree(w)->topLevelItem(0);
        for (int g = 0; g < root->childCount(); ++g) {
            texts << root->child(g)->text(0);
            for (int i = 0; i < root->child(g)->childCount(); ++i)
                texts << root->child(g)->text(0) + "/" + root->child(g)->child(i)->text(0);
        }
        return texts;
    }
    // The visible pages of the splitter, by index.
    static QList<int> visiblePages(OrvaneWindow &w)
    {
        QList<int> pages;
        for (int i = 1; i < splitter(w)->count(); ++i) {
            if (!splitter(w)->widget(i)->isHidden())
                pages << i;
        }
        return pages;
    }
    // Runs the tree's context menu at the item (or the point) and returns the
    // names of the menu's actions ("x" marks a disabled one); empty when no
    // menu was shown.
    static QStringList contextMenu(OrvaneWindow &w, const QPoint &position)
    {
        QStringList seen;
        QTimer timer;
        timer.setInterval(5);
        connect(&timer, &QTimer::timeout, [&]() {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu)
                return;
            timer.stop();
            for (const QAction *a : menu->actions()) {
                if (a->isSeparator())
                    seen << "|";
                else
                    seen << a->objectName() + (a->isEnabled() ? "" : "x");
            }
            menu->close();
        });
        timer.start();
        w.componentContextMenu(position);
        return seen;
    }
    static QPoint positionOf(OrvaneWindow &w, const QTreeWidgetItem *item)
    {
        return tree(w)->visualItemRect(item).center();
    }

    SharedGroup group(int index) const { return db()->groups().at(index); }

private slots:
    void init()
    {
        m_db.reset(new TestSupport::TestDatabase);
        QVERIFY(m_db->isValid());
        QVERIFY(db()->login("admin", "tavro"));
    }

    void cleanup()
    {
        QVERIFY(!QApplication::overrideCursor());
        m_db.reset();
    }

    void formActionsAndMenus()
    {
        OrvaneWindow w;
        QCOMPARE(w.objectName(), QString("OrvaneWindow"));
        QCOMPARE(w.windowTitle(), u("КВР-ТМ4040"));
        QCOMPARE(w.size(), QSize(1024, 640));

        struct Expected
        {
            const char *name;
            const char *caption;
            const char *icon;
        };
        const Expected expected[] = {
            {"actionAbout", "О программе", nullptr},
            {"actionProcessDeviceData", "Обработать данные прибора", ":/icons/device"},
            {"actionAddGroup", "Добавить группу", ":/icons/resources/icons/group_add.png"},
            {"actionAddUser", "Добавить пользователя", ":/icons/resources/icons/user_add.png"},
            {"actionThresouldsList", "Список порогов", ":/icons/resources/icons/exclamation.png"},
            {"actionExceededThresouldsList", "Список превышенных порогов",
             ":/icons/resources/icons/cancel.png"},
            {"actionAnnualDoses", "Дозы за год", ":/icons/resources/icons/calendar_view_month.png"},
            {"actionDeviceDose", "Доза прибора", nullptr},
            {"actionDeviceSettings", "Настройки прибора",
             ":/icons/resources/icons/calculator_edit.png"},
            {"actionReadDeviceHistory", "Посмотреть память прибора", ":/icons/device_link"},
            {"actionSettings", "Настройки програмы",
             ":/icons/resources/icons/application_edit.png"},
            {"actionMerge", "Объединение баз", nullptr},
            {"actionExit", "Выход", nullptr},
            {"actionEditUser", "Редактировать", ":/icons/resources/icons/user_edit.png"},
            {"actionDelUser", "Удалить", ":/icons/resources/icons/user_delete.png"},
            {"actionEditGroup", "Редактировать группу", ":/icons/resources/icons/group_edit.png"},
            {"actionDeviceUsage", "Использование приборов", ":/icons/device"},
            {"actionDelGroup", "Удалить группу", ":/icons/resources/icons/group_delete.png"},
            {"actionHelp", "Справка", nullptr},
        };
        const QList<QAction *> actions
            = w.findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly);
        QStringList created;
        for (const QAction *a : actions) {
            if (a->objectName().startsWith("action"))
                created << a->objectName();
        }
        QCOMPARE(created.size(), int(std::size(expected)));
        for (int i = 0; i < created.size(); ++i) {
            QCOMPARE(created.at(i), QString(expected[i].name));
            QAction *a = action(w, expected[i].name);
            QCOMPARE(a->text(), u(expected[i].caption));
            if (expected[i].icon)
                QVERIFY2(hasIcon(a->icon(), expected[i].icon), expected[i].name);
            else
                QVERIFY2(a->icon().isNull(), expected[i].name);
        }
        QVERIFY(!action(w, "actionMerge")->isEnabled());

        auto *menuFile = w.findChild<QMenu *>("menuFile");
        auto *menuService = w.findChild<QMenu *>("menuService");
        auto *menuHelp = w.findChild<QMenu *>("menuHelp");
        QCOMPARE(menuFile->title(), u("Файл"));
        QCOMPARE(menuService->title(), u("Сервис"));
        QCOMPARE(menuHelp->title(), u("Помощь"));
        QCOMPARE(w.menuBar()->objectName(), QString("mainMenuBar"));
        QCOMPARE(w.menuBar()->actions(),
                 (QList<QAction *> {menuFile->menuAction(), menuService->menuAction(),
                                    menuHelp->menuAction()}));
        QCOMPARE(actionNames(menuFile->actions()), QStringList {"actionExit"});
        QCOMPARE(actionNames(menuService->actions()),
                 (QStringList {"actionProcessDeviceData", "|", "actionAddGroup", "actionAddUser",
                               "|", "actionThresouldsList", "actionExceededThresouldsList",
                               "actionAnnualDoses", "|", "actionDeviceDose", "actionDeviceSettings",
                               "actionReadDeviceHistory", "|", "actionSettings", "actionMerge", "|",
                               "actionAuditLog"}));
        QCOMPARE(actionNames(menuHelp->actions()), (QStringList {"actionAbout", "actionHelp"}));

        auto *toolBar = w.findChild<QToolBar *>("mainToolBar");
        QCOMPARE(actionNames(toolBar->actions()),
                 (QStringList {"actionAddGroup", "actionAddUser", "|", "actionThresouldsList",
                               "actionExceededThresouldsList", "actionAnnualDoses", "|",
                               "actionDeviceSettings", "actionReadDeviceHistory"}));
        QVERIFY(!toolBar->isMovable());
        QCOMPARE(toolBar->allowedAreas(), Qt::TopToolBarArea);
        QCOMPARE(w.toolBarArea(toolBar), Qt::TopToolBarArea);
        QVERIFY(w.findChild<QStatusBar *>("statusBar"));

        auto *process = w.findChild<QPushButton *>("processButton");
        QCOMPARE(process->text(), u("Обработать"));
        QCOMPARE(process->iconSize(), QSize(32, 32));
        QVERIFY(!process->isFlat());
        QVERIFY(QFile::exists(":/icons/resources/icons/onebit_34.png"));
        QCOMPARE(QImage(":/icons/resources/icons/onebit_34.png").size(), QSize(32, 32));
        QVERIFY(!process->icon().isNull());

        QTreeWidget *t = tree(w);
        QCOMPARE(t->columnCount(), 1);
        QVERIFY(t->isHeaderHidden());
        QCOMPARE(t->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(t->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(t->contextMenuPolicy(), Qt::CustomContextMenu);
        QCOMPARE(t->parentWidget()->objectName(), QString("layoutWidget"));
        QVERIFY(splitter(w)->opaqueResize());
        QVERIFY(!splitter(w)->childrenCollapsible());

        // The pages follow the tree column in their fixed order.
        QCOMPARE(splitter(w)->count(), 6);
        QVERIFY(qobject_cast<GroupsAndUsersSummaryWidget *>(splitter(w)->widget(1)));
        QVERIFY(qobject_cast<GroupDetailsWidget *>(splitter(w)->widget(2)));
        QVERIFY(qobject_cast<UserDetailsWidget *>(splitter(w)->widget(3)));
        QVERIFY(qobject_cast<DevicesSummaryWidget *>(splitter(w)->widget(4)));
        QVERIFY(qobject_cast<DeviceDetailsWidget *>(splitter(w)->widget(5)));
        QCOMPARE(OrvaneWindow::ComponentTypeRole, 257);
        QCOMPARE(OrvaneWindow::ComponentDataRole, 258);
    }

    void initialTree()
    {
        OrvaneWindow w;
        QTreeWidget *t = tree(w);
        QCOMPARE(t->topLevelItemCount(), 2);
        QTreeWidgetItem *root = t->topLevelItem(0);
        QTreeWidgetItem *devices = t->topLevelItem(1);
        QCOMPARE(root->text(0), u("Пользователи и группы"));
        QCOMPARE(type(root), 0);
        QVERIFY(hasIcon(root->icon(0), ":/icons/bullet"));
        QVERIFY(!root->data(0, OrvaneWindow::ComponentDataRole).isValid());
        QCOMPARE(devices->text(0), u("Приборы"));
        QCOMPARE(type(devices), 3);
        QVERIFY(hasIcon(devices->icon(0), ":/icons/bullet"));

        QCOMPARE(usersAndGroups(w),
                 (QStringList {u("Администраторы"), u("Администраторы/Administrator Администратор"),
                               u("Операторы"), u("Пользователи")}));
        for (int i = 0; i < 3; ++i) {
            QTreeWidgetItem *item = root->child(i);
            QCOMPARE(type(item), 1);
            QVERIFY(hasIcon(item->icon(0), ":/icons/group"));
            QCOMPARE(item->data(0, OrvaneWindow::ComponentDataRole).value<SharedGroup>(), group(i));
            QVERIFY(item->isExpanded());
        }
        QTreeWidgetItem *admin = root->child(0)->child(0);
        QCOMPARE(type(admin), 2);
        QVERIFY(hasIcon(admin->icon(0), ":/icons/admin"));
        QCOMPARE(admin->data(0, OrvaneWindow::ComponentDataRole).value<SharedUser>(),
                 db()->users().at(0));
        QVERIFY(!admin->font(0).strikeOut());

        QCOMPARE(devices->childCount(), 1);
        QTreeWidgetItem *device = devices->child(0);
        QCOMPARE(device->text(0), u("КВР-ТМ4040"));
        QCOMPARE(type(device), 4);
        QVERIFY(hasIcon(device->icon(0), ":/icons/device"));
        QCOMPARE(device->data(0, OrvaneWindow::ComponentDataRole).value<void *>(),
                 static_cast<void *>(db()->deviceTypes().at(0)));

        QCOMPARE(t->currentItem(), root);
        QCOMPARE(visiblePages(w), QList<int> {1});
        QVERIFY(action(w, "actionDelGroup")->isEnabled());
    }

    void treeFollowsUserChanges()
    {
        OrvaneWindow w;
        const SharedUser both = m_db->addUser(u("Петров"), u("Пётр"), {group(1), group(2)});
        QVERIFY(both);
        const SharedUser nowhere = m_db->addUser(u("Никто"), u("Ничей"));
        QVERIFY(nowhere);
        const SharedUser op
            = m_db->addUser(u("Оператор"), u("Олег"), {group(1)}, User::Operator, "op");
        QVERIFY(op);
        // One item per membership; a user in no group is not shown.
        QCOMPARE(
            usersAndGroups(w),
            (QStringList {u("Администраторы"), u("Администраторы/Administrator Администратор"),
                          u("Операторы"), u("Операторы/Петров Пётр"), u("Операторы/Оператор Олег"),
                          u("Пользователи"), u("Пользователи/Петров Пётр")}));
        QTreeWidgetItem *item = userItem(w, u("Операторы"), u("Оператор Олег"));
        QVERIFY(hasIcon(item->icon(0), ":/icons/user"));
        // Not allowed to use devices: struck out.
        QVERIFY(item->font(0).strikeOut());
        QCOMPARE(item->data(0, Qt::FontRole).value<QFont>().strikeOut(), true);

        User data = *both;
        data.middlename = u("Петрович");
        data.canUseDevice = true;
        data.groups = {group(2)};
        data.photo = QPixmap();
        QCOMPARE(db()->updateUser(both, data).code, 0);
        QCOMPARE(usersAndGroups(w),
                 (QStringList {u("Администраторы"), u("Администраторы/Administrator Администратор"),
                               u("Операторы"), u("Операторы/Оператор Олег"), u("Пользователи"),
                               u("Пользователи/Петров Пётр Петрович")}));
        QVERIFY(!userItem(w, u("Пользователи"), u("Петров Пётр Петрович"))->font(0).strikeOut());

        QCOMPARE(db()->deleteUser(op).code, 0);
        QCOMPARE(usersAndGroups(w).size(), 5);
        QVERIFY(!userItem(w, u("Операторы"), u("Оператор Олег")));

        QVERIFY(db()->addGroup(u("Новая \"группа\"; DROP TABLE Users"), QString(), 0));
        QCOMPARE(usersAndGroups(w).last(), u("Новая \"группа\"; DROP TABLE Users"));
        QVERIFY(db()->updateGroup(group(3), u("Четвёртая"), QString(), 0));
        QCOMPARE(usersAndGroups(w).last(), u("Четвёртая"));
        QVERIFY(db()->deleteGroup(group(3), SharedGroup()));
        QVERIFY(!groupItem(w, u("Четвёртая")));
    }

    void selectionKeptByRecordId()
    {
        OrvaneWindow w;
        QTreeWidget *t = tree(w);
        const SharedUser both = m_db->addUser(u("Петров"), u("Пётр"), {group(1), group(2)});
        QVERIFY(both);

        // A renamed group stays selected.
        t->setCurrentItem(groupItem(w, u("Операторы")));
        QVERIFY(db()->updateGroup(group(1), u("Операторы смены"), QString(), 3));
        QCOMPARE(t->currentItem()->text(0), u("Операторы смены"));
        QCOMPARE(type(t->currentItem()), 1);

        // An edited user stays selected under the same group.
        t->setCurrentItem(userItem(w, u("Пользователи"), u("Петров Пётр")));
        User data = *both;
        data.firstname = u("Павел");
        data.photo = QPixmap();
        QCOMPARE(db()->updateUser(both, data).code, 0);
        QCOMPARE(t->currentItem(), userItem(w, u("Пользователи"), u("Петров Павел")));
        QCOMPARE(visiblePages(w), QList<int> {3});

        // Selecting the device branch survives rebuilds too.
        t->setCurrentItem(t->topLevelItem(1)->child(0));
        QVERIFY(m_db->addUser(u("Третий"), u("Тимур"), {group(2)}));
        QCOMPARE(t->currentItem(), t->topLevelItem(1)->child(0));
        t->setCurrentItem(t->topLevelItem(1));
        QVERIFY(db()->addGroup(u("Ещё"), QString(), 0));
        QCOMPARE(t->currentItem(), t->topLevelItem(1));

        // A deleted group leaves the root selected.
        t->setCurrentItem(groupItem(w, u("Ещё")));
        QVERIFY(db()->deleteGroup(group(3), SharedGroup()));
        QCOMPARE(t->currentItem(), t->topLevelItem(0));
        QCOMPARE(visiblePages(w), QList<int> {1});

        // So does a user removed from the group his item stood under.
        t->setCurrentItem(userItem(w, u("Операторы смены"), u("Петров Павел")));
        data.groups = {group(2)};
        QCOMPARE(db()->updateUser(both, data).code, 0);
        QCOMPARE(t->currentItem(), t->topLevelItem(0));
    }

    void pagesFollowTheCurrentItem()
    {
        OrvaneWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTreeWidget *t = tree(w);
        const SharedUser plain = m_db->addUser(u("Петров"), u("Пётр"), {group(0)});
        QVERIFY(plain);
        const int treeWidth = splitter(w)->sizes().at(0);
        const int pageWidth = splitter(w)->sizes().at(1);
        QVERIFY(pageWidth > 0);

        t->setCurrentItem(groupItem(w, u("Операторы")));
        QCOMPARE(visiblePages(w), QList<int> {2});
        QCOMPARE(qobject_cast<GroupDetailsWidget *>(splitter(w)->widget(2))->group(), group(1));
        QVERIFY(t->isEnabled());
        QVERIFY(!QApplication::overrideCursor());
        // The new page takes over the old page's width; the tree keeps its own.
        QCOMPARE(splitter(w)->sizes().at(0), treeWidth);
        QCOMPARE(splitter(w)->sizes().at(2), pageWidth);

        auto *userPage = qobject_cast<UserDetailsWidget *>(splitter(w)->widget(3));
        t->setCurrentItem(userItem(w, u("Администраторы"), u("Петров Пётр")));
        QCOMPARE(visiblePages(w), QList<int> {3});
        QCOMPARE(userPage->user(), plain);
        QVERIFY(action(w, "actionDelUser")->isEnabled());
        t->setCurrentItem(userItem(w, u("Администраторы"), u("Administrator Администратор")));
        QCOMPARE(userPage->user(), db()->users().at(0));
        QVERIFY(!action(w, "actionDelUser")->isEnabled());
        QVERIFY(t->isEnabled());

        t->setCurrentItem(t->topLevelItem(1));
        QCOMPARE(visiblePages(w), QList<int> {4});
        t->setCurrentItem(t->topLevelItem(1)->child(0));
        QCOMPARE(visiblePages(w), QList<int> {5});
        QCOMPARE(qobject_cast<DeviceDetailsWidget *>(splitter(w)->widget(5))->device(),
                 db()->deviceTypes().at(0));
        t->setCurrentItem(t->topLevelItem(0));
        QCOMPARE(visiblePages(w), QList<int> {1});
        QCOMPARE(splitter(w)->sizes().at(1), pageWidth);
    }

    void pagesSelectUsers()
    {
        OrvaneWindow w;
        QTreeWidget *t = tree(w);
        const SharedUser both = m_db->addUser(u("Петров"), u("Пётр"), {group(2), group(1)});
        QVERIFY(both);
        // The first item of the user, in tree order.
        auto *devicesPage = qobject_cast<DevicesSummaryWidget *>(splitter(w)->widget(4));
        emit devicesPage->userSelected(both);
        QCOMPARE(t->currentItem(), userItem(w, u("Операторы"), u("Петров Пётр")));

        t->setCurrentItem(t->topLevelItem(0));
        auto *groupPage = qobject_cast<GroupDetailsWidget *>(splitter(w)->widget(2));
        emit groupPage->userSelected(db()->users().at(0));
        QCOMPARE(t->currentItem(),
                 userItem(w, u("Администраторы"), u("Administrator Администратор")));

        auto *devicePage = qobject_cast<DeviceDetailsWidget *>(splitter(w)->widget(5));
        emit devicePage->userSelected(both);
        QCOMPARE(t->currentItem(), userItem(w, u("Операторы"), u("Петров Пётр")));

        // Unknown or empty users change nothing.
        const SharedUser nowhere = m_db->addUser(u("Никто"), u("Ничей"));
        QVERIFY(nowhere);
        QTreeWidgetItem *before = t->currentItem();
        w.selectUser(nowhere);
        w.selectUser(SharedUser());
        QCOMPARE(t->currentItem(), before);
    }

    void contextMenus()
    {
        OrvaneWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTreeWidget *t = tree(w);
        const SharedUser plain = m_db->addUser(u("Петров"), u("Пётр"), {group(1)});
        QVERIFY(plain);
        t->setCurrentItem(userItem(w, u("Операторы"), u("Петров Пётр")));
        QTreeWidgetItem *current = t->currentItem();

        QCOMPARE(contextMenu(w, positionOf(w, t->topLevelItem(0))), QStringList {"actionAddGroup"});

        QCOMPARE(contextMenu(w, positionOf(w, groupItem(w, u("Пользователи")))),
                 (QStringList {"actionEditGroup", "actionDelGroup", "|", "actionAddUser"}));
        // A dismissed menu leaves the group on the actions.
        for (const char *name : {"actionEditGroup", "actionDelGroup", "actionAddUser"})
            QCOMPARE(action(w, name)->data().value<SharedGroup>(), group(2));

        // The administrator can not be deleted, even when another user is current.
        QCOMPARE(
            contextMenu(
                w,
                positionOf(w, userItem(w, u("Администраторы"), u("Administrator Администратор")))),
            (QStringList {"actionEditUser", "actionDelUserx"}));
        QCOMPARE(action(w, "actionEditUser")->data().value<SharedUser>(), db()->users().at(0));
        QVERIFY(action(w, "actionDelUser")->isEnabled()); // back to the current user's state
        QCOMPARE(contextMenu(w, positionOf(w, current)),
                 (QStringList {"actionEditUser", "actionDelUser"}));
        QCOMPARE(action(w, "actionDelUser")->data().value<SharedUser>(), plain);

        // No menu for devices nor for empty space.
        QVERIFY(contextMenu(w, positionOf(w, t->topLevelItem(1))).isEmpty());
        QVERIFY(contextMenu(w, positionOf(w, t->topLevelItem(1)->child(0))).isEmpty());
        QVERIFY(contextMenu(w, QPoint(5, t->viewport()->height() - 3)).isEmpty());
        // The menu does not move the selection.
        QCOMPARE(t->currentItem(), current);
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
