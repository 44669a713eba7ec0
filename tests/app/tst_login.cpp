#include "app/AccessCheck.h"
#include "app/ConfirmCredentialsDialog.h"
#include "app/LoginDialog.h"
#include "common/ModalHelper.h"
#include "common/TestDatabase.h"
#include "db/Group.h"
#include "db/User.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

namespace {

QString utf8(const char *text)
{
    return QString::fromUtf8(text);
}

template<typename T> T *child(QWidget *parent, const char *name)
{
    return parent->findChild<T *>(QString::fromLatin1(name));
}

// What the next message box showed, and whether its parent was `parent`.
struct SeenBox
{
    bool seen = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget *parent = nullptr;
};

std::shared_ptr<SeenBox> answerNextBox(QMessageBox::StandardButton button = QMessageBox::Ok)
{
    auto seen = std::make_shared<SeenBox>();
    TestSupport::onNextModal([seen, button](QWidget *widget) {
        if (auto *box = qobject_cast<QMessageBox *>(widget)) {
            seen->seen = true;
            seen->title = box->windowTitle();
            seen->text = box->text();
            seen->icon = box->icon();
            seen->parent = box->parentWidget();
            box->button(button)->click();
        } else if (auto *dialog = qobject_cast<QDialog *>(widget)) {
            dialog->reject();
        }
    });
    return seen;
}

// Checks that the box `seen` waits for did not open, and uses the waiting
// answer up on a box of our own so that it cannot answer a later one.
void expectNoBox(const std::shared_ptr<SeenBox> &seen)
{
    QVERIFY(!seen->seen);
    QMessageBox::information(nullptr, QStringLiteral("drain"), QString());
    QVERIFY(seen->seen);
    QCOMPARE(seen->title, QStringLiteral("drain"));
}

} // namespace

// Logging in, the administrator's confirmation and the access check, on a
// database with an administrator, operators and a plain user.
class LoginTest : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_db.reset(new TestSupport::TestDatabase);
        QVERIFY(m_db->isValid());
        auto exec = &TestSupport::TestDatabase::exec;
        // 2: operator in "Операторы"; 3: plain user in "Администраторы";
        // 4: operator with an empty password; 5, 6: same login and password;
        // 7: operator in "Пользователи".
        QVERIFY(exec("INSERT INTO Users (firstname, surname, birthday, access, login, password) "
                     "VALUES ('Oleg', 'Operator', '1990-01-01', 2, 'oper', 'Secret')"));
        QVERIFY(exec("INSERT INTO Users (firstname, surname, birthday, access) "
                     "VALUES ('Petr', 'Plain', '1990-01-01', 1)"));
        QVERIFY(exec("INSERT INTO Users (firstname, surname, birthday, access, login, password) "
                     "VALUES ('Nina', 'Nopass', '1990-01-01', 2, 'nopass', '')"));
        QVERIFY(exec("INSERT INTO Users (firstname, surname, birthday, access, login, password) "
                     "VALUES ('Tom', 'Twin', '1990-01-01', 2, 'twin', 'pw')"));
        QVERIFY(exec("INSERT INTO Users (firstname, surname, birthday, access, login, password) "
                     "VALUES ('Tim', 'Twin', '1991-01-01', 2, 'twin', 'pw')"));
        QVERIFY(exec("INSERT INTO Users (firstname, surname, birthday, access, login, password) "
                     "VALUES ('Uma', 'Usual', '1990-01-01', 2, 'usual', 'usual')"));
        QVERIFY(exec("INSERT INTO Users2Groups (userId, groupId) VALUES "
                     "(2, 2), (3, 1), (4, 2), (5, 2), (6, 2), (7, 3)"));
        m_db->reopen();
        QCOMPARE(db()->users().size(), 7);
    }

    void cleanup() { m_db.reset(); }

    void loginForm()
    {
        LoginDialog dialog;
        QCOMPARE(dialog.windowTitle(), utf8("Вход в программу"));
        QCOMPARE(dialog.size(), QSize(314, 146));
        QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
        QCOMPARE(child<QLabel>(&dialog, "label_3")->text(),
                 utf8("Для доступа в программу введите логин и пароль."));
        QCOMPARE(child<QLabel>(&dialog, "label")->text(), utf8("Логин:          "));
        QCOMPARE(child<QLabel>(&dialog, "label_2")->text(), utf8("Пароль:"));
        QCOMPARE(child<QLineEdit>(&dialog, "loginLineEdit")->echoMode(), QLineEdit::Normal);
        QCOMPARE(child<QLineEdit>(&dialog, "passwordLineEdit")->echoMode(), QLineEdit::Password);
        auto *buttons = child<QDialogButtonBox>(&dialog, "buttonBox");
        QCOMPARE(buttons->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QVERIFY(buttons->centerButtons());
    }

    void loginAttempts_data()
    {
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("userId");
        QTest::newRow("administrator") << "admin"
                                       << "tavro" << 1;
        QTest::newRow("operator") << "oper"
                                  << "Secret" << 2;
        QTest::newRow("first of two alike") << "twin"
                                            << "pw" << 5;
        QTest::newRow("password in capitals") << "admin"
                                              << "TAVRO" << 0;
        QTest::newRow("password one letter case") << "oper"
                                                  << "secret" << 0;
        QTest::newRow("login in capitals") << "ADMIN"
                                           << "tavro" << 0;
        QTest::newRow("empty password") << "admin"
                                        << "" << 0;
        QTest::newRow("stored empty password") << "nopass"
                                               << "" << 0;
        QTest::newRow("both empty") << ""
                                    << "" << 0;
        QTest::newRow("login with space") << " admin"
                                          << "tavro" << 0;
        QTest::newRow("password with space") << "admin"
                                             << "tavro " << 0;
        QTest::newRow("wrong login") << "nobody"
                                     << "tavro" << 0;
    }

    // OK logs in or shows the refusal and keeps the dialog with its texts.
    void loginAttempts()
    {
        QFETCH(QString, login);
        QFETCH(QString, password);
        QFETCH(int, userId);
        // A failed attempt must also forget an earlier current user.
        db()->setCurrentUser(db()->users().at(1));

        LoginDialog dialog;
        dialog.show();
        child<QLineEdit>(&dialog, "loginLineEdit")->setText(login);
        child<QLineEdit>(&dialog, "passwordLineEdit")->setText(password);
        auto seen = answerNextBox();
        child<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();

        if (userId) {
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QVERIFY(!dialog.isVisible());
            QVERIFY(db()->currentUser());
            QCOMPARE(db()->currentUser()->id, userId);
            QVERIFY(db()->currentUser() == db()->user(userId));
            expectNoBox(seen);
            return;
        }
        QVERIFY(seen->seen);
        QCOMPARE(seen->title, utf8("Ошибка входа"));
        QCOMPARE(seen->text, utf8("Некорректное сочетание логина и пароля"));
        QCOMPARE(seen->icon, QMessageBox::Critical);
        QCOMPARE(seen->parent, &dialog);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(child<QLineEdit>(&dialog, "loginLineEdit")->text(), login);
        QCOMPARE(child<QLineEdit>(&dialog, "passwordLineEdit")->text(), password);
        QVERIFY(!db()->currentUser());
    }

    // The dialog run as the start-up runs it: a wrong try, then the right one.
    void loginRetriesUntilRight()
    {
        LoginDialog dialog;
        std::shared_ptr<SeenBox> refusal;
        TestSupport::onNextModal([&refusal](QWidget *widget) {
            child<QLineEdit>(widget, "loginLineEdit")->setText(QStringLiteral("admin"));
            child<QLineEdit>(widget, "passwordLineEdit")->setText(QStringLiteral("Tavro"));
            refusal = answerNextBox();
            QTest::keyClick(child<QLineEdit>(widget, "passwordLineEdit"), Qt::Key_Return);
            QVERIFY(widget->isVisible());
            child<QLineEdit>(widget, "passwordLineEdit")->setText(QStringLiteral("tavro"));
            QTest::keyClick(child<QLineEdit>(widget, "passwordLineEdit"), Qt::Key_Return);
        });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QVERIFY(refusal && refusal->seen);
        QCOMPARE(db()->currentUser(), db()->user(1));
    }

    void plainUserCannotLogIn()
    {
        // Even in "Администраторы", a user without the operator role has
        // no login; demoting an operator takes the login away.
        const SharedUser oper = db()->user(2);
        User data = *oper;
        data.role = User::PlainUser;
        QCOMPARE(db()->updateUser(oper, data).code, 0);
        QVERIFY(!db()->login(QStringLiteral("oper"), QStringLiteral("Secret")));
        QVERIFY(!db()->login(QString(), QString()));
        m_db->reopen();
        QVERIFY(!db()->login(QStringLiteral("oper"), QStringLiteral("Secret")));
        QCOMPARE(db()->user(3)->role, int(User::PlainUser));
        QVERIFY(db()->user(3)->login.isEmpty());
    }

    void cancelLeavesNobodyLoggedIn()
    {
        LoginDialog dialog;
        TestSupport::onNextModal([](QWidget *widget) {
            child<QLineEdit>(widget, "loginLineEdit")->setText(QStringLiteral("admin"));
            child<QLineEdit>(widget, "passwordLineEdit")->setText(QStringLiteral("tavro"));
            child<QDialogButtonBox>(widget, "buttonBox")->button(QDialogButtonBox::Cancel)->click();
        });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        QVERIFY(!db()->currentUser());
    }

    void confirmForm()
    {
        ConfirmCredentialsDialog dialog;
        QCOMPARE(dialog.windowTitle(), utf8("Вход администратора"));
        QCOMPARE(dialog.size(), QSize(329, 172));
        QVERIFY(dialog.isModal());
        QVERIFY(dialog.isSizeGripEnabled());
        QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
        QCOMPARE(child<QLabel>(&dialog, "label")->text(),
                 utf8("Для выполнения операции нужны административные права.\n\n"
                      "Введите логин и пароль в поля ниже."));
        QCOMPARE(child<QLabel>(&dialog, "label_3")->text(), utf8("Логин:          "));
        QCOMPARE(child<QLabel>(&dialog, "label_4")->text(), utf8("Пароль:"));
        // The administrator's password must not be readable on screen.
        QCOMPARE(child<QLineEdit>(&dialog, "passwordLineEdit")->echoMode(), QLineEdit::Password);
        child<QLineEdit>(&dialog, "loginLineEdit")->setText(QStringLiteral(" a b "));
        child<QLineEdit>(&dialog, "passwordLineEdit")->setText(QStringLiteral("P w"));
        QCOMPARE(dialog.login(), QStringLiteral(" a b "));
        QCOMPARE(dialog.password(), QStringLiteral("P w"));
    }

    void confirmAdministrator_data()
    {
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<bool>("confirmed");
        QTest::newRow("administrator") << "admin"
                                       << "tavro" << false << true;
        QTest::newRow("cancelled") << "admin"
                                   << "tavro" << true << false;
        QTest::newRow("operator") << "oper"
                                  << "Secret" << false << false;
        QTest::newRow("password case") << "admin"
                                       << "Tavro" << false << false;
        QTest::newRow("empty") << ""
                               << "" << false << false;
    }

    void confirmAdministrator()
    {
        QFETCH(QString, login);
        QFETCH(QString, password);
        QFETCH(bool, cancel);
        QFETCH(bool, confirmed);
        QWidget window;
        window.show();
        db()->setCurrentUser(db()->user(2));

        std::shared_ptr<SeenBox> error;
        bool sawDialog = false;
        TestSupport::onNextModal([&](QWidget *widget) {
            sawDialog = qobject_cast<ConfirmCredentialsDialog *>(widget)
                && widget->parentWidget() == &window;
            child<QLineEdit>(widget, "loginLineEdit")->setText(login);
            child<QLineEdit>(widget, "passwordLineEdit")->setText(password);
            error = answerNextBox();
            child<QDialogButtonBox>(widget, "buttonBox")
                ->button(cancel ? QDialogButtonBox::Cancel : QDialogButtonBox::Ok)
                ->click();
        });
        QCOMPARE(ConfirmCredentialsDialog::confirmAdministrator(&window), confirmed);
        QVERIFY(sawDialog);
        // The confirmation never changes who is logged in.
        QCOMPARE(db()->currentUser(), db()->user(2));
        QVERIFY(error);
        if (confirmed || cancel) {
            expectNoBox(error);
            return;
        }
        QVERIFY(error->seen);
        QCOMPARE(error->title, utf8("Ошибка"));
        QCOMPARE(error->text, utf8("Логин и пароль не соответствуют администратору программы"));
        QCOMPARE(error->icon, QMessageBox::Critical);
        QCOMPARE(error->parent, &window);
    }

    void accessMatrix_data()
    {
        QTest::addColumn<int>("userId");
        QTest::addColumn<bool>("noGroups");
        QTest::addColumn<QString>("allowed"); // one letter per code 0..8
        QTest::newRow("administrator") << 1 << false << "yyyyyyyyy";
        QTest::newRow("administrator without groups") << 1 << true << "yyyyyyyyy";
        QTest::newRow("operator in Операторы") << 2 << false << "nnnnnnnyy";
        QTest::newRow("plain user in Администраторы") << 3 << false << "nnnnnnyyy";
        QTest::newRow("operator in Пользователи") << 7 << false << "nnnnnnnnn";
        QTest::newRow("operator without groups") << 2 << true << "nnnnnnnnn";
    }

    // Every code for every kind of user, and the refusal each no shows.
    void accessMatrix()
    {
        QFETCH(int, userId);
        QFETCH(bool, noGroups);
        QFETCH(QString, allowed);
        const SharedUser user = db()->user(userId);
        QVERIFY(user);
        if (noGroups)
            VDB::DataBase::setUserGroups(user, {});
        db()->setCurrentUser(user);
        QWidget window;

        for (int code = -1; code <= 10; ++code) {
            const bool expected = code >= 0 && code <= 8 && allowed.at(code) == QLatin1Char('y');
            QCOMPARE(hasAccess(user, code), expected);
            auto seen = answerNextBox();
            QCOMPARE(checkAccess(code, &window), expected);
            if (expected) {
                expectNoBox(seen);
                continue;
            }
            QVERIFY(seen->seen);
            QCOMPARE(seen->title, utf8("Сообщение системы безопасности"));
            QCOMPARE(seen->text, utf8("У вас нет прав на выполнение операции"));
            QCOMPARE(seen->icon, QMessageBox::Critical);
            QCOMPARE(seen->parent, &window);
        }
    }

    // Rights are read at every check, so a group change applies at once.
    void groupRightsApplyAtOnce()
    {
        const SharedUser oper = db()->user(2);
        db()->setCurrentUser(oper);
        QVERIFY(!hasAccess(oper, AccessOperation::ProgramSettings));
        const SharedGroup operators = db()->group(2);
        QVERIFY(db()->updateGroup(operators, operators->name, operators->description,
                                  Group::ProgramSettings));
        QVERIFY(hasAccess(oper, AccessOperation::ProgramSettings));
        QVERIFY(!hasAccess(oper, AccessOperation::AssignDevice));
        QVERIFY(!hasAccess(oper, AccessOperation::DeviceSettings));
    }

    void nobodyLoggedInHasNoAccess()
    {
        db()->setCurrentUser(SharedUser());
        for (int code = 0; code <= 8; ++code)
            QVERIFY(!hasAccess(SharedUser(), code));
        auto seen = answerNextBox();
        QVERIFY(!checkAccess(AccessOperation::ProgramSettings, nullptr));
        QVERIFY(seen->seen);
    }

private:
    VDB::DataBase *db() const { return VDB::DataBase::instance(); }

    QScopedPointer<TestSupport::TestDatabase> m_db;
};

QTEST_MAIN(LoginTest)
#include "tst_login.moc"
