#include "common/ModalHelper.h"
#include "common/TestDatabase.h"
#include "dose/ThresholdEditDialog.h"
#include "dose/ThresholdListDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QtTest>

class TestThresholdDialogs : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    // ThresholdEditDialog
    void editFormFollowsTheKind();
    void editWritesOnlyOnAccept();
    void editKeepsWhatTheSpinBoxesCannotShow();
    void editLinksTheCheckedGroups();
    void editRefusesAnEmptyName();

    // ThresholdListDialog
    void listShowsTheStore();
    void buttonsFollowTheSelection();
    void addThenCancelLeavesNothing();
    void addThenDeleteLeavesNothing();
    void deleteStoredGivesOneDelete();
    void editThenCancelLeavesNothing();
    void editThenAcceptGivesOneUpdate();
    void saveWritesEverythingInOneCall();
    void cancelChangesNothing();
    void refusedSaveKeepsTheDialogOpen();

private:
    static void answerEdit(std::function<void(QDialog *)> fill, bool accept);
    static void select(QTableWidget *table, int row);
    template<typename T> static T *child(QWidget *parent, const char *name)
    {
        T *found = parent->findChild<T *>(QLatin1String(name));
        if (!found)
            qWarning("no child %s", name);
        return found;
    }
    SharedThreshold addThreshold(const QString &name, bool isUser,
                                 const QList<SharedGroup> &groups = {});
    QStringList storedNames() const;

    QScopedPointer<TestSupport::TestDatabase> m_db;
    SharedGroup m_groupA;
    SharedGroup m_groupB;
};

void TestThresholdDialogs::init()
{
    m_db.reset(new TestSupport::TestDatabase);
    QVERIFY(m_db->isValid());
    QVERIFY(m_db->db()->addGroup("Группа А", QString(), 0));
    m_groupA = m_db->db()->groups().last();
    QVERIFY(m_db->db()->addGroup("Группа Б", QString(), 0));
    m_groupB = m_db->db()->groups().last();
}

void TestThresholdDialogs::cleanup()
{
    m_groupA.reset();
    m_groupB.reset();
    m_db.reset();
}

SharedThreshold TestThresholdDialogs::addThreshold(const QString &name, bool isUser,
                                                   const QList<SharedGroup> &groups)
{
    ThresholdChange change;
    change.data.isUser = isUser;
    change.data.name = name;
    change.data.value = 1.5;
    change.data.period = 7;
    change.data.groups = groups;
    if (!m_db->db()->saveThresholds({change}))
        return {};
    return m_db->db()->thresholds().last();
}

QStringList TestThresholdDialogs::storedNames() const
{
    QStringList names;
    for (const SharedThreshold &threshold : m_db->db()->thresholds())
        names.append(QStringLiteral("%1:%2:%3:%4")
                         .arg(threshold->name)
                         .arg(threshold->value)
                         .arg(threshold->period)
                         .arg(threshold->groups.size()));
    return names;
}

void TestThresholdDialogs::answerEdit(std::function<void(QDialog *)> fill, bool accept)
{
    TestSupport::onNextModal([fill, accept](QWidget *widget) {
        auto *dialog = qobject_cast<ThresholdEditDialog *>(widget);
        if (!dialog) {
            if (auto *other = qobject_cast<QDialog *>(widget))
                other->reject();
            return;
        }
        if (fill)
            fill(dialog);
        auto *box = dialog->findChild<QDialogButtonBox *>("buttonBox");
        box->button(accept ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
    });
}

void TestThresholdDialogs::select(QTableWidget *table, int row)
{
    table->setCurrentCell(row, 0);
    table->selectRow(row);
}

void TestThresholdDialogs::editFormFollowsTheKind()
{
    ThresholdData user;
    ThresholdEditDialog userDialog(&user);
    QCOMPARE(userDialog.windowTitle(), QString("Добавить/редактировать порог для пользователей"));
    QVERIFY(child<QListWidget>(&userDialog, "groupsListWidget")->isHidden());
    QVERIFY(child<QLabel>(&userDialog, "linkedGroupsLabel")->isHidden());
    QCOMPARE(userDialog.height(), 160);
    QCOMPARE(child<QLabel>(&userDialog, "labelUnit")->text(), QString("Порог, мЗв"));
    auto *value = child<QDoubleSpinBox>(&userDialog, "thresholdSpinBox");
    QCOMPARE(value->decimals(), 4);
    QCOMPARE(value->minimum(), 0.0001);
    QCOMPARE(value->maximum(), 9900.0);
    QCOMPARE(value->singleStep(), 0.0001);
    auto *days = child<QSpinBox>(&userDialog, "daysSpinBox");
    QCOMPARE(days->minimum(), 1);
    QCOMPARE(days->maximum(), 999);
    QCOMPARE(child<QComboBox>(&userDialog, "comboBox")->count(), 3);
    QCOMPARE(child<QComboBox>(&userDialog, "comboBox")->currentText(), QString("Гамма"));

    ThresholdData group;
    group.isUser = false;
    ThresholdEditDialog groupDialog(&group);
    QCOMPARE(groupDialog.windowTitle(), QString("Добавить/редактировать порог для группы"));
    QVERIFY(!child<QListWidget>(&groupDialog, "groupsListWidget")->isHidden());
    QCOMPARE(groupDialog.size(), QSize(389, 336));
}

void TestThresholdDialogs::editWritesOnlyOnAccept()
{
    ThresholdData data;
    {
        ThresholdEditDialog dialog(&data);
        child<QLineEdit>(&dialog, "nameLineEdit")->setText("changed");
        dialog.reject();
    }
    QVERIFY(data.name.isEmpty());
    QCOMPARE(data.value, 0.0001);

    const QString name = "  <b>Порог</b> & 'кавычки' \"; DROP TABLE Thresholds; --";
    ThresholdEditDialog dialog(&data);
    child<QLineEdit>(&dialog, "nameLineEdit")->setText(name);
    child<QComboBox>(&dialog, "comboBox")->setCurrentIndex(0);
    child<QDoubleSpinBox>(&dialog, "thresholdSpinBox")->setValue(12.3456);
    child<QSpinBox>(&dialog, "daysSpinBox")->setValue(30);
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(data.name, name);
    QCOMPARE(data.channel, 0);
    QCOMPARE(data.value, 12.3456);
    QCOMPARE(data.period, quint16(30));
    QVERIFY(data.groups.isEmpty());
}

void TestThresholdDialogs::editKeepsWhatTheSpinBoxesCannotShow()
{
    // A limit of 200 mSv shown in mR is 20000, beyond the spin box; a
    // neutron threshold has no item in the channel list.
    ThresholdData data;
    data.value = 20000;
    data.period = 1500;
    data.channel = 3;
    {
        ThresholdEditDialog dialog(&data);
        child<QLineEdit>(&dialog, "nameLineEdit")->setText("renamed");
        dialog.accept();
    }
    QCOMPARE(data.name, QString("renamed"));
    QCOMPARE(data.value, 20000.0);
    QCOMPARE(data.period, quint16(1500));
    QCOMPARE(data.channel, 3);

    data.value = 0.00012345; // more decimals than the spin box shows
    {
        ThresholdEditDialog dialog(&data);
        dialog.accept();
    }
    QCOMPARE(data.value, 0.00012345);

    // A value typed in is bounded by the range.
    ThresholdEditDialog dialog(&data);
    child<QDoubleSpinBox>(&dialog, "thresholdSpinBox")->setValue(1e9);
    child<QSpinBox>(&dialog, "daysSpinBox")->setValue(0);
    dialog.accept();
    QCOMPARE(data.value, 9900.0);
    QCOMPARE(data.period, quint16(1));
}

void TestThresholdDialogs::editLinksTheCheckedGroups()
{
    ThresholdData data;
    data.isUser = false;
    data.name = QStringLiteral("Групповой");
    data.groups = {m_groupB};
    ThresholdEditDialog dialog(&data);
    auto *list = child<QListWidget>(&dialog, "groupsListWidget");
    const QList<SharedGroup> groups = m_db->db()->groups();
    QCOMPARE(list->count(), groups.size());
    for (int row = 0; row < list->count(); ++row) {
        QCOMPARE(list->item(row)->text(), groups.at(row)->name);
        QCOMPARE(list->item(row)->data(Qt::UserRole).value<SharedGroup>(), groups.at(row));
        QCOMPARE(list->item(row)->checkState() == Qt::Checked, groups.at(row) == m_groupB);
    }
    list->item(groups.indexOf(m_groupB))->setCheckState(Qt::Unchecked);
    list->item(groups.indexOf(m_groupA))->setCheckState(Qt::Checked);
    list->item(0)->setCheckState(Qt::Checked);
    dialog.accept();
    QCOMPARE(data.groups, (QList<SharedGroup> {groups.first(), m_groupA}));
}

void TestThresholdDialogs::editRefusesAnEmptyName()
{
    ThresholdData data;
    data.name = QStringLiteral("Старое");
    ThresholdEditDialog dialog(&data);
    dialog.show();
    child<QLineEdit>(&dialog, "nameLineEdit")->setText("   ");
    auto refusal = TestSupport::answerNextMessageBox(QMessageBox::Ok);
    dialog.accept();
    QVERIFY(refusal->seen);
    QCOMPARE(refusal->title, QString("Предупреждение"));
    QCOMPARE(refusal->text, QString("Необходимо задать название порога"));
    QVERIFY(dialog.isVisible());
    QCOMPARE(data.name, QString("Старое"));
}

void TestThresholdDialogs::listShowsTheStore()
{
    addThreshold("Личный <1>", true);
    addThreshold("Групповой", false, {m_groupA, m_groupB});
    addThreshold("Личный 2", true);
    ThresholdListDialog dialog;
    QCOMPARE(dialog.windowTitle(), QString("Список порогов"));
    auto *users = child<QTableWidget>(&dialog, "userThresholdsTableWidget");
    auto *groups = child<QTableWidget>(&dialog, "groupsThresholdTableWidget");
    QCOMPARE(users->horizontalHeaderItem(2)->text(), QString("Порог, мЗв"));
    QCOMPARE(groups->columnCount(), 5);
    QCOMPARE(users->rowCount(), 2);
    QCOMPARE(groups->rowCount(), 1);
    QCOMPARE(users->item(0, 0)->text(), QString("Личный <1>"));
    QCOMPARE(users->item(0, 1)->text(), QString("Гамма"));
    QCOMPARE(users->item(0, 2)->text(), QString("1.5000"));
    QCOMPARE(users->item(0, 3)->text(), QString("7"));
    QCOMPARE(users->item(1, 0)->text(), QString("Личный 2"));
    QCOMPARE(groups->item(0, 4)->text(), QString("Группа А; Группа Б"));
    QCOMPARE(child<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Ok)->text(),
             QString("Сохранить и закрыть"));
    QVERIFY(dialog.pendingChanges().isEmpty());
}

void TestThresholdDialogs::buttonsFollowTheSelection()
{
    addThreshold("Личный", true);
    ThresholdListDialog dialog;
    auto *users = child<QTableWidget>(&dialog, "userThresholdsTableWidget");
    auto *edit = child<QPushButton>(&dialog, "editUserThresholdButton");
    auto *del = child<QPushButton>(&dialog, "delUserThresholdButton");
    QVERIFY(!edit->isEnabled() && !del->isEnabled());
    select(users, 0);
    QVERIFY(edit->isEnabled() && del->isEnabled());
    QVERIFY(!child<QPushButton>(&dialog, "editGroupThresholdButton")->isEnabled());
    users->clearSelection();
    QVERIFY(!edit->isEnabled() && !del->isEnabled());
}

void TestThresholdDialogs::addThenCancelLeavesNothing()
{
    ThresholdListDialog dialog;
    auto *users = child<QTableWidget>(&dialog, "userThresholdsTableWidget");
    answerEdit([](QDialog *d) { d->findChild<QLineEdit *>("nameLineEdit")->setText("x"); }, false);
    child<QPushButton>(&dialog, "addUserThresholdButton")->click();
    QCOMPARE(users->rowCount(), 0);
    QVERIFY(dialog.pendingChanges().isEmpty());
}

void TestThresholdDialogs::addThenDeleteLeavesNothing()
{
    addThreshold("Старый", false, {m_groupA});
    ThresholdListDialog dialog;
    auto *groups = child<QTableWidget>(&dialog, "groupsThresholdTableWidget");
    answerEdit(
        [](QDialog *d) {
            QVERIFY(d->windowTitle().endsWith("для группы"));
            d->findChild<QLineEdit *>("nameLineEdit")->setText("Новый");
        },
        true);
    child<QPushButton>(&dialog, "addGroupThresholdButton")->click();
    QCOMPARE(groups->rowCount(), 2);
    QCOMPARE(groups->item(1, 0)->text(), QString("Новый"));
    QList<ThresholdChange> changes = dialog.pendingChanges();
    QCOMPARE(changes.size(), 1);
    QCOMPARE(changes.first().action, int(ThresholdChange::Add));
    QVERIFY(!changes.first().data.isUser);
    QCOMPARE(changes.first().data.channel, 2);

    select(groups, 1);
    child<QPushButton>(&dialog, "delGroupThresholdButton")->click();
    QCOMPARE(groups->rowCount(), 1);
    QCOMPARE(groups->item(0, 0)->text(), QString("Старый"));
    QVERIFY(dialog.pendingChanges().isEmpty());
}

void TestThresholdDialogs::deleteStoredGivesOneDelete()
{
    const SharedThreshold first = addThreshold("Первый", true);
    const SharedThreshold second = addThreshold("Второй", true);
    ThresholdListDialog dialog;
    auto *users = child<QTableWidget>(&dialog, "userThresholdsTableWidget");
    select(users, 1);
    child<QPushButton>(&dialog, "delUserThresholdButton")->click();
    QCOMPARE(users->rowCount(), 1);
    const QList<ThresholdChange> changes = dialog.pendingChanges();
    QCOMPARE(changes.size(), 1);
    QCOMPARE(changes.first().action, int(ThresholdChange::Delete));
    QCOMPARE(changes.first().threshold, second);
    Q_UNUSED(first)
}

void TestThresholdDialogs::editThenCancelLeavesNothing()
{
    addThreshold("Личный", true);
    ThresholdListDialog dialog;
    auto *users = child<QTableWidget>(&dialog, "userThresholdsTableWidget");
    select(users, 0);
    answerEdit([](QDialog *d) { d->findChild<QLineEdit *>("nameLineEdit")->setText("x"); }, false);
    child<QPushButton>(&dialog, "editUserThresholdButton")->click();
    QCOMPARE(users->item(0, 0)->text(), QString("Личный"));
    QVERIFY(dialog.pendingChanges().isEmpty());
}

void TestThresholdDialogs::editThenAcceptGivesOneUpdate()
{
    const SharedThreshold stored = addThreshold("Групповой", false, {m_groupA});
    ThresholdListDialog dialog;
    auto *groups = child<QTableWidget>(&dialog, "groupsThresholdTableWidget");
    select(groups, 0);
    answerEdit(
        [](QDialog *d) {
            d->findChild<QLineEdit *>("nameLineEdit")->setText("Исправленный");
            d->findChild<QDoubleSpinBox *>("thresholdSpinBox")->setValue(2.25);
        },
        true);
    child<QPushButton>(&dialog, "editGroupThresholdButton")->click();
    QCOMPARE(groups->item(0, 0)->text(), QString("Исправленный"));
    QCOMPARE(groups->item(0, 2)->text(), QString("2.2500"));
    QCOMPARE(groups->item(0, 4)->text(), QString("Группа А"));
    // A second edit that is cancelled keeps the first one.
    answerEdit([](QDialog *d) { d->findChild<QLineEdit *>("nameLineEdit")->setText("x"); }, false);
    child<QPushButton>(&dialog, "editGroupThresholdButton")->click();
    const QList<ThresholdChange> changes = dialog.pendingChanges();
    QCOMPARE(changes.size(), 1);
    QCOMPARE(changes.first().action, int(ThresholdChange::Update));
    QCOMPARE(changes.first().threshold, stored);
    QCOMPARE(changes.first().data.name, QString("Исправленный"));
    QCOMPARE(changes.first().data.groups, QList<SharedGroup> {m_groupA});
    // Nothing reached the store yet.
    QCOMPARE(stored->name, QString("Групповой"));
}

void TestThresholdDialogs::saveWritesEverythingInOneCall()
{
    addThreshold("Удаляемый", true);
    const SharedThreshold group = addThreshold("Групповой", false, {m_groupA, m_groupB});
    ThresholdListDialog dialog;
    auto *users = child<QTableWidget>(&dialog, "userThresholdsTableWidget");
    auto *groups = child<QTableWidget>(&dialog, "groupsThresholdTableWidget");

    select(users, 0);
    child<QPushButton>(&dialog, "delUserThresholdButton")->click();
    answerEdit(
        [](QDialog *d) {
            d->findChild<QLineEdit *>("nameLineEdit")->setText("Новый");
            d->findChild<QDoubleSpinBox *>("thresholdSpinBox")->setValue(3);
            d->findChild<QSpinBox *>("daysSpinBox")->setValue(30);
        },
        true);
    child<QPushButton>(&dialog, "addUserThresholdButton")->click();
    // The group threshold loses all its groups.
    select(groups, 0);
    answerEdit(
        [](QDialog *d) {
            auto *list = d->findChild<QListWidget *>("groupsListWidget");
            for (int row = 0; row < list->count(); ++row)
                list->item(row)->setCheckState(Qt::Unchecked);
        },
        true);
    child<QPushButton>(&dialog, "editGroupThresholdButton")->click();
    QCOMPARE(dialog.pendingChanges().size(), 3);

    QSignalSpy updated(m_db->db(), &VDB::DataBase::thresholdsUpdated);
    child<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(updated.count(), 1);
    QCOMPARE(storedNames(), (QStringList {"Групповой:1.5:7:0", "Новый:3:30:0"}));
    QVERIFY(m_groupA->thresholds.isEmpty());
    QVERIFY(group->groups.isEmpty());
    // And so it stays in the file.
    m_db->reopen();
    QCOMPARE(storedNames(), (QStringList {"Групповой:1.5:7:0", "Новый:3:30:0"}));
}

void TestThresholdDialogs::cancelChangesNothing()
{
    addThreshold("Личный", true);
    addThreshold("Групповой", false, {m_groupA});
    const QStringList before = storedNames();
    QSignalSpy updated(m_db->db(), &VDB::DataBase::thresholdsUpdated);
    {
        ThresholdListDialog dialog;
        auto *users = child<QTableWidget>(&dialog, "userThresholdsTableWidget");
        select(users, 0);
        answerEdit([](QDialog *d) { d->findChild<QLineEdit *>("nameLineEdit")->setText("x"); },
                   true);
        child<QPushButton>(&dialog, "editUserThresholdButton")->click();
        answerEdit([](QDialog *d) { d->findChild<QLineEdit *>("nameLineEdit")->setText("y"); },
                   true);
        child<QPushButton>(&dialog, "addGroupThresholdButton")->click();
        select(child<QTableWidget>(&dialog, "groupsThresholdTableWidget"), 0);
        child<QPushButton>(&dialog, "delGroupThresholdButton")->click();
        QCOMPARE(dialog.pendingChanges().size(), 3);
        child<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Cancel)->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }
    QCOMPARE(updated.count(), 0);
    QCOMPARE(storedNames(), before);
    QCOMPARE(m_db->db()->thresholds().first()->name, QString("Личный"));
}

void TestThresholdDialogs::refusedSaveKeepsTheDialogOpen()
{
    addThreshold("Групповой", false, {m_groupA});
    ThresholdListDialog dialog;
    dialog.show();
    select(child<QTableWidget>(&dialog, "groupsThresholdTableWidget"), 0);
    answerEdit([](QDialog *d) { d->findChild<QLineEdit *>("nameLineEdit")->setText("Новое"); },
               true);
    child<QPushButton>(&dialog, "editGroupThresholdButton")->click();
    // The links of a group threshold can no longer be written.
    QVERIFY(TestSupport::TestDatabase::exec("DROP TABLE GroupThresholds"));
    QSignalSpy updated(m_db->db(), &VDB::DataBase::thresholdsUpdated);
    const auto box = TestSupport::answerNextMessageBox(QMessageBox::Ok);
    child<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
    QVERIFY(box->seen);
    QCOMPARE(box->title, QString("Ошибка"));
    QCOMPARE(box->icon, QMessageBox::Critical);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.pendingChanges().size(), 1);
    QCOMPARE(updated.count(), 0);
    QCOMPARE(m_db->db()->thresholds().first()->name, QString("Групповой"));
}

QTEST_MAIN(TestThresholdDialogs)
#include "tst_thresholddialogs.moc"
