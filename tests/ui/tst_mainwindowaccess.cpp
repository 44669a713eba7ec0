#include "common/ModalHelper.h"
#include "common/TestDatabase.h"
#include "ui/GroupsAndUsersSummaryWidget.h"
#include "ui/OrvaneWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QtTest>

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

// Records every dialog that is shown. A dialog that nobody answered within a
// short while is rejected, so a flow that opens more than a test expects
// ends instead of hanging.
class DialogWatcher : public QObject
{
public:
    struct Shown
    {
        QString className;
        QString title;
        QString text;
    };
    QList<Shown> shown;

    DialogWatcher() { qApp->installEventFilter(this); }
    ~DialogWatcher() override { qApp->removeEventFilter(this); }

    QStringList classNames() const
    {
        QStringList names;
        for (const Shown &s : shown)
            names << s.className;
        return names;
    }

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() != QEvent::Show)
            return false;
        auto *dialog = qobject_cast<QDialog *>(object);
        if (!dialog || !dialog->isWindow())
            return false;
        auto *box = qobject_cast<QMessageBox *>(dialog);
        shown.append({dialog->metaObject()->className(), dialog->windowTitle(),
                      box ? box->text() : QString()});
        QPointer<QDialog> guard(dialog);
        QTimer::singleShot(300, this, [guard]() {
            if (guard && guard->isVisible())
                guard->reject();
        });
        return false;
    }
};

const char *securityTitle = "Сообщение системы безопасности";
const char *securityText = "У вас нет прав на выполнение операции";

} // namespace

class MainWindowAccessTest : public QObject
{
    Q_OBJECT
private:
    QScopedPointer<TestSupport::TestDatabase> m_db;

    VDB::DataBase *db() const { return m_db->db(); }
    SharedGroup group(int index) const { return db()->groups().at(index); }
    static QAction *action(OrvaneWindow &w, const char *name)
    {
        return w.findChild<QAction *>(name);
    }
    static GroupsAndUsersSummaryWidget *summary(OrvaneWindow &w)
    {
        return w.findChild<GroupsAndUsersSummaryWidget *>();
    }
    static QStringList groupNames(OrvaneWindow &w)
    {
        QStringList names;
        QTreeWidgetItem *root = w.findChild<QTreeWidget *>()->topLevelItem(0);
        for (int i = 0; i < root->childCount(); ++i)
            names << root->child(i)->text(0);
        return names;
    }
    // Selects the group's row on the summary page and presses its delete button.
    static void deleteFromSummary(OrvaneWindow &w, const QString &name)
    {
        auto *table = summary(w)->findChild<QTableWidget *>("summaryTableWidget");
        for (int row = 0; row < table->rowCount(); ++row) {
            if (table->item(row, 0)->text() == name)
                table->selectRow(row);
        }
        summary(w)->findChild<QPushButton *>("removeGroupButton")->click();
    }
    // Answers the next modal: a message box is recorded and gets `button`,
    // a dialog of the class `accept` is accepted, any other dialog rejected.
    static std::shared_ptr<TestSupport::SeenMessageBox> answer(QMessageBox::StandardButton button,
                                                               const char *accept = nullptr)
    {
        if (!accept)
            return TestSupport::answerNextMessageBox(button);
        TestSupport::onNextModal([accept](QWidget *widget) {
            auto *dialog = qobject_cast<QDialog *>(widget);
            if (dialog && widget->inherits(accept))
                QMetaObject::invokeMethod(dialog, "accept");
            else if (dialog)
                dialog->reject();
        });
        return nullptr;
    }

    void loginAs(int role, const QList<SharedGroup> &groups)
    {
        const SharedUser user = m_db->addUser(u("Тестов"), u("Тест"), groups, role, "tester");
        QVERIFY(user);
        db()->setCurrentUser(user);
    }

private slots:
    void init()
    {
        m_db.reset(new TestSupport::TestDatabase);
        QVERIFY(m_db->isValid());
        QVERIFY(db()->login("admin", "tavro"));
    }

    void cleanup()
    {
        QVERIFY(!QApplication::activeModalWidget());
        m_db.reset();
    }

    void refusals_data()
    {
        QTest::addColumn<int>("role");
        QTest::addColumn<int>("groupIndex");
        QTest::addColumn<QString>("trigger");
        const QStringList triggers
            = {"actionAddUser",   "actionEditUser", "actionDelUser",  "actionAddGroup",
               "actionEditGroup", "actionDelGroup", "actionSettings", "actionDeviceSettings",
               "summaryAddGroup", "summaryDelGroup"};
        for (const QString &trigger : triggers) {
            // An operator in "Операторы" (rights 3) and a plain user in
            // "Пользователи" (no rights).
            QTest::newRow(qPrintable("operator " + trigger)) << int(User::Operator) << 1 << trigger;
            QTest::newRow(qPrintable("user " + trigger)) << int(User::PlainUser) << 2 << trigger;
        }
    }

    void refusals()
    {
        QFETCH(int, role);
        QFETCH(int, groupIndex);
        QFETCH(QString, trigger);
        loginAs(role, {group(groupIndex)});
        const SharedUser other = m_db->addUser(u("Петров"), u("Пётр"), {group(2)});
        QVERIFY(other);
        OrvaneWindow w;
        DialogWatcher watcher;
        for (const char *name : {"actionEditUser", "actionDelUser"})
            action(w, name)->setData(QVariant::fromValue(other));
        for (const char *name : {"actionEditGroup", "actionDelGroup"})
            action(w, name)->setData(QVariant::fromValue(group(2)));

        auto box = answer(QMessageBox::Ok);
        if (trigger == "summaryAddGroup")
            summary(w)->findChild<QPushButton *>("addGroupButton")->click();
        else if (trigger == "summaryDelGroup")
            deleteFromSummary(w, u("Пользователи"));
        else
            action(w, qPrintable(trigger))->trigger();

        QVERIFY(box->seen);
        QCOMPARE(box->title, u(securityTitle));
        QCOMPARE(box->text, u(securityText));
        QCOMPARE(box->icon, QMessageBox::Critical);
        // Nothing opened after the refusal, nothing changed.
        QCOMPARE(watcher.classNames(), QStringList {"QMessageBox"});
        QCOMPARE(db()->groups().size(), 3);
        QCOMPARE(db()->users().size(), 3);
    }

    void settingsRight()
    {
        // Rights 7 include the program settings (4).
        loginAs(User::PlainUser, {group(0)});
        OrvaneWindow w;
        DialogWatcher watcher;
        answer(QMessageBox::Cancel);
        action(w, "actionSettings")->trigger();
        // The device settings start with the device search, which the watcher closes.
        action(w, "actionDeviceSettings")->trigger();
        answer(QMessageBox::Ok);
        action(w, "actionAddUser")->trigger();
        QCOMPARE(watcher.classNames(),
                 (QStringList {"ProgrammSettingsDialog", "FindDeviceDialog", "QMessageBox"}));
        QCOMPARE(watcher.shown.last().text, u(securityText));
    }

    void uncheckedSlotsOpenTheirDialogs()
    {
        loginAs(User::PlainUser, {group(2)});
        OrvaneWindow w;
        DialogWatcher watcher;
        for (const char *name : {"actionExceededThresouldsList", "actionThresouldsList",
                                 "actionAbout", "actionDeviceUsage"}) {
            if (QByteArray(name) == "actionDeviceUsage")
                action(w, name)->setData(QVariant::fromValue(group(1)));
            answer(QMessageBox::Cancel);
            action(w, name)->trigger();
        }
        QCOMPARE(watcher.classNames(),
                 (QStringList {"ExceededThreshouldsDialog", "ThresholdListDialog", "AboutDialog",
                               "DeviceUsageDialog"}));
        QVERIFY(!action(w, "actionDeviceUsage")->data().isValid());
        // Without a group the device usage has nothing to work on.
        action(w, "actionDeviceUsage")->trigger();
        w.deviceUsage(); // not from the action
        QCOMPARE(watcher.shown.size(), 4);
    }

    void adminOpensEditorsAndConsumesActionData()
    {
        OrvaneWindow w;
        DialogWatcher watcher;
        const SharedUser admin = db()->users().at(0);
        answer(QMessageBox::Cancel);
        action(w, "actionAddGroup")->trigger();
        answer(QMessageBox::Cancel);
        summary(w)->findChild<QPushButton *>("addGroupButton")->click();
        action(w, "actionEditGroup")->setData(QVariant::fromValue(group(1)));
        answer(QMessageBox::Cancel);
        action(w, "actionEditGroup")->trigger();
        QVERIFY(!action(w, "actionEditGroup")->data().isValid());
        action(w, "actionAddUser")->setData(QVariant::fromValue(group(1)));
        answer(QMessageBox::Cancel);
        action(w, "actionAddUser")->trigger();
        QVERIFY(!action(w, "actionAddUser")->data().isValid());
        action(w, "actionEditUser")->setData(QVariant::fromValue(admin));
        answer(QMessageBox::Cancel);
        action(w, "actionEditUser")->trigger();
        QVERIFY(!action(w, "actionEditUser")->data().isValid());
        answer(QMessageBox::Cancel);
        action(w, "actionSettings")->trigger();
        QCOMPARE(watcher.classNames(),
                 (QStringList {"GroupEditDialog", "GroupEditDialog", "GroupEditDialog",
                               "UserEditDialog", "UserEditDialog", "ProgrammSettingsDialog"}));
    }

    void deleteEmptyGroupAsks()
    {
        OrvaneWindow w;
        DialogWatcher watcher;
        const QString question = u("Удалить \"Пользователи\"?");
        bool defaultNo = false;
        TestSupport::onNextModal([&](QWidget *widget) {
            auto *box = qobject_cast<QMessageBox *>(widget);
            QVERIFY(box);
            defaultNo = box->defaultButton() == box->button(QMessageBox::No)
                && box->standardButtons() == (QMessageBox::Yes | QMessageBox::No);
            box->button(QMessageBox::No)->click();
        });
        action(w, "actionDelGroup")->setData(QVariant::fromValue(group(2)));
        action(w, "actionDelGroup")->trigger();
        QVERIFY(defaultNo);
        QCOMPARE(watcher.shown.size(), 1);
        QCOMPARE(watcher.shown.at(0).title, question);
        QCOMPARE(watcher.shown.at(0).text, question);
        QCOMPARE(db()->groups().size(), 3);
        QVERIFY(!action(w, "actionDelGroup")->data().isValid());

        answer(QMessageBox::Yes);
        deleteFromSummary(w, u("Пользователи"));
        QCOMPARE(watcher.shown.at(1).text, question);
        QCOMPARE(db()->groups().size(), 2);
        QCOMPARE(groupNames(w), (QStringList {u("Администраторы"), u("Операторы")}));
    }

    void deleteGroupWithMembersMovesThem()
    {
        const SharedUser only = m_db->addUser(u("Петров"), u("Пётр"), {group(1)});
        const SharedUser also = m_db->addUser(u("Сидоров"), u("Сидор"), {group(1), group(2)});
        QVERIFY(only && also);
        const SharedGroup operators = group(1);
        OrvaneWindow w;
        DialogWatcher watcher;

        answer(QMessageBox::Cancel); // rejects the move dialog
        action(w, "actionDelGroup")->setData(QVariant::fromValue(operators));
        action(w, "actionDelGroup")->trigger();
        QCOMPARE(watcher.classNames(), QStringList {"GroupDeleteDialog"});
        QCOMPARE(db()->groups().size(), 3);

        TestSupport::onNextModal([](QWidget *dialog) {
            dialog->findChild<QComboBox *>("groupsComboBox")->setCurrentIndex(1);
            QMetaObject::invokeMethod(dialog, "accept");
        });
        action(w, "actionDelGroup")->setData(QVariant::fromValue(operators));
        action(w, "actionDelGroup")->trigger();
        QCOMPARE(watcher.classNames(), (QStringList {"GroupDeleteDialog", "GroupDeleteDialog"}));
        QCOMPARE(db()->groups().size(), 2);
        QCOMPARE(only->groups, QList<SharedGroup> {group(0)});
        QCOMPARE(also->groups, QList<SharedGroup> {group(1)});
        QCOMPARE(groupNames(w), (QStringList {u("Администраторы"), u("Пользователи")}));
    }

    void lastGroup()
    {
        {
            OrvaneWindow w;
            QAction *del = action(w, "actionDelGroup");
            QVERIFY(del->isEnabled());
            QVERIFY(db()->deleteGroup(group(2), SharedGroup()));
            QVERIFY(del->isEnabled());
            QVERIFY(db()->deleteGroup(group(1), SharedGroup()));
            QVERIFY(!del->isEnabled());

            // Its members would be left in no group: the window refuses.
            DialogWatcher watcher;
            answer(QMessageBox::Ok, "GroupDeleteDialog");
            deleteFromSummary(w, u("Администраторы"));
            QTRY_COMPARE(watcher.shown.size(), 2);
            QCOMPARE(watcher.shown.at(1).title, u("Предупреждение"));
            QCOMPARE(db()->groups().size(), 1);
            QCOMPARE(db()->users().at(0)->groups, QList<SharedGroup> {group(0)});

            QVERIFY(db()->addGroup(u("Вторая"), QString(), 0));
            QVERIFY(del->isEnabled());
            QVERIFY(db()->deleteGroup(group(1), SharedGroup()));
            QVERIFY(!del->isEnabled());
        }
        // A window opened with one group knows it from the start.
        OrvaneWindow w;
        QVERIFY(!action(w, "actionDelGroup")->isEnabled());
    }

    void deleteUsers()
    {
        const SharedUser plain = m_db->addUser(u("Петров"), u("Пётр"), {group(2)});
        const SharedUser withHistory = m_db->addUser(u("Сидоров"), u("Сидор"), {group(2)});
        QVERIFY(plain && withHistory);
        QVERIFY(
            m_db->insertEvents(withHistory, {{QDateTime(QDate(2020, 1, 1), QTime(10, 0)), 0.1}}));
        OrvaneWindow w;
        DialogWatcher watcher;
        QAction *del = action(w, "actionDelUser");

        del->setData(QVariant::fromValue(plain));
        auto box = answer(QMessageBox::No);
        del->trigger();
        QCOMPARE(box->title, u("Удалить \"Петров Пётр\"?"));
        QCOMPARE(box->text, box->title);
        QVERIFY(db()->users().contains(plain));
        QVERIFY(!del->data().isValid());

        del->setData(QVariant::fromValue(plain));
        answer(QMessageBox::Yes);
        del->trigger();
        QVERIFY(!db()->users().contains(plain));

        // A refusal of the store is shown as it comes.
        std::shared_ptr<TestSupport::SeenMessageBox> warning;
        TestSupport::onNextModal([&](QWidget *widget) {
            warning = TestSupport::answerNextMessageBox(QMessageBox::Ok);
            qobject_cast<QMessageBox *>(widget)->button(QMessageBox::Yes)->click();
        });
        del->setData(QVariant::fromValue(withHistory));
        del->trigger();
        QVERIFY(warning && warning->seen);
        QCOMPARE(warning->title, u("Предупреждение"));
        QVERIFY(warning->text.startsWith(u("Невозможно удалить пользователя Сидоров Сидор")));
        QVERIFY(db()->users().contains(withHistory));

        // The administrator is never deleted, whoever asks.
        del->setData(QVariant::fromValue(db()->users().at(0)));
        box = answer(QMessageBox::Ok);
        del->trigger();
        QCOMPARE(box->title, u("Внимание"));
        QCOMPARE(box->text, u("Невозможно удалить главного администратора"));
        QCOMPARE(db()->users().size(), 2);
        QVERIFY(!del->data().isValid());
    }
};

QTEST_MAIN(MainWindowAccessTest)
#include "tst_mainwindowaccess.moc"
