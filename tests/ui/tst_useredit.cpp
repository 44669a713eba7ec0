#include "common/ModalHelper.h"
#include "common/TestDatabase.h"

#include "ui/UserEditDialog.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
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

QStringList checkedGroups(QWidget *dialog)
{
    auto *list = child<QListWidget>(dialog, "groupsListWidget");
    QStringList names;
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->checkState() == Qt::Checked)
            names << list->item(row)->text();
    }
    return names;
}

void setGroupChecked(QWidget *dialog, const QString &name, bool checked)
{
    auto *list = child<QListWidget>(dialog, "groupsListWidget");
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->text() == name)
            list->item(row)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    }
}

void pressOk(QWidget *dialog)
{
    child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
}

// Presses OK, expecting a refusal: the warning's text is returned.
QString refusalOnOk(QDialog *dialog)
{
    auto seen = TestSupport::answerNextMessageBox(QMessageBox::Ok);
    pressOk(dialog);
    if (!seen->seen)
        return QStringLiteral("<no message box>");
    if (seen->title != QStringLiteral("Предупреждение") || seen->icon != QMessageBox::Warning)
        return QStringLiteral("<wrong box: %1>").arg(seen->title);
    return seen->text;
}

void fillNames(QWidget *dialog, const QString &surname, const QString &firstname)
{
    child<QLineEdit>(dialog, "surnameLineEdit")->setText(surname);
    child<QLineEdit>(dialog, "firstnameLineEdit")->setText(firstname);
}

// Picks `path` in the next file dialog.
void chooseFileNext(const QString &path)
{
    TestSupport::onNextModal([path](QWidget *widget) {
        auto *dialog = qobject_cast<QFileDialog *>(widget);
        if (!dialog) {
            if (auto *other = qobject_cast<QDialog *>(widget))
                other->reject();
            return;
        }
        dialog->selectFile(path);
        QMetaObject::invokeMethod(dialog, "accept");
        // Should the dialog refuse the file, close it anyway: the test fails, it never hangs.
        QPointer<QFileDialog> guard(dialog);
        QTimer::singleShot(3000, [guard]() {
            if (guard && guard->isVisible())
                guard->reject();
        });
    });
}

} // namespace

class UserEditDialogTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void newUserHasOnlyThePreselectedGroup();
    void groupRuleKeepsDialogOpenAndStoresNothing();
    void storeRefusalsAreShownUnchanged_data();
    void storeRefusalsAreShownUnchanged();
    void databaseErrorsAreWrapped();
    void storesNamesAsTyped();
    void editingAdministratorKeepsRole();
    void editingOperatorIntoPlainUserClearsLogin();
    void deviceUseTogglesReason();
    void pictureIsScaledToFitAndKeptOnEdit();
    void fileThatIsNoImageChangesNothing();

private:
    SharedGroup group(const QString &name) const;
    QScopedPointer<TestDatabase> m_db;
};

void UserEditDialogTest::init()
{
    m_db.reset(new TestDatabase);
    QVERIFY(m_db->isValid());
    QCOMPARE(m_db->db()->groups().size(), 3);
}

void UserEditDialogTest::cleanup()
{
    m_db.reset();
}

SharedGroup UserEditDialogTest::group(const QString &name) const
{
    for (const SharedGroup &g : m_db->db()->groups()) {
        if (g->name == name)
            return g;
    }
    return SharedGroup();
}

void UserEditDialogTest::newUserHasOnlyThePreselectedGroup()
{
    UserEditDialog fromGroup(SharedUser(), group(QStringLiteral("Операторы")));
    QCOMPARE(checkedGroups(&fromGroup), QStringList {QStringLiteral("Операторы")});
    QCOMPARE(child<QListWidget>(&fromGroup, "groupsListWidget")->count(), 3);
    auto *item = child<QListWidget>(&fromGroup, "groupsListWidget")->item(1);
    QVERIFY(item->flags() & Qt::ItemIsUserCheckable);
    QCOMPARE(item->data(Qt::UserRole).value<SharedGroup>(), group(QStringLiteral("Операторы")));

    UserEditDialog fromToolBar {SharedUser(), SharedGroup()};
    QVERIFY(checkedGroups(&fromToolBar).isEmpty());
    QCOMPARE(fromToolBar.windowTitle(), QStringLiteral("Добавление/Редактирование пользователя"));
    QCOMPARE(child<QDateEdit>(&fromToolBar, "birthdayEdit")->date(), QDate(1990, 1, 1));
    QVERIFY(child<QRadioButton>(&fromToolBar, "manRadioButton")->isChecked());
    QVERIFY(!child<QLineEdit>(&fromToolBar, "loginLineEdit")->isEnabled());

    // The edited user's own groups are checked.
    const SharedUser admin = m_db->db()->users().first();
    UserEditDialog edit(admin, SharedGroup());
    QCOMPARE(checkedGroups(&edit), QStringList {QStringLiteral("Администраторы")});
}

void UserEditDialogTest::groupRuleKeepsDialogOpenAndStoresNothing()
{
    const SharedUser admin = m_db->db()->users().first();
    UserEditDialog dialog(admin, SharedGroup());
    dialog.show();
    QSignalSpy updated(m_db->db(), &VDB::DataBase::userUpdated);
    child<QLineEdit>(&dialog, "firstnameLineEdit")->setText(QStringLiteral("Пётр"));
    setGroupChecked(&dialog, QStringLiteral("Администраторы"), false);

    QCOMPARE(refusalOnOk(&dialog),
             QStringLiteral("Пользователь должен входить хотя бы в одну группу"));
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(child<QLineEdit>(&dialog, "firstnameLineEdit")->text(), QStringLiteral("Пётр"));
    QCOMPARE(updated.count(), 0);
    QCOMPARE(admin->firstname, QStringLiteral("Администратор"));
    QCOMPARE(admin->groups.size(), 1);
}

void UserEditDialogTest::storeRefusalsAreShownUnchanged_data()
{
    QTest::addColumn<QString>("surname");
    QTest::addColumn<QString>("firstname");
    QTest::addColumn<bool>("isOperator");
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("message");

    QTest::newRow("no surname") << QString() << QStringLiteral("Иван") << false << QString()
                                << QStringLiteral("Необходимо задать имя и фамилию");
    QTest::newRow("no first name") << QStringLiteral("Петров") << QString() << false << QString()
                                   << QStringLiteral("Необходимо задать имя и фамилию");
    QTest::newRow("operator without login")
        << QStringLiteral("Петров") << QStringLiteral("Иван") << true << QString()
        << QStringLiteral("Необходимо задать логин и пароль");
    QTest::newRow("login taken") << QStringLiteral("Петров") << QStringLiteral("Иван") << true
                                 << QStringLiteral("admin")
                                 << QStringLiteral("Такой логин уже занят");
    QTest::newRow("same person") << QStringLiteral("Сидоров") << QStringLiteral("Иван") << false
                                 << QString()
                                 << QStringLiteral("Такой пользователь уже существует");
}

void UserEditDialogTest::storeRefusalsAreShownUnchanged()
{
    QFETCH(QString, surname);
    QFETCH(QString, firstname);
    QFETCH(bool, isOperator);
    QFETCH(QString, login);
    QFETCH(QString, message);

    // Same names, sex and birthday as the dialog's defaults.
    User existing(0, User::PlainUser, User::Male);
    existing.surname = QStringLiteral("Сидоров");
    existing.firstname = QStringLiteral("Иван");
    existing.birthday = QDate(1990, 1, 1);
    existing.groups = {group(QStringLiteral("Пользователи"))};
    QCOMPARE(m_db->db()->addUser(existing).code, 0);
    const int users = m_db->db()->users().size();

    UserEditDialog dialog(SharedUser(), group(QStringLiteral("Пользователи")));
    dialog.show();
    QSignalSpy added(m_db->db(), &VDB::DataBase::userAdded);
    fillNames(&dialog, surname, firstname);
    child<QCheckBox>(&dialog, "isOperatorCheckBox")->setChecked(isOperator);
    child<QLineEdit>(&dialog, "loginLineEdit")->setText(login);
    child<QLineEdit>(&dialog, "passwordLineEdit")->setText(QStringLiteral("pw"));

    QCOMPARE(refusalOnOk(&dialog), message);
    QVERIFY(dialog.isVisible());
    QCOMPARE(child<QLineEdit>(&dialog, "surnameLineEdit")->text(), surname);
    QCOMPARE(child<QLineEdit>(&dialog, "loginLineEdit")->text(), login);
    QCOMPARE(added.count(), 0);
    QCOMPARE(m_db->db()->users().size(), users);
}

void UserEditDialogTest::databaseErrorsAreWrapped()
{
    const SharedUser admin = m_db->db()->users().first();
    // The membership table is gone, so every store of a user fails in the database.
    QVERIFY(TestDatabase::exec(QStringLiteral("DROP TABLE Users2Groups")));
    const QString prefixNew = QStringLiteral("Не удалось создать пользователя. Причина: \"");
    const QString prefixEdit
        = QStringLiteral("Не удалось отредактировать пользователя. Причина: \"");

    UserEditDialog create(SharedUser(), group(QStringLiteral("Пользователи")));
    create.show();
    fillNames(&create, QStringLiteral("Петров"), QStringLiteral("Иван"));
    QString text = refusalOnOk(&create);
    QVERIFY2(text.startsWith(prefixNew) && text.endsWith(QLatin1Char('"'))
                 && text.size() > prefixNew.size() + 1,
             qPrintable(text));
    QVERIFY(create.isVisible());
    QCOMPARE(m_db->db()->users().size(), 1);

    UserEditDialog edit(admin, SharedGroup());
    edit.show();
    child<QLineEdit>(&edit, "firstnameLineEdit")->setText(QStringLiteral("Пётр"));
    text = refusalOnOk(&edit);
    QVERIFY2(text.startsWith(prefixEdit), qPrintable(text));
    QVERIFY(edit.isVisible());
    QCOMPARE(admin->firstname, QStringLiteral("Администратор"));
}

void UserEditDialogTest::storesNamesAsTyped()
{
    const QString surname = QStringLiteral("O'Brien\"; DROP TABLE Users; --");
    const QString firstname = QStringLiteral("<b>Robert</b>'); DELETE FROM Groups;");
    const QString comment
        = QStringLiteral("SELECT * FROM 'Users'; ") + QString(5000, QLatin1Char('x'));

    UserEditDialog dialog(SharedUser(), group(QStringLiteral("Операторы")));
    dialog.show();
    QSignalSpy added(m_db->db(), &VDB::DataBase::userAdded);
    fillNames(&dialog, surname, firstname);
    child<QLineEdit>(&dialog, "middlenameLineEdit")->setText(QStringLiteral("  spaced  "));
    child<QPlainTextEdit>(&dialog, "commentTextEdit")->setPlainText(comment);
    child<QRadioButton>(&dialog, "womanRadioButton")->setChecked(true);
    child<QCheckBox>(&dialog, "isOperatorCheckBox")->setChecked(true);
    QVERIFY(child<QLineEdit>(&dialog, "loginLineEdit")->isEnabled());
    child<QLineEdit>(&dialog, "loginLineEdit")->setText(QStringLiteral("o'brien"));
    child<QLineEdit>(&dialog, "passwordLineEdit")->setText(QStringLiteral("p'w;"));
    child<QCheckBox>(&dialog, "canUseDeviceCheckBox")->setChecked(true);
    setGroupChecked(&dialog, QStringLiteral("Пользователи"), true);
    pressOk(&dialog);

    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(added.count(), 1);
    const SharedUser user = added.at(0).at(0).value<SharedUser>();
    QCOMPARE(user->surname, surname);
    QCOMPARE(user->firstname, firstname);
    QCOMPARE(user->middlename, QStringLiteral("  spaced  "));
    QCOMPARE(user->comment, comment);
    QCOMPARE(user->role, int(User::Operator));
    QCOMPARE(user->sex, int(User::Female));
    QCOMPARE(user->login, QStringLiteral("o'brien"));
    QVERIFY(user->canUseDevice);
    QCOMPARE(user->groups.size(), 2);
    QCOMPARE(user->groups.at(0)->name, QStringLiteral("Операторы"));
    QCOMPARE(user->groups.at(1)->name, QStringLiteral("Пользователи"));

    // What was stored reads back the same, and nothing else was touched.
    m_db->reopen();
    QCOMPARE(m_db->db()->groups().size(), 3);
    QCOMPARE(m_db->db()->users().size(), 2);
    QCOMPARE(m_db->db()->users().last()->surname, surname);
    QCOMPARE(m_db->db()->users().last()->comment, comment);
}

void UserEditDialogTest::editingAdministratorKeepsRole()
{
    const SharedUser admin = m_db->db()->users().first();
    QCOMPARE(admin->role, int(User::Administrator));
    UserEditDialog dialog(admin, SharedGroup());
    dialog.show();
    auto *isOperator = child<QCheckBox>(&dialog, "isOperatorCheckBox");
    QVERIFY(isOperator->isChecked());
    QVERIFY(!isOperator->isEnabled());
    QVERIFY(child<QLineEdit>(&dialog, "loginLineEdit")->isEnabled());
    QVERIFY(child<QLineEdit>(&dialog, "passwordLineEdit")->isEnabled());
    QCOMPARE(child<QLineEdit>(&dialog, "loginLineEdit")->text(), QStringLiteral("admin"));
    QCOMPARE(child<QLineEdit>(&dialog, "passwordLineEdit")->echoMode(), QLineEdit::Password);

    // Even with the tick forced off the role stays.
    isOperator->setChecked(false);
    child<QLineEdit>(&dialog, "passwordLineEdit")->setText(QStringLiteral("new"));
    setGroupChecked(&dialog, QStringLiteral("Операторы"), true);
    pressOk(&dialog);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(admin->role, int(User::Administrator));
    QCOMPARE(admin->password, QStringLiteral("new"));
    QCOMPARE(admin->groups.size(), 2);
    QCOMPARE(TestDatabase::scalar(
                 QStringLiteral("SELECT access & 128 FROM Users WHERE id = %1").arg(admin->id))
                 .toInt(),
             128);
}

void UserEditDialogTest::editingOperatorIntoPlainUserClearsLogin()
{
    const SharedUser op = m_db->addUser(QStringLiteral("Оператов"), QStringLiteral("Олег"),
                                        {group(QStringLiteral("Операторы"))}, User::Operator,
                                        QStringLiteral("oleg"));
    QVERIFY(op);
    UserEditDialog dialog(op, SharedGroup());
    dialog.show();
    QVERIFY(child<QCheckBox>(&dialog, "isOperatorCheckBox")->isEnabled());
    child<QCheckBox>(&dialog, "isOperatorCheckBox")->setChecked(false);
    QVERIFY(!child<QLineEdit>(&dialog, "loginLineEdit")->isEnabled());
    pressOk(&dialog);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(op->role, int(User::PlainUser));
    QVERIFY(op->login.isEmpty());
}

void UserEditDialogTest::deviceUseTogglesReason()
{
    UserEditDialog dialog {SharedUser(), SharedGroup()};
    auto *canUse = child<QCheckBox>(&dialog, "canUseDeviceCheckBox");
    auto *reason = child<QPlainTextEdit>(&dialog, "reasonTextEdit");
    QVERIFY(!canUse->isChecked());
    QVERIFY(reason->isEnabled());
    canUse->setChecked(true);
    QVERIFY(!reason->isEnabled());
    canUse->setChecked(false);
    QVERIFY(reason->isEnabled());

    // A user who may use devices opens with the reason disabled.
    const SharedUser user = m_db->addUser(QStringLiteral("Прибористов"), QStringLiteral("Пётр"),
                                          {group(QStringLiteral("Пользователи"))});
    QVERIFY(user);
    QVERIFY(m_db->db()->setDeviceUsage(group(QStringLiteral("Пользователи")), false,
                                       QStringLiteral("медосмотр")));
    UserEditDialog edit(user, SharedGroup());
    QVERIFY(child<QPlainTextEdit>(&edit, "reasonTextEdit")->isEnabled());
    QCOMPARE(child<QPlainTextEdit>(&edit, "reasonTextEdit")->toPlainText(),
             QStringLiteral("медосмотр"));
    QVERIFY(m_db->db()->setDeviceUsage(group(QStringLiteral("Пользователи")), true, QString()));
    UserEditDialog allowed(user, SharedGroup());
    QVERIFY(child<QCheckBox>(&allowed, "canUseDeviceCheckBox")->isChecked());
    QVERIFY(!child<QPlainTextEdit>(&allowed, "reasonTextEdit")->isEnabled());
}

void UserEditDialogTest::pictureIsScaledToFitAndKeptOnEdit()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tall.png"));
    QImage tall(1000, 2000, QImage::Format_RGB32);
    tall.fill(Qt::darkGreen);
    QVERIFY(tall.save(path));

    UserEditDialog dialog(SharedUser(), group(QStringLiteral("Пользователи")));
    dialog.show();
    fillNames(&dialog, QStringLiteral("Фотов"), QStringLiteral("Фёдор"));
    chooseFileNext(path);
    child<QPushButton>(&dialog, "selectPictureButton")->click();
    const QPixmap shown = child<QLabel>(&dialog, "pictureLabel")->pixmap(Qt::ReturnByValue);
    QCOMPARE(shown.size(), QSize(125, 250));
    QVERIFY(QApplication::overrideCursor() == nullptr);
    pressOk(&dialog);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const SharedUser user = m_db->db()->users().last();
    QCOMPARE(user->photo.size(), QSize(125, 250));

    // Editing without a new picture keeps the photo, in memory and stored.
    UserEditDialog edit(user, SharedGroup());
    edit.show();
    QCOMPARE(child<QLabel>(&edit, "pictureLabel")->pixmap(Qt::ReturnByValue).size(),
             QSize(125, 250));
    child<QLineEdit>(&edit, "departmentLineEdit")->setText(QStringLiteral("Отдел 1"));
    pressOk(&edit);
    QCOMPARE(edit.result(), int(QDialog::Accepted));
    QCOMPARE(user->photo.size(), QSize(125, 250));
    m_db->reopen();
    QCOMPARE(m_db->db()->users().last()->photo.size(), QSize(125, 250));
    QCOMPARE(m_db->db()->users().last()->department, QStringLiteral("Отдел 1"));
}

void UserEditDialogTest::fileThatIsNoImageChangesNothing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fake.png"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("this is no picture at all");
    file.close();

    UserEditDialog dialog(SharedUser(), group(QStringLiteral("Пользователи")));
    dialog.show();
    const QPixmap before = child<QLabel>(&dialog, "pictureLabel")->pixmap(Qt::ReturnByValue);
    chooseFileNext(path);
    child<QPushButton>(&dialog, "selectPictureButton")->click();
    const QPixmap after = child<QLabel>(&dialog, "pictureLabel")->pixmap(Qt::ReturnByValue);
    QCOMPARE(after.cacheKey(), before.cacheKey());
    QVERIFY(QApplication::overrideCursor() == nullptr);

    fillNames(&dialog, QStringLiteral("Безфотов"), QStringLiteral("Борис"));
    pressOk(&dialog);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(m_db->db()->users().last()->photo.isNull());
    QVERIFY(TestDatabase::scalar(QStringLiteral("SELECT photo IS NULL FROM Users WHERE id = %1")
                                     .arg(m_db->db()->users().last()->id))
                .toBool());
}

QTEST_MAIN(UserEditDialogTest)
#include "tst_useredit.moc"
