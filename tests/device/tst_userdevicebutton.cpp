// The user page's dosimeter button against the emulator: processing the
// assigned device, and assigning one behind the access check and the
// exceeded-thresholds gate.

#include "Tm4040Emulator.h"
#include "common/DeviceTestSetup.h"
#include "common/ModalHelper.h"
#include "common/TestDatabase.h"
#include "device/ReadHistoryDialog.h"
#include "dose/UserDetailsWidget.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include <memory>

using TestSupport::TestDatabase;

namespace {

// Generous: a loaded machine may take long to open the next dialog.
const int ModalWaitMs = 60000;

const quint32 DeviceSerial = 40402222;

QPushButton *okButton(QWidget *dialog)
{
    auto *box = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    return box ? box->button(QDialogButtonBox::Ok) : nullptr;
}

// What opened, in order, by object name.
using Seen = std::shared_ptr<QStringList>;

// Answers the device search (" Найти прибор ", then "Продолжить") and
// then presses OK on the assignment dialog.
void findAndAssign(const Seen &seen)
{
    TestSupport::onNextModal(
        [seen](QWidget *finder) {
            seen->append(finder->objectName());
            TestSupport::onNextModal([seen](QWidget *details) {
                seen->append(details->objectName());
                TestSupport::onNextModal([seen](QWidget *assignment) {
                    seen->append(assignment->objectName());
                    okButton(assignment)->click();
                });
                okButton(details)->click();
            });
            okButton(finder)->click();
        },
        ModalWaitMs);
}

} // namespace

class UserDeviceButtonTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void assignedDeviceIsProcessed();
    void assignmentNeedsTheRight();
    void assignmentWithoutExceededThresholds();
    void exceededThresholdsGateTheAssignment_data();
    void exceededThresholdsGateTheAssignment();

private:
    QPushButton *deviceButton() const
    {
        return m_page->findChild<QPushButton *>(QStringLiteral("deviceButton"));
    }
    // A user threshold of 1 mSv over 7 days, exceeded by 2 mSv of today.
    void exceedThreshold(const SharedUser &user);

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<Tm4040Emulator> m_emulator;
    std::unique_ptr<UserDetailsWidget> m_page;
    SharedUser m_user;
};

void UserDeviceButtonTest::initTestCase()
{
    DeviceTestSetup::prepare();
}

void UserDeviceButtonTest::init()
{
    m_db.reset(new TestDatabase);
    QVERIFY(m_db->isValid());
    QVERIFY(m_db->db()->login(QStringLiteral("admin"), QStringLiteral("tavro")));
    User data(0, User::PlainUser, User::Male);
    data.surname = QStringLiteral("Кузнецов");
    data.firstname = QStringLiteral("Пётр");
    data.birthday = QDate(1975, 5, 5);
    data.canUseDevice = true;
    data.groups = {m_db->db()->groups().at(2)};
    QCOMPARE(m_db->db()->addUser(data).code, 0);
    m_user = m_db->db()->users().last();

    Tm4040Scenario scenario;
    scenario.serialNumber = DeviceSerial;
    // Twelve records of this morning.
    scenario.records
        = Tm4040Scenario::generateRecords(12, QDateTime(m_db->db()->today(), QTime(0, 30)), 600);
    m_emulator.reset(new Tm4040Emulator(scenario));
    QVERIFY(m_emulator->startTcp());
    m_emulator->exportLink();

    m_page.reset(new UserDetailsWidget(nullptr, nullptr));
    m_page->setUser(m_user);
    m_page->show();
}

void UserDeviceButtonTest::cleanup()
{
    m_page.reset();
    m_user.clear();
    m_emulator.reset();
    m_db.reset();
    qunsetenv("TM4040_LINK");
}

void UserDeviceButtonTest::exceedThreshold(const SharedUser &user)
{
    ThresholdChange change;
    change.data.isUser = true;
    change.data.name = QStringLiteral("Недельный");
    change.data.value = 1.0;
    change.data.period = 7;
    QVERIFY(m_db->db()->saveThresholds({change}));
    QVERIFY(m_db->insertEvents(user, {{QDateTime(m_db->db()->today(), QTime(0, 5)), 2.0}}));
}

void UserDeviceButtonTest::assignedDeviceIsProcessed()
{
    // Assigned before the emulator's records, so they are all his.
    m_db->db()->assignDevice(m_user, m_db->db()->deviceTypes().first(), int(DeviceSerial),
                             QDateTime(m_db->db()->today().addDays(-1), QTime(0, 0)), QString());
    m_page->setUser(m_user);
    QVERIFY(deviceButton()->text().contains(QString::number(DeviceSerial)));
    QString openedFor;
    TestSupport::onNextModal(
        [&openedFor](QWidget *dialog) {
            openedFor = dialog->findChild<QLabel *>(QStringLiteral("nameLabel"))->text();
            okButton(dialog)->click();
            auto *import = static_cast<ReadHistoryDialog *>(dialog);
            TestSupport::closeWhen(import, [import]() { return import->isFinished(); });
        },
        ModalWaitMs);
    deviceButton()->click();
    QCOMPARE(openedFor, m_user->fullName());
    QCOMPARE(TestDatabase::scalar(QStringLiteral("SELECT COUNT(*) FROM Events WHERE eventType = "
                                                 "200 AND userId = %1")
                                      .arg(m_user->id))
                 .toInt(),
             12);
    // The page shows the day's records at once (the assignment was the day before).
    auto *table = m_page->findChild<QTableWidget *>(QStringLiteral("historyTableWidget"));
    QCOMPARE(table->rowCount(), 12);
}

void UserDeviceButtonTest::assignmentNeedsTheRight()
{
    const SharedUser operatorUser
        = m_db->addUser(QStringLiteral("Оператор"), QStringLiteral("Олег"),
                        {m_db->db()->groups().at(2)}, User::Operator);
    m_db->db()->setCurrentUser(operatorUser);
    auto refusal = TestSupport::answerNextMessageBox(QMessageBox::Ok, ModalWaitMs);
    deviceButton()->click();
    QVERIFY(refusal->seen);
    QCOMPARE(refusal->title, QStringLiteral("Сообщение системы безопасности"));
    QVERIFY(!m_user->device);
    QVERIFY(m_emulator->receivedLetters().isEmpty());
}

void UserDeviceButtonTest::assignmentWithoutExceededThresholds()
{
    QSignalSpy updated(m_db->db(), &VDB::DataBase::userUpdated);
    auto seen = std::make_shared<QStringList>();
    findAndAssign(seen);
    deviceButton()->click();
    QCOMPARE(*seen,
             (QStringList {"FindDeviceDialog", "DeviceDetailsDialog", "DeviceAssignmentDialog"}));
    QVERIFY(m_user->device);
    QCOMPARE(m_user->device->serial, int(DeviceSerial));
    QCOMPARE(updated.count(), 1);
    QCOMPARE(TestDatabase::scalar(QStringLiteral("SELECT COUNT(*) FROM Events WHERE eventType = "
                                                 "100 AND userId = %1")
                                      .arg(m_user->id))
                 .toInt(),
             1);
}

void UserDeviceButtonTest::exceededThresholdsGateTheAssignment_data()
{
    QTest::addColumn<bool>("goOn");
    QTest::newRow("closed") << false;
    QTest::newRow("continued") << true;
}

void UserDeviceButtonTest::exceededThresholdsGateTheAssignment()
{
    QFETCH(bool, goOn);
    exceedThreshold(m_user);
    auto seen = std::make_shared<QStringList>();
    auto continueShown = std::make_shared<bool>(false);
    TestSupport::onNextModal(
        [seen, goOn, continueShown](QWidget *gate) {
            seen->append(gate->objectName());
            auto *next = gate->findChild<QPushButton *>(QStringLiteral("continueButton"));
            *continueShown = next && !next->isHidden();
            if (goOn) {
                findAndAssign(seen);
                next->click();
            } else {
                gate->findChild<QPushButton *>(QStringLiteral("closeButton"))->click();
            }
        },
        ModalWaitMs);
    deviceButton()->click();
    QVERIFY(*continueShown);
    if (goOn) {
        QCOMPARE(*seen,
                 (QStringList {"ExceededThreshouldsDialog", "FindDeviceDialog",
                               "DeviceDetailsDialog", "DeviceAssignmentDialog"}));
        QVERIFY(m_user->device);
    } else {
        QCOMPARE(*seen, QStringList {"ExceededThreshouldsDialog"});
        QVERIFY(!m_user->device);
        QVERIFY(m_emulator->receivedLetters().isEmpty());
    }
}

QTEST_MAIN(UserDeviceButtonTest)
#include "tst_userdevicebutton.moc"
