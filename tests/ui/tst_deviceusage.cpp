#include "common/ModalHelper.h"
#include "common/TestDatabase.h"

#include "ui/DeviceUsageDialog.h"
#include "ui/OrvaneWindow.h"

#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QtTest>

using TestSupport::TestDatabase;

namespace {

template<typename T> T *child(QWidget *parent, const char *name)
{
    T *widget = parent->findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("no child %s", name);
    return widget;
}

// Runs the dialog modally, chooses allow or forbid with `reason` and presses `button`.
int runDialog(DeviceUsageDialog &dialog, bool allow, const QString &reason,
              QDialogButtonBox::StandardButton button)
{
    TestSupport::onNextModal([=](QWidget *widget) {
        child<QRadioButton>(widget, allow ? "enableRadioButton" : "disableRadioButton")
            ->setChecked(true);
        child<QPlainTextEdit>(widget, "reasonTextEdit")->setPlainText(reason);
        child<QDialogButtonBox>(widget, "buttonBox")->button(button)->click();
    });
    return dialog.exec();
}

// Tree items of `user` in the main window's component tree (one per membership).
QList<QTreeWidgetItem *> userItems(QTreeWidget *tree, const SharedUser &user)
{
    // Roles 257 and 258 hold the item's kind (2 for a user) and its record.
    QList<QTreeWidgetItem *> items;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        if ((*it)->data(0, Qt::UserRole + 1).toInt() == 2
            && (*it)->data(0, Qt::UserRole + 2).value<SharedUser>() == user)
            items << *it;
    }
    return items;
}

} // namespace

class DeviceUsageDialogTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void titleAndInitialState();
    void reasonFollowsTheChoice();
    void forbidAndAllowEveryMember();
    void membersAreStruckOutInTheTree();
    void cancelChangesNothing();
    void noGroupJustCloses();

private:
    SharedGroup m_group;
    SharedUser m_first;
    SharedUser m_second;
    SharedUser m_outsider;
    QScopedPointer<TestDatabase> m_db;
};

void DeviceUsageDialogTest::init()
{
    m_db.reset(new TestDatabase);
    QVERIFY(m_db->isValid());
    m_group = m_db->db()->groups().at(1);
    QCOMPARE(m_group->name, QStringLiteral("Операторы"));
    m_first = m_db->addUser(QStringLiteral("Первов"), QStringLiteral("Иван"), {m_group});
    m_second = m_db->addUser(QStringLiteral("Вторых"), QStringLiteral("Анна"), {m_group});
    m_outsider = m_db->addUser(QStringLiteral("Сторонний"), QStringLiteral("Олег"),
                               {m_db->db()->groups().at(2)});
    QVERIFY(m_first && m_second && m_outsider);
    QVERIFY(m_db->db()->setDeviceUsage(m_group, true, QString()));
    QVERIFY(m_db->db()->setDeviceUsage(m_db->db()->groups().at(2), true, QString()));
    QVERIFY(m_first->canUseDevice && m_second->canUseDevice);
}

void DeviceUsageDialogTest::cleanup()
{
    m_group.clear();
    m_first.clear();
    m_second.clear();
    m_outsider.clear();
    m_db.reset();
}

void DeviceUsageDialogTest::titleAndInitialState()
{
    DeviceUsageDialog dialog(m_group);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Использование приборов (Операторы)"));
    QVERIFY(child<QRadioButton>(&dialog, "enableRadioButton")->isChecked());
    QVERIFY(!child<QPlainTextEdit>(&dialog, "reasonTextEdit")->isEnabled());
    QVERIFY(child<QPlainTextEdit>(&dialog, "reasonTextEdit")->toPlainText().isEmpty());

    DeviceUsageDialog none {SharedGroup()};
    QCOMPARE(none.windowTitle(), QStringLiteral("Использование приборов (программисты)"));
}

void DeviceUsageDialogTest::reasonFollowsTheChoice()
{
    DeviceUsageDialog dialog(m_group);
    auto *reason = child<QPlainTextEdit>(&dialog, "reasonTextEdit");
    child<QRadioButton>(&dialog, "disableRadioButton")->setChecked(true);
    QVERIFY(reason->isEnabled());
    reason->setPlainText(QStringLiteral("нет допуска"));
    child<QRadioButton>(&dialog, "enableRadioButton")->setChecked(true);
    QVERIFY(!reason->isEnabled());
    QCOMPARE(reason->toPlainText(), QStringLiteral("нет допуска"));
}

void DeviceUsageDialogTest::forbidAndAllowEveryMember()
{
    VDB::DataBase *db = m_db->db();
    QSignalSpy updated(db, &VDB::DataBase::userUpdated);
    const QString reason = QStringLiteral("Просрочен медосмотр'; DROP TABLE Users; --");

    DeviceUsageDialog forbid(m_group);
    QCOMPARE(runDialog(forbid, false, reason, QDialogButtonBox::Ok), int(QDialog::Accepted));
    // Every member is announced, in the group's order, and is struck out in the views.
    QCOMPARE(updated.count(), 2);
    QCOMPARE(updated.at(0).at(0).value<SharedUser>(), m_first);
    QCOMPARE(updated.at(1).at(0).value<SharedUser>(), m_second);
    QVERIFY(!m_first->canUseDevice);
    QVERIFY(!m_second->canUseDevice);
    QCOMPARE(m_first->usageReason, reason);
    QVERIFY(m_outsider->canUseDevice);

    updated.clear();
    DeviceUsageDialog allow(m_group);
    QCOMPARE(runDialog(allow, true, QStringLiteral("снова можно"), QDialogButtonBox::Ok),
             int(QDialog::Accepted));
    QCOMPARE(updated.count(), 2);
    QVERIFY(m_first->canUseDevice);
    QVERIFY(m_second->canUseDevice);
    // Allowing keeps the last reason for a ban.
    QCOMPARE(m_first->usageReason, reason);

    m_db->reopen();
    QVERIFY(m_db->db()->users().at(1)->canUseDevice);
    QCOMPARE(m_db->db()->users().at(1)->usageReason, reason);
}

void DeviceUsageDialogTest::membersAreStruckOutInTheTree()
{
    m_db->db()->setCurrentUser(m_db->db()->users().first());
    OrvaneWindow window;
    auto *tree = window.findChild<QTreeWidget *>(QStringLiteral("componentsTreeWidget"));
    if (!tree)
        QSKIP("the main window has no component tree yet");
    QCOMPARE(userItems(tree, m_first).size(), 1);
    QVERIFY(!userItems(tree, m_first).first()->font(0).strikeOut());

    DeviceUsageDialog forbid(m_group, &window);
    QCOMPARE(runDialog(forbid, false, QStringLiteral("нет допуска"), QDialogButtonBox::Ok),
             int(QDialog::Accepted));
    for (const SharedUser &user : {m_first, m_second}) {
        QCOMPARE(userItems(tree, user).size(), 1);
        QVERIFY(userItems(tree, user).first()->font(0).strikeOut());
    }
    QVERIFY(!userItems(tree, m_outsider).first()->font(0).strikeOut());

    DeviceUsageDialog allow(m_group, &window);
    QCOMPARE(runDialog(allow, true, QString(), QDialogButtonBox::Ok), int(QDialog::Accepted));
    for (const SharedUser &user : {m_first, m_second})
        QVERIFY(!userItems(tree, user).first()->font(0).strikeOut());
}

void DeviceUsageDialogTest::cancelChangesNothing()
{
    QSignalSpy updated(m_db->db(), &VDB::DataBase::userUpdated);
    DeviceUsageDialog dialog(m_group);
    QCOMPARE(runDialog(dialog, false, QStringLiteral("x"), QDialogButtonBox::Cancel),
             int(QDialog::Rejected));
    QCOMPARE(updated.count(), 0);
    QVERIFY(m_first->usageReason.isEmpty());
}

void DeviceUsageDialogTest::noGroupJustCloses()
{
    QSignalSpy updated(m_db->db(), &VDB::DataBase::userUpdated);
    DeviceUsageDialog dialog {SharedGroup()};
    QCOMPARE(runDialog(dialog, false, QStringLiteral("x"), QDialogButtonBox::Ok),
             int(QDialog::Accepted));
    QCOMPARE(updated.count(), 0);
}

QTEST_MAIN(DeviceUsageDialogTest)
#include "tst_deviceusage.moc"
