// The audit dialog: administrators only, filters that reach the table and
// the CSV, pages that keep a long trail quick to open.

#include "common/ModalHelper.h"
#include "common/TestDatabase.h"
#include "db/AuditOperation.h"
#include "ui/AuditDialog.h"
#include "ui/AuditReport.h"
#include "ui/OrvaneWindow.h"

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using TestSupport::TestDatabase;

class AuditDialogTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup() { m_db.reset(); }

    void onlyAdministratorsSeeIt();
    void filtersReachTableAndCsv();
    void longTrailComesInPages();

private:
    // `count` entries a minute apart from 2026-05-10 10:00, alternating
    // between the logins and operations given.
    void addEntries(int count, const QStringList &logins, const QStringList &operations);

    QScopedPointer<TestDatabase> m_db;
};

void AuditDialogTest::init()
{
    m_db.reset(new TestDatabase);
    QVERIFY(m_db->isValid());
    m_db->db()->setToday(QDate(2026, 5, 20));
}

void AuditDialogTest::addEntries(int count, const QStringList &logins,
                                 const QStringList &operations)
{
    QSqlDatabase connection = QSqlDatabase::database();
    QVERIFY(connection.transaction());
    QSqlQuery insert(connection);
    QVERIFY(insert.prepare("INSERT INTO AuditLog (dateTime, login, workstation, operation, "
                           "object, details) VALUES (?, ?, 'ПК', ?, ?, 'подробно')"));
    const QDateTime start(QDate(2026, 5, 10), QTime(10, 0));
    for (int i = 0; i < count; ++i) {
        insert.addBindValue(start.addSecs(60 * i).toString(Qt::ISODateWithMs));
        insert.addBindValue(logins.at(i % logins.size()));
        insert.addBindValue(operations.at(i % operations.size()));
        insert.addBindValue(QStringLiteral("объект %1").arg(i));
        QVERIFY(insert.exec());
    }
    QVERIFY(connection.commit());
}

void AuditDialogTest::onlyAdministratorsSeeIt()
{
    const SharedUser op
        = m_db->addUser("Оператор", "Олег", {m_db->db()->groups().at(1)}, User::Operator, "oper");
    m_db->db()->setCurrentUser(op);
    {
        OrvaneWindow window;
        QVERIFY(!window.findChild<QAction *>("actionAuditLog")->isVisible());
    }
    // Reached some other way, the trail still refuses an operator.
    auto refusal = TestSupport::answerNextMessageBox(QMessageBox::Ok, 10000);
    AuditDialog::showTrail(nullptr);
    QVERIFY(refusal->seen);
    QCOMPARE(refusal->title, QStringLiteral("Сообщение системы безопасности"));

    QVERIFY(m_db->db()->login("admin", "tavro"));
    OrvaneWindow window;
    QAction *action = window.findChild<QAction *>("actionAuditLog");
    QVERIFY(action->isVisible());
    bool opened = false;
    TestSupport::onNextModal([&opened](QWidget *modal) {
        opened = qobject_cast<AuditDialog *>(modal) != nullptr;
        static_cast<QDialog *>(modal)->reject();
    });
    action->trigger();
    QVERIFY(opened);
}

void AuditDialogTest::filtersReachTableAndCsv()
{
    addEntries(6, {"ivanov", "petrov"},
               {VDB::AuditOperation::UserAdded, VDB::AuditOperation::DoseReset,
                VDB::AuditOperation::DeviceAssigned});
    AuditDialog dialog;
    auto *table = dialog.findChild<QTableWidget *>("auditTableWidget");
    QCOMPARE(table->rowCount(), 6);
    QCOMPARE(table->item(0, AuditDialog::ObjectColumn)->text(), QStringLiteral("объект 5"));

    auto *logins = dialog.findChild<QComboBox *>("loginComboBox");
    logins->setCurrentIndex(logins->findText("petrov"));
    QCOMPARE(table->rowCount(), 3);
    auto *operations = dialog.findChild<QComboBox *>("operationComboBox");
    operations->setCurrentIndex(operations->findData(QString(VDB::AuditOperation::DoseReset)));
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(table->item(0, AuditDialog::OperationColumn)->text(),
             QStringLiteral("Сброс накопленной дозы"));
    const QString csv = QString::fromUtf8(dialog.csv().data());
    QVERIFY(csv.contains("10.05.2026 10:01:00;petrov;ПК;dose_reset;Сброс накопленной дозы;"
                         "объект 1;подробно"));
    QCOMPARE(csv.count("\r\n"), 2); // the header and the one entry

    // The printed trail comes from a template of its own.
    QTemporaryDir dir;
    QString error;
    QVERIFY2(AuditReport(m_db->db()->auditEntries(dialog.filter()), QString())
                 .savePdf(dir.filePath("audit.pdf"), &error),
             qPrintable(error));

    operations->setCurrentIndex(0);
    dialog.findChild<QDateEdit *>("fromDateEdit")->setDate(QDate(2026, 5, 11));
    QCOMPARE(table->rowCount(), 0);
}

void AuditDialogTest::longTrailComesInPages()
{
    addEntries(AuditDialog::PageSize + 20, {"ivanov"}, {VDB::AuditOperation::LoginSucceeded});
    AuditDialog dialog;
    auto *table = dialog.findChild<QTableWidget *>("auditTableWidget");
    auto *more = dialog.findChild<QPushButton *>("moreButton");
    QCOMPARE(table->rowCount(), AuditDialog::PageSize);
    QVERIFY(more->isEnabled());
    more->click();
    // The initial database's own entry, stamped by the clock, lies outside
    // the pinned month.
    QCOMPARE(table->rowCount(), AuditDialog::PageSize + 20);
    QVERIFY(!more->isEnabled());
    QCOMPARE(dialog.findChild<QLabel *>("countLabel")->text(),
             QStringLiteral("Показано записей: 520 из 520"));
}

QTEST_MAIN(AuditDialogTest)
#include "tst_auditdialog.moc"
