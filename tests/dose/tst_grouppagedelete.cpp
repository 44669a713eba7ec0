#include "common/ModalHelper.h"
#include "common/TestDatabase.h"
#include "dose/GroupDetailsWidget.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>
#include <memory>

using TestSupport::TestDatabase;

namespace {

// Answers the next message boxes one after the other with `buttons` and
// records what each showed.
std::shared_ptr<QList<TestSupport::SeenMessageBox>>
answerBoxes(QList<QMessageBox::StandardButton> buttons)
{
    auto seen = std::make_shared<QList<TestSupport::SeenMessageBox>>();
    auto answerOne = std::make_shared<std::function<void(QWidget *)>>();
    auto remaining = std::make_shared<QList<QMessageBox::StandardButton>>(buttons);
    *answerOne = [seen, remaining, answerOne](QWidget *widget) {
        const QMessageBox::StandardButton button = remaining->takeFirst();
        // Wait for the following box before this one closes.
        if (!remaining->isEmpty())
            TestSupport::onNextModal(*answerOne, 5000);
        else
            *answerOne = nullptr; // break the cycle
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (!box) {
            if (auto *dialog = qobject_cast<QDialog *>(widget))
                dialog->reject();
            return;
        }
        TestSupport::SeenMessageBox record;
        record.seen = true;
        record.title = box->windowTitle();
        record.text = box->text();
        record.icon = box->icon();
        seen->append(record);
        if (QAbstractButton *b = box->button(button))
            b->click();
        else
            box->done(button);
    };
    TestSupport::onNextModal(*answerOne, 5000);
    return seen;
}

} // namespace

// The deletion of members from the group page.
class GroupPageDeleteTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void refusedWithoutRight();
    void answeringNoKeepsEveryone();
    void deletesOthersAndWarnsAboutAdministrator();
    void memberWithHistoryStopsTheDeletion();
    void databaseErrorNamesTheUser();

private:
    void select(const QList<int> &rows);
    QPushButton *deleteButton() const { return m_page->findChild<QPushButton *>("delUsersButton"); }
    bool stored(const SharedUser &user) const { return m_db->db()->users().contains(user); }

    QScopedPointer<TestDatabase> m_db;
    QScopedPointer<GroupDetailsWidget> m_page;
    SharedGroup m_admins;
    SharedUser m_admin;
    SharedUser m_first;
    SharedUser m_second;
};

void GroupPageDeleteTest::init()
{
    m_db.reset(new TestDatabase);
    QVERIFY(m_db->isValid());
    m_admins = m_db->db()->groups().at(0);
    m_admin = m_db->db()->users().first();
    QCOMPARE(m_admin->role, int(User::Administrator));
    m_db->db()->setCurrentUser(m_admin);
    m_first = m_db->addUser(QStringLiteral("Первый"), QStringLiteral("Павел"), {m_admins});
    m_second = m_db->addUser(QStringLiteral("Второй"), QStringLiteral("Виктор"), {m_admins});
    QVERIFY(m_first && m_second);
    m_page.reset(new GroupDetailsWidget(nullptr, nullptr, nullptr, nullptr));
    m_page->setGroup(m_admins);
    QCOMPARE(m_page->findChild<QTableWidget *>("usersTableWidget")->rowCount(), 3);
}

void GroupPageDeleteTest::cleanup()
{
    m_page.reset();
    m_admins.clear();
    m_admin.clear();
    m_first.clear();
    m_second.clear();
    m_db.reset();
}

void GroupPageDeleteTest::select(const QList<int> &rows)
{
    auto *table = m_page->findChild<QTableWidget *>("usersTableWidget");
    table->clearSelection();
    for (int row : rows)
        table->selectionModel()->select(table->model()->index(row, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QVERIFY(deleteButton()->isEnabled());
}

void GroupPageDeleteTest::refusedWithoutRight()
{
    SharedUser operatorUser
        = m_db->addUser(QStringLiteral("Оператор"), QStringLiteral("Олег"),
                        {m_db->db()->groups().at(1)}, User::Operator, QStringLiteral("oleg"));
    m_db->db()->setCurrentUser(operatorUser);
    select({1});
    auto seen = answerBoxes({QMessageBox::Ok});
    deleteButton()->click();
    QCOMPARE(seen->size(), 1);
    QCOMPARE(seen->at(0).title, QString::fromUtf8("Сообщение системы безопасности"));
    QVERIFY(stored(m_first));
}

void GroupPageDeleteTest::answeringNoKeepsEveryone()
{
    select({1, 2});
    auto seen = answerBoxes({QMessageBox::No});
    deleteButton()->click();
    QCOMPARE(seen->size(), 1);
    QCOMPARE(seen->at(0).title, QString::fromUtf8("Удалить выбранное?"));
    QCOMPARE(seen->at(0).text, QString::fromUtf8("Удалить выбранное?"));
    QVERIFY(stored(m_first));
    QVERIFY(stored(m_second));
}

void GroupPageDeleteTest::deletesOthersAndWarnsAboutAdministrator()
{
    QSignalSpy deleted(m_db->db(), &VDB::DataBase::userDeleted);
    select({0, 1, 2});
    auto seen = answerBoxes({QMessageBox::Yes, QMessageBox::Ok});
    deleteButton()->click();
    QCOMPARE(seen->size(), 2);
    QCOMPARE(seen->at(1).title, QString::fromUtf8("Внимание"));
    QCOMPARE(seen->at(1).text, QString::fromUtf8("Невозможно удалить главного администратора"));
    QCOMPARE(seen->at(1).icon, QMessageBox::Critical);
    QCOMPARE(deleted.count(), 2);
    QVERIFY(!stored(m_first));
    QVERIFY(!stored(m_second));
    QVERIFY(stored(m_admin));
}

void GroupPageDeleteTest::memberWithHistoryStopsTheDeletion()
{
    QVERIFY(m_db->insertEvents(m_first, {{QDateTime(QDate(2026, 1, 5), QTime(9, 0)), 0.1}}));
    select({1, 2});
    auto seen = answerBoxes({QMessageBox::Yes, QMessageBox::Ok});
    deleteButton()->click();
    QCOMPARE(seen->size(), 2);
    QCOMPARE(seen->at(1).title, QString::fromUtf8("Предупреждение"));
    QCOMPARE(seen->at(1).text,
             QString::fromUtf8("Невозможно удалить пользователя Первый Павел . Пользователь "
                               "имеет историю."));
    // The deletion stopped at the first refusal.
    QVERIFY(stored(m_first));
    QVERIFY(stored(m_second));
}

void GroupPageDeleteTest::databaseErrorNamesTheUser()
{
    QVERIFY(TestDatabase::exec(QStringLiteral("DROP TABLE Events")));
    select({2});
    auto seen = answerBoxes({QMessageBox::Yes, QMessageBox::Ok});
    deleteButton()->click();
    QCOMPARE(seen->size(), 2);
    QCOMPARE(seen->at(1).title, QString::fromUtf8("Предупреждение"));
    QVERIFY2(seen->at(1).text.startsWith(
                 QString::fromUtf8("Не удалось удалить пользователя Второй Виктор. Причина: \"")),
             qPrintable(seen->at(1).text));
    QVERIFY(stored(m_second));
}

QTEST_MAIN(GroupPageDeleteTest)
#include "tst_grouppagedelete.moc"
