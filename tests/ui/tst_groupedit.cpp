#include "common/ModalHelper.h"
#include "common/TestDatabase.h"

#include "ui/GroupDeleteDialog.h"
#include "ui/GroupEditDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
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

void pressOk(QWidget *dialog)
{
    child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
}

} // namespace

class GroupDialogsTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void editShowsNameDescriptionAndRights();
    void addsGroupWithRightsAndTextsAsTyped();
    void refusesEmptyAndDuplicateNames();
    void renamingToOwnNameOrOtherCaseIsAccepted();
    void cancelStoresNothing();

    void deleteDialogOffersTheOtherGroups();
    void deleteWithMembersMovesOnlyOrphans();
    void deleteNeedsAChoiceOnlyForOrphans();
    void deleteWithoutMembersNeedsNoTarget();
    void lastGroupGivesEmptyTarget();

private:
    SharedGroup group(const QString &name) const;
    QScopedPointer<TestDatabase> m_db;
};

void GroupDialogsTest::init()
{
    m_db.reset(new TestDatabase);
    QVERIFY(m_db->isValid());
}

void GroupDialogsTest::cleanup()
{
    m_db.reset();
}

SharedGroup GroupDialogsTest::group(const QString &name) const
{
    for (const SharedGroup &g : m_db->db()->groups()) {
        if (g->name == name)
            return g;
    }
    return SharedGroup();
}

void GroupDialogsTest::editShowsNameDescriptionAndRights()
{
    GroupEditDialog dialog(group(QStringLiteral("Операторы")));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Добавить/Редактировать группу"));
    QCOMPARE(child<QLineEdit>(&dialog, "nameLineEdit")->text(), QStringLiteral("Операторы"));
    QCOMPARE(child<QPlainTextEdit>(&dialog, "descriptionTextEdit")->toPlainText(),
             QStringLiteral("Начальная группа операторов"));
    QVERIFY(child<QCheckBox>(&dialog, "deviceLinkCheckBox")->isChecked());
    QVERIFY(child<QCheckBox>(&dialog, "deviceSettingsCheckBox")->isChecked());
    QVERIFY(!child<QCheckBox>(&dialog, "programmSettingsCheckBox")->isChecked());

    GroupEditDialog admins(group(QStringLiteral("Администраторы")));
    QVERIFY(child<QCheckBox>(&admins, "programmSettingsCheckBox")->isChecked());

    GroupEditDialog fresh {SharedGroup()};
    QVERIFY(child<QLineEdit>(&fresh, "nameLineEdit")->text().isEmpty());
    QVERIFY(!child<QCheckBox>(&fresh, "deviceLinkCheckBox")->isChecked());
}

void GroupDialogsTest::addsGroupWithRightsAndTextsAsTyped()
{
    const QString name = QStringLiteral("Смена \"Б\"; DROP TABLE Groups; --'");
    const QString description = QStringLiteral("Строка 1\nINSERT INTO 'Groups' VALUES (1);");
    GroupEditDialog dialog {SharedGroup()};
    dialog.show();
    QSignalSpy added(m_db->db(), &VDB::DataBase::groupAdded);
    child<QLineEdit>(&dialog, "nameLineEdit")->setText(name);
    child<QPlainTextEdit>(&dialog, "descriptionTextEdit")->setPlainText(description);
    child<QCheckBox>(&dialog, "deviceLinkCheckBox")->setChecked(true);
    child<QCheckBox>(&dialog, "programmSettingsCheckBox")->setChecked(true);
    pressOk(&dialog);

    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(added.count(), 1);
    const SharedGroup created = added.at(0).at(0).value<SharedGroup>();
    QCOMPARE(created->name, name);
    QCOMPARE(created->description, description);
    QCOMPARE(created->access, 5);

    m_db->reopen();
    QCOMPARE(m_db->db()->groups().size(), 4);
    QCOMPARE(m_db->db()->groups().last()->name, name);
    QCOMPARE(m_db->db()->groups().last()->access, 5);
}

void GroupDialogsTest::refusesEmptyAndDuplicateNames()
{
    const SharedGroup users = group(QStringLiteral("Пользователи"));
    GroupEditDialog dialog(users);
    dialog.show();
    QSignalSpy updated(m_db->db(), &VDB::DataBase::groupUpdated);
    auto *name = child<QLineEdit>(&dialog, "nameLineEdit");
    child<QCheckBox>(&dialog, "deviceLinkCheckBox")->setChecked(true);

    name->clear();
    auto seen = TestSupport::answerNextMessageBox(QMessageBox::Ok);
    pressOk(&dialog);
    QVERIFY(seen->seen);
    QCOMPARE(seen->title, QStringLiteral("Предупреждение"));
    QCOMPARE(seen->text, QStringLiteral("Необходимо задать название группы"));
    QVERIFY(dialog.isVisible());

    name->setText(QStringLiteral("Операторы"));
    seen = TestSupport::answerNextMessageBox(QMessageBox::Ok);
    pressOk(&dialog);
    QVERIFY(seen->seen);
    QCOMPARE(seen->text, QStringLiteral("Группа \"Операторы\" уже существует"));
    QVERIFY(dialog.isVisible());
    QCOMPARE(name->text(), QStringLiteral("Операторы"));
    QVERIFY(child<QCheckBox>(&dialog, "deviceLinkCheckBox")->isChecked());

    QCOMPARE(updated.count(), 0);
    QCOMPARE(users->name, QStringLiteral("Пользователи"));
    QCOMPARE(users->access, 0);
}

void GroupDialogsTest::renamingToOwnNameOrOtherCaseIsAccepted()
{
    const SharedGroup users = group(QStringLiteral("Пользователи"));
    GroupEditDialog same(users);
    same.show();
    child<QCheckBox>(&same, "deviceSettingsCheckBox")->setChecked(true);
    pressOk(&same);
    QCOMPARE(same.result(), int(QDialog::Accepted));
    QCOMPARE(users->access, 2);

    GroupEditDialog otherCase(users);
    otherCase.show();
    child<QLineEdit>(&otherCase, "nameLineEdit")->setText(QStringLiteral("операторы"));
    pressOk(&otherCase);
    QCOMPARE(otherCase.result(), int(QDialog::Accepted));
    QCOMPARE(users->name, QStringLiteral("операторы"));
}

void GroupDialogsTest::cancelStoresNothing()
{
    const SharedGroup users = group(QStringLiteral("Пользователи"));
    GroupEditDialog dialog(users);
    QSignalSpy updated(m_db->db(), &VDB::DataBase::groupUpdated);
    TestSupport::onNextModal([](QWidget *widget) {
        child<QLineEdit>(widget, "nameLineEdit")->setText(QStringLiteral("Другие"));
        child<QDialogButtonBox>(widget, "buttonBox")->button(QDialogButtonBox::Cancel)->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QCOMPARE(updated.count(), 0);
    QCOMPARE(users->name, QStringLiteral("Пользователи"));
}

void GroupDialogsTest::deleteDialogOffersTheOtherGroups()
{
    GroupDeleteDialog dialog(group(QStringLiteral("Операторы")));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Удалить группу"));
    auto *combo = child<QComboBox>(&dialog, "groupsComboBox");
    // Nothing preset: the first entry stands for no group.
    QCOMPARE(combo->count(), 3);
    QCOMPARE(combo->currentIndex(), 0);
    QCOMPARE(combo->itemText(0), QStringLiteral("Не выбрана"));
    QVERIFY(!combo->itemData(0).value<SharedGroup>());
    QCOMPARE(combo->itemText(1), QStringLiteral("Администраторы"));
    QCOMPARE(combo->itemText(2), QStringLiteral("Пользователи"));
    QVERIFY(combo->itemIcon(1).isNull());
    QCOMPARE(combo->itemData(2).value<SharedGroup>(), group(QStringLiteral("Пользователи")));
    QVERIFY(!dialog.targetGroup());
}

void GroupDialogsTest::deleteWithMembersMovesOnlyOrphans()
{
    VDB::DataBase *db = m_db->db();
    const SharedGroup operators = group(QStringLiteral("Операторы"));
    const SharedGroup users = group(QStringLiteral("Пользователи"));
    const SharedUser only
        = m_db->addUser(QStringLiteral("Одиноков"), QStringLiteral("Иван"), {operators});
    const SharedUser both = m_db->addUser(QStringLiteral("Двойнов"), QStringLiteral("Иван"),
                                          {operators, group(QStringLiteral("Администраторы"))});
    QVERIFY(only && both);

    // The caller runs the dialog and deletes with the chosen target.
    GroupDeleteDialog dialog(operators);
    TestSupport::onNextModal([](QWidget *widget) {
        child<QComboBox>(widget, "groupsComboBox")->setCurrentIndex(2);
        child<QDialogButtonBox>(widget, "buttonBox")->button(QDialogButtonBox::Ok)->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(dialog.targetGroup(), users);

    QSignalSpy deleted(db, &VDB::DataBase::groupDeleted);
    QVERIFY(db->deleteGroup(operators, dialog.targetGroup()));
    QCOMPARE(deleted.count(), 1);
    QVERIFY(!db->groups().contains(operators));
    QCOMPARE(only->groups, QList<SharedGroup> {users});
    QVERIFY(users->users.contains(only));
    QCOMPARE(both->groups, QList<SharedGroup> {group(QStringLiteral("Администраторы"))});
    QVERIFY(!users->users.contains(both));

    m_db->reopen();
    QCOMPARE(m_db->db()->groups().size(), 2);
    QCOMPARE(m_db->db()->users().at(1)->groups.size(), 1);
    QCOMPARE(m_db->db()->users().at(1)->groups.first()->name, QStringLiteral("Пользователи"));
}

void GroupDialogsTest::deleteNeedsAChoiceOnlyForOrphans()
{
    const SharedGroup operators = group(QStringLiteral("Операторы"));
    QVERIFY(m_db->addUser(QStringLiteral("Двойнов"), QStringLiteral("Иван"),
                          {operators, group(QStringLiteral("Пользователи"))}));
    {
        // Every member keeps another group: OK without a choice is fine.
        GroupDeleteDialog dialog(operators);
        TestSupport::onNextModal([](QWidget *widget) { pressOk(widget); });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QVERIFY(!dialog.targetGroup());
    }
    QVERIFY(m_db->addUser(QStringLiteral("Одиноков"), QStringLiteral("Иван"), {operators}));
    GroupDeleteDialog dialog(operators);
    dialog.show();
    auto refusal = TestSupport::answerNextMessageBox(QMessageBox::Ok);
    pressOk(&dialog);
    QVERIFY(refusal->seen);
    QCOMPARE(refusal->title, QStringLiteral("Предупреждение"));
    QVERIFY(dialog.isVisible());
    QVERIFY(!dialog.targetGroup());
}

void GroupDialogsTest::deleteWithoutMembersNeedsNoTarget()
{
    VDB::DataBase *db = m_db->db();
    const SharedGroup operators = group(QStringLiteral("Операторы"));
    QVERIFY(operators->users.isEmpty());
    QSignalSpy deleted(db, &VDB::DataBase::groupDeleted);
    QVERIFY(db->deleteGroup(operators, SharedGroup()));
    QCOMPARE(deleted.count(), 1);
    QCOMPARE(db->groups().size(), 2);

    // With a member who would be left without any group, an empty target is refused.
    const SharedGroup users = group(QStringLiteral("Пользователи"));
    const SharedUser member
        = m_db->addUser(QStringLiteral("Членов"), QStringLiteral("Иван"), {users});
    QVERIFY(member);
    QVERIFY(!db->deleteGroup(users, SharedGroup()));
    QCOMPARE(deleted.count(), 1);
    QVERIFY(db->groups().contains(users));
    QCOMPARE(member->groups, QList<SharedGroup> {users});
}

void GroupDialogsTest::lastGroupGivesEmptyTarget()
{
    VDB::DataBase *db = m_db->db();
    QVERIFY(db->deleteGroup(group(QStringLiteral("Операторы")), SharedGroup()));
    QVERIFY(db->deleteGroup(group(QStringLiteral("Пользователи")), SharedGroup()));
    QCOMPARE(db->groups().size(), 1);

    GroupDeleteDialog dialog(db->groups().first());
    QCOMPARE(child<QComboBox>(&dialog, "groupsComboBox")->count(), 1);
    TestSupport::onNextModal([](QWidget *widget) {
        child<QDialogButtonBox>(widget, "buttonBox")->button(QDialogButtonBox::Ok)->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QVERIFY(!dialog.targetGroup());
}

QTEST_MAIN(GroupDialogsTest)
#include "tst_groupedit.moc"
