// Users: validation, add, update, delete, login, and refusals that change nothing.

#include "common/TestDatabase.h"

#include <QImage>
#include <QSqlQuery>
#include <QtTest>

using TestSupport::TestDatabase;

namespace {

User person(const QString &surname, int role = User::PlainUser)
{
    User u(0, role, User::Female);
    u.surname = surname;
    u.firstname = QStringLiteral("Анна");
    u.middlename = QStringLiteral("Петровна");
    u.birthday = QDate(1990, 2, 3);
    if (role != User::PlainUser) {
        u.login = surname.toLower();
        u.password = QStringLiteral("pw");
    }
    return u;
}

QPixmap picture(Qt::GlobalColor color)
{
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(color);
    return QPixmap::fromImage(image);
}

QString row(int id)
{
    return TestDatabase::scalar(
               QStringLiteral(
                   "SELECT firstname || '|' || COALESCE(middlename, 'NULL') || '|' || "
                   "surname || '|' || COALESCE(department, 'NULL') || '|' || birthday "
                   "|| '|' || sex || '|' || access || '|' || COALESCE(login, 'NULL') || "
                   "'|' || COALESCE(password, 'NULL') || '|' || COALESCE(usageReason, "
                   "'NULL') || '|' || COALESCE(comment, 'NULL') || '|' || "
                   "COALESCE(CAST(length(photo) AS TEXT), 'NULL') FROM Users WHERE id = %1")
                   .arg(id))
        .toString();
}

QString links(int userId)
{
    QStringList out;
    QSqlQuery q(QSqlDatabase::database());
    q.exec(QStringLiteral("SELECT groupId FROM Users2Groups WHERE userId = %1 ORDER BY %2")
               .arg(userId)
               .arg(TestDatabase::insertionOrder()));
    while (q.next())
        out << q.value(0).toString();
    return out.join(',');
}

} // namespace

class DbUsersTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup() { m_db.reset(); }

    void validationMessages();
    void addUserWritesRowAndRecord();
    void addOperatorAndUserAccess();
    void updateUser();
    void updateKeepsPhotoAndAdministratorBit();
    void updateTakesTheNewBirthday();
    void updateAnOperatorToPlainUser();
    void deleteUser();
    void deleteRefusedWithHistory();
    void refusedByDatabaseChangesNothing_data();
    void refusedByDatabaseChangesNothing();
    void loginAndAdministrator();

private:
    QScopedPointer<TestDatabase> m_db;
    VDB::DataBase *store() const { return m_db->db(); }
    SharedGroup group(int i) const { return store()->groups().at(i); }
};

void DbUsersTest::init()
{
    m_db.reset(new TestDatabase);
    QVERIFY(m_db->isValid());
}

void DbUsersTest::validationMessages()
{
    User data = person("Иванова");
    data.firstname.clear();
    QCOMPARE(store()->validateUser(data).message,
             QStringLiteral("Необходимо задать имя и фамилию"));
    data = person("");
    QCOMPARE(store()->validateUser(data).code, 2);
    data = person("Иванова", User::Operator);
    data.password.clear();
    QCOMPARE(store()->validateUser(data).message,
             QStringLiteral("Необходимо задать логин и пароль"));
    QCOMPARE(store()->validateUser(person("Иванова")).code, 0);

    QVERIFY(store()->addUser(person("Иванова", User::Operator)).ok());
    const SharedUser existing = store()->users().last();

    // Same names, sex and birthday: refused even with another department.
    data = person("Иванова");
    data.department = "Другой отдел";
    OperationResult result = store()->addUser(data);
    QCOMPARE(result.code, 2);
    QCOMPARE(result.message, QStringLiteral("Такой пользователь уже существует"));
    // Another birthday is another person.
    data.birthday = QDate(1991, 2, 3);
    QCOMPARE(store()->validateUser(data).code, 0);
    // A used login.
    data = person("Смирнова", User::Operator);
    data.login = "admin";
    QCOMPARE(store()->validateUser(data).message, QStringLiteral("Такой логин уже занят"));
    data.login = existing->login;
    QCOMPARE(store()->validateUser(data).message, QStringLiteral("Такой логин уже занят"));
    // The edited user is not compared with itself.
    QCOMPARE(store()->validateUser(person("Иванова", User::Operator), existing).code, 0);
    QCOMPARE(store()->users().size(), 2);
}

void DbUsersTest::addUserWritesRowAndRecord()
{
    TestSupport::StoreSignalSpy spy;
    QSignalSpy added(store(), &VDB::DataBase::userAdded);
    User data = person("Кузнецова");
    data.department = "ОРБ";
    data.comment = "примечание";
    data.usageReason = "нет допуска";
    data.photo = picture(Qt::red);
    data.groups = {group(1), group(2)};
    QCOMPARE(store()->addUser(data).code, 0);
    QCOMPARE(spy.order(), QStringList({"userAdded"}));

    const SharedUser user = added.at(0).at(0).value<SharedUser>();
    QCOMPARE(store()->users().last(), user);
    QVERIFY(user->id > 1);
    QVERIFY(row(user->id).startsWith("Анна|Петровна|Кузнецова|ОРБ|1990-02-03|2|0|NULL|NULL|нет "
                                     "допуска|примечание|"));
    QVERIFY(!row(user->id).endsWith("|NULL"));
    QCOMPARE(links(user->id), QStringLiteral("2,3"));
    QCOMPARE(user->groups, QList<SharedGroup>({group(1), group(2)}));
    QVERIFY(group(1)->users.contains(user));
    QVERIFY(group(2)->users.contains(user));
    QCOMPARE(user->photo.size(), QSize(4, 3));

    // Empty optional texts are NULL; the stored row reloads to the same record.
    User plain = person("Орлова");
    plain.middlename.clear();
    QVERIFY(store()->addUser(plain).ok());
    QCOMPARE(row(store()->users().last()->id),
             QStringLiteral("Анна|NULL|Орлова|NULL|1990-02-03|2|0|NULL|NULL|NULL|NULL|NULL"));
    const QString before = TestSupport::cacheSnapshot();
    store()->loadAll();
    QCOMPARE(TestSupport::cacheSnapshot(), before);
}

void DbUsersTest::addOperatorAndUserAccess()
{
    User data = person("Оператор", User::Operator);
    data.canUseDevice = true;
    QVERIFY(store()->addUser(data).ok());
    SharedUser user = store()->users().last();
    QVERIFY(row(user->id).contains("|3|оператор|pw|"));
    QCOMPARE(user->role, int(User::Operator));
    QCOMPARE(user->login, QStringLiteral("оператор"));

    // A new user never gets the administrator bit, and only an operator keeps a login.
    data = person("Админ", User::Administrator);
    QVERIFY(store()->addUser(data).ok());
    user = store()->users().last();
    QVERIFY(row(user->id).contains("|0|NULL|NULL|"));
    QCOMPARE(user->role, int(User::PlainUser));
    QVERIFY(user->login.isEmpty());
    const QString before = TestSupport::cacheSnapshot();
    store()->loadAll();
    QCOMPARE(TestSupport::cacheSnapshot(), before);
}

void DbUsersTest::updateUser()
{
    QVERIFY(store()->addUser(person("Волкова")).ok());
    const SharedUser user = store()->users().last();
    QSignalSpy updated(store(), &VDB::DataBase::userUpdated);

    User data = person("Волкова-Зайцева", User::Operator);
    data.groups = {group(1)};
    data.canUseDevice = true;
    QCOMPARE(store()->updateUser(user, data).code, 0);
    QCOMPARE(updated.count(), 1);
    QCOMPARE(updated.at(0).at(0).value<SharedUser>(), user);
    QCOMPARE(store()->users().last(), user); // the same record
    QCOMPARE(user->surname, QStringLiteral("Волкова-Зайцева"));
    QCOMPARE(user->role, int(User::Operator));
    QCOMPARE(user->login, QStringLiteral("волкова-зайцева"));
    QVERIFY(user->canUseDevice);
    QCOMPARE(user->groups, QList<SharedGroup>({group(1)}));
    QVERIFY(group(1)->users.contains(user));
    QCOMPARE(links(user->id), QStringLiteral("2"));
    QVERIFY(row(user->id).contains("|3|волкова-зайцева|pw|"));

    data.groups = {group(2), group(0)};
    QVERIFY(store()->updateUser(user, data).ok());
    QVERIFY(!group(1)->users.contains(user));
    QVERIFY(group(0)->users.contains(user) && group(2)->users.contains(user));
    QCOMPARE(links(user->id), QStringLiteral("3,1"));
    const QString before = TestSupport::cacheSnapshot();
    store()->loadAll();
    QCOMPARE(TestSupport::cacheSnapshot(), before);
}

void DbUsersTest::updateKeepsPhotoAndAdministratorBit()
{
    const SharedUser admin = store()->users().first();
    User data(0, User::Operator, User::Male);
    data.firstname = admin->firstname;
    data.surname = admin->surname;
    data.birthday = admin->birthday;
    data.login = "admin";
    data.password = "new";
    data.photo = picture(Qt::blue);
    data.groups = admin->groups;
    QVERIFY(store()->updateUser(admin, data).ok());
    QCOMPARE(TestDatabase::scalar("SELECT access FROM Users WHERE id = 1").toInt(), 130);
    QCOMPARE(admin->role, int(User::Administrator));
    const int photoBytes
        = TestDatabase::scalar("SELECT length(photo) FROM Users WHERE id = 1").toInt();
    QVERIFY(photoBytes > 0);

    // Without a new photo the stored one stays.
    data.photo = QPixmap();
    data.comment = "только комментарий";
    QVERIFY(store()->updateUser(admin, data).ok());
    QCOMPARE(TestDatabase::scalar("SELECT length(photo) FROM Users WHERE id = 1").toInt(),
             photoBytes);
    QVERIFY(!admin->photo.isNull());
    QCOMPARE(admin->comment, QStringLiteral("только комментарий"));
    QVERIFY(store()->login("admin", "new"));
}

void DbUsersTest::updateTakesTheNewBirthday()
{
    QVERIFY(store()->addUser(person("Орлова")).ok());
    const SharedUser user = store()->users().last();
    User data = person("Орлова");
    data.birthday = QDate(1985, 7, 8);
    QVERIFY(store()->updateUser(user, data).ok());
    QCOMPARE(user->birthday, QDate(1985, 7, 8));
    // The duplicate check compares with the new date; the old one is free.
    QVERIFY(store()->validateUser(person("Орлова")).ok());
    QCOMPARE(store()->validateUser(data).code, 2);
    // A second edit made from the record writes the date it holds.
    User again = *user;
    again.department = QStringLiteral("Отдел 2");
    QVERIFY(store()->updateUser(user, again).ok());
    QCOMPARE(TestDatabase::scalar(
                 QStringLiteral("SELECT birthday FROM Users WHERE id = %1").arg(user->id))
                 .toString(),
             QStringLiteral("1985-07-08"));
}

void DbUsersTest::updateAnOperatorToPlainUser()
{
    User data = person("Белова", User::Operator);
    data.canUseDevice = true;
    QVERIFY(store()->addUser(data).ok());
    const SharedUser user = store()->users().last();
    data.role = User::PlainUser;
    QVERIFY(store()->updateUser(user, data).ok());
    QVERIFY(row(user->id).contains("|1|NULL|NULL|"));
    QCOMPARE(user->role, int(User::PlainUser));
    QVERIFY(user->login.isEmpty() && user->password.isEmpty());
    QVERIFY(!store()->findUser("белова", "pw"));
}

void DbUsersTest::deleteUser()
{
    QVERIFY(store()->addUser(person("Удаляемая")).ok());
    const SharedUser user = store()->users().last();
    QVERIFY(store()
                ->updateUser(user,
                             [&] {
                                 User d = person("Удаляемая");
                                 d.groups = {group(0), group(2)};
                                 return d;
                             }())
                .ok());
    TestSupport::StoreSignalSpy spy;
    // Given straight from the store's own list.
    QCOMPARE(store()->deleteUser(store()->users().last()).code, 0);
    QCOMPARE(spy.order(), QStringList({"userDeleted"}));
    QVERIFY(!store()->users().contains(user));
    QVERIFY(user->groups.isEmpty());
    QVERIFY(!group(0)->users.contains(user) && !group(2)->users.contains(user));
    QCOMPARE(TestDatabase::scalar(
                 QStringLiteral("SELECT COUNT(*) FROM Users WHERE id = %1").arg(user->id))
                 .toInt(),
             0);
    QCOMPARE(links(user->id), QString());
    QCOMPARE(user->surname, QStringLiteral("Удаляемая")); // the record lives on for holders
}

void DbUsersTest::deleteRefusedWithHistory()
{
    QVERIFY(store()->addUser(person("История")).ok());
    const SharedUser user = store()->users().last();
    QVERIFY(m_db->insertEvents(user, {{QDateTime(QDate(2020, 1, 1), QTime(1, 0)), 0.1}}, 200));
    const QString db = TestSupport::databaseSnapshot();
    const QString caches = TestSupport::cacheSnapshot();
    TestSupport::StoreSignalSpy spy;
    const OperationResult result = store()->deleteUser(user);
    QCOMPARE(result.code, 2);
    QCOMPARE(result.message,
             QStringLiteral("Невозможно удалить пользователя История Анна Петровна. Пользователь "
                            "имеет историю."));
    QCOMPARE(TestSupport::databaseSnapshot(), db);
    QCOMPARE(TestSupport::cacheSnapshot(), caches);
    QCOMPARE(spy.total(), 0);
}

void DbUsersTest::refusedByDatabaseChangesNothing_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<int>("operation");
    // A trigger that refuses the second statement shows that the first one is
    // rolled back ("INSERT"/"DELETE"); a read-only connection refuses all ("").
    QTest::newRow("add, link refused") << QString("INSERT") << 0;
    QTest::newRow("add, read-only") << QString() << 0;
    QTest::newRow("update, link refused") << QString("INSERT") << 1;
    QTest::newRow("update, read-only") << QString() << 1;
    QTest::newRow("delete, unlink refused") << QString("DELETE") << 2;
    QTest::newRow("delete, read-only") << QString() << 2;
}

void DbUsersTest::refusedByDatabaseChangesNothing()
{
    QFETCH(QString, failure);
    QFETCH(int, operation);
    User data = person("Жертва");
    data.groups = {group(2)};
    QVERIFY(store()->addUser(data).ok());
    const SharedUser user = store()->users().last();
    QVERIFY(failure.isEmpty()
                ? TestDatabase::setReadOnly(true)
                : TestDatabase::refuse("refuse", failure, "Users2Groups", "refused by trigger"));

    const QString db = TestSupport::databaseSnapshot();
    const QString caches = TestSupport::cacheSnapshot();
    TestSupport::StoreSignalSpy spy;
    data = person("Новая", User::Operator);
    data.groups = {group(0), group(1)};
    data.photo = picture(Qt::green);
    OperationResult result;
    switch (operation) {
    case 0:
        result = store()->addUser(data);
        break;
    case 1:
        result = store()->updateUser(user, data);
        break;
    default:
        result = store()->deleteUser(user);
        break;
    }
    QCOMPARE(result.code, 3);
    QVERIFY2(result.message.contains(failure.isEmpty() ? TestDatabase::readOnlyError()
                                                       : QStringLiteral("refused by trigger")),
             qPrintable(result.message));
    QCOMPARE(TestSupport::databaseSnapshot(), db);
    QCOMPARE(TestSupport::cacheSnapshot(), caches);
    QCOMPARE(spy.total(), 0);

    // No transaction was left open: the next change goes through and commits.
    QVERIFY(TestDatabase::setReadOnly(false));
    QVERIFY(TestDatabase::dropRefusal("refuse", "Users2Groups"));
    QVERIFY(store()->addUser(person("Потом")).ok());
    m_db->reopen();
    QCOMPARE(store()->users().last()->surname, QStringLiteral("Потом"));
}

void DbUsersTest::loginAndAdministrator()
{
    QVERIFY(store()->addUser(person("Оператор", User::Operator)).ok());
    QVERIFY(store()->addUser(person("Простая")).ok());

    QVERIFY(!store()->login("admin", "Tavro"));
    QVERIFY(!store()->currentUser());
    QVERIFY(!store()->login("admin", ""));
    QVERIFY(!store()->login("", "tavro"));
    QVERIFY(!store()->login("admin ", "tavro"));
    QVERIFY(store()->login("admin", "tavro"));
    QCOMPARE(store()->currentUser(), store()->users().first());
    QVERIFY(store()->isMainAdministrator("admin", "tavro"));
    QVERIFY(!store()->isMainAdministrator("оператор", "pw"));
    QVERIFY(store()->findUser("оператор", "pw"));
    QCOMPARE(store()->currentUser(), store()->users().first()); // unchanged by the checks

    // A failed attempt leaves no current user.
    QVERIFY(!store()->login("admin", "wrong"));
    QVERIFY(!store()->currentUser());
    QVERIFY(store()->login("оператор", "pw"));
    QCOMPARE(store()->currentUser()->role, int(User::Operator));
    QCOMPARE(store()->currentUser()->rights(), 0);

    // A user with an empty stored password never logs in, nor does role 3.
    QVERIFY(TestDatabase::exec("UPDATE Users SET login = 'empty', password = '' WHERE surname = "
                               "'Простая'"));
    store()->loadAll();
    QVERIFY(!store()->currentUser()); // reloading forgets the login
    QVERIFY(!store()->findUser("empty", ""));

    // Rights are the OR of the groups' rights.
    const SharedUser admin = store()->users().first();
    QCOMPARE(admin->rights(), 7);
}

QTEST_MAIN(DbUsersTest)
#include "tst_dbusers.moc"
