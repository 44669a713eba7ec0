// The main window's device actions end to end against the emulator: each
// one finds the device and opens its working dialog.

#include "Tm4040Emulator.h"
#include "common/DeviceTestSetup.h"
#include "common/ModalHelper.h"
#include "common/TestDatabase.h"
#include "device/FindDeviceDialog.h"
#include "device/ReadHistoryDialog.h"
#include "ui/OrvaneWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <memory>

using TestSupport::TestDatabase;

namespace {

// Generous: a loaded machine may take long to open the next dialog.
const int ModalWaitMs = 60000;

const quint32 DeviceSerial = 40401111;

QPushButton *okButton(QWidget *dialog)
{
    auto *box = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    return box ? box->button(QDialogButtonBox::Ok) : nullptr;
}

// Runs the search that opens next: " Найти прибор ", then "Продолжить" on the
// details; then hands the working dialog to `work`, if one opens within
// `workTimeoutMs`.
void findDeviceThen(std::function<void(QWidget *)> work, int workTimeoutMs = 10000)
{
    TestSupport::onNextModal(
        [work, workTimeoutMs](QWidget *finder) {
            TestSupport::onNextModal([work, workTimeoutMs](QWidget *details) {
                TestSupport::onNextModal(work, workTimeoutMs);
                okButton(details)->click();
            });
            okButton(finder)->click();
        },
        ModalWaitMs);
}

} // namespace

class DeviceWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void processImportsForTheAssignedUser();
    void processUnassignedDeviceOffersTheAssignment();
    void eachActionOpensItsDialog_data();
    void eachActionOpensItsDialog();
    void deviceSettingsNeedsTheRight();

private:
    QAction *action(const char *name) const;

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<Tm4040Emulator> m_emulator;
    std::unique_ptr<OrvaneWindow> m_window;
};

void DeviceWindowTest::initTestCase()
{
    DeviceTestSetup::prepare();
}

void DeviceWindowTest::init()
{
    m_db.reset(new TestDatabase);
    QVERIFY(m_db->isValid());
    QVERIFY(m_db->db()->login(QStringLiteral("admin"), QStringLiteral("tavro")));
    Tm4040Scenario scenario;
    scenario.serialNumber = DeviceSerial;
    scenario.records
        = Tm4040Scenario::generateRecords(15, QDateTime(QDate(2024, 5, 1), QTime(8, 0)));
    m_emulator.reset(new Tm4040Emulator(scenario));
    QVERIFY(m_emulator->startTcp());
    m_emulator->exportLink();
    m_window.reset(new OrvaneWindow);
    m_window->show();
}

void DeviceWindowTest::cleanup()
{
    m_window.reset();
    m_emulator.reset();
    m_db.reset();
    qunsetenv("TM4040_LINK");
}

QAction *DeviceWindowTest::action(const char *name) const
{
    return m_window->findChild<QAction *>(QLatin1String(name));
}

void DeviceWindowTest::processImportsForTheAssignedUser()
{
    const SharedUser other = m_db->addUser(QStringLiteral("Иванов"));
    const SharedUser owner = m_db->addUser(QStringLiteral("Петров"));
    DeviceType *type = m_db->db()->deviceTypes().first();
    m_db->db()->assignDevice(other, type, int(DeviceSerial) + 1, QDateTime(), QString());
    // Assigned before the emulator's records, so they are all his.
    m_db->db()->assignDevice(owner, type, int(DeviceSerial),
                             QDateTime(QDate(2024, 4, 1), QTime(8, 0)), QString());

    QString openedFor;
    QString summary;
    findDeviceThen([&openedFor, &summary](QWidget *dialog) {
        openedFor = dialog->findChild<QLabel *>(QStringLiteral("nameLabel"))->text();
        dialog->findChild<QCheckBox *>(QStringLiteral("delHistoryCheckBox"))->setChecked(true);
        okButton(dialog)->click();
        // The dialog stays with its summary until the operator closes it.
        auto *import = static_cast<ReadHistoryDialog *>(dialog);
        TestSupport::closeWhen(import, [import, &summary]() {
            summary = import->summary();
            return import->isFinished();
        });
    });
    action("actionProcessDeviceData")->trigger();
    QCOMPARE(openedFor, owner->fullName());
    QVERIFY2(summary.contains(QStringLiteral("Записано новых: 15")), qPrintable(summary));
    QCOMPARE(TestDatabase::scalar(
                 QStringLiteral("SELECT COUNT(*) FROM Events WHERE eventType = 200 AND userId = %1")
                     .arg(owner->id))
                 .toInt(),
             15);
    QVERIFY(m_emulator->records().isEmpty());
}

void DeviceWindowTest::processUnassignedDeviceOffersTheAssignment()
{
    const SharedGroup users = m_db->db()->groups().at(2);
    const SharedUser owner
        = m_db->addUser(QStringLiteral("Петров"), QStringLiteral("Иван"), {users});
    QVERIFY(m_db->db()->setDeviceUsage(users, true, QString()));

    // No: nothing more happens, the device was only identified.
    auto question = std::make_shared<TestSupport::SeenMessageBox>();
    findDeviceThen([question](QWidget *widget) {
        auto *box = static_cast<QMessageBox *>(widget);
        question->seen = true;
        question->title = box->windowTitle();
        question->text = box->text();
        box->button(QMessageBox::No)->click();
    });
    m_window->findChild<QPushButton *>(QStringLiteral("processButton"))->click();
    QVERIFY(question->seen);
    QCOMPARE(question->title, QStringLiteral("Прибор не назначен"));
    QVERIFY2(question->text.contains(QStringLiteral("КВР-ТМ4040 №\u00a0%1").arg(DeviceSerial)),
             qPrintable(question->text));
    QVERIFY(!owner->device);
    QCOMPARE(m_emulator->receivedLetters(), QByteArray("p"));

    // Yes: the operator picks the user among those who may get a device.
    QStringList offered;
    findDeviceThen([&offered, owner](QWidget *box) {
        TestSupport::onNextModal(
            [&offered, owner](QWidget *choice) {
                auto *combo = choice->findChild<QComboBox *>(QStringLiteral("usersComboBox"));
                for (int i = 0; i < combo->count(); ++i)
                    offered << combo->itemText(i);
                combo->setCurrentIndex(combo->findText(owner->fullName()));
                TestSupport::onNextModal([](QWidget *assignment) { okButton(assignment)->click(); },
                                         ModalWaitMs);
                okButton(choice)->click();
            },
            ModalWaitMs);
        static_cast<QMessageBox *>(box)->button(QMessageBox::Yes)->click();
    });
    action("actionProcessDeviceData")->trigger();
    // Nobody preset, then the administrator and the new user.
    QCOMPARE(offered.size(), 3);
    QCOMPARE(offered.first(), QStringLiteral("Не выбран"));
    QCOMPARE(offered.last(), owner->fullName());
    QVERIFY(owner->device);
    QCOMPARE(owner->device->serial, int(DeviceSerial));
}

void DeviceWindowTest::eachActionOpensItsDialog_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("dialog");
    QTest::newRow("dose") << QStringLiteral("actionDeviceDose")
                          << QStringLiteral("ResetDoseDialog");
    QTest::newRow("settings") << QStringLiteral("actionDeviceSettings")
                              << QStringLiteral("Tm4040SettingsDialog");
    QTest::newRow("internal history")
        << QStringLiteral("actionReadDeviceHistory") << QStringLiteral("InternalHistoryDialog");
}

void DeviceWindowTest::eachActionOpensItsDialog()
{
    QFETCH(QString, action);
    QFETCH(QString, dialog);
    QString opened;
    bool finderAlive = false;
    findDeviceThen([&](QWidget *working) {
        opened = working->objectName();
        // The working dialog runs while the finder, which owns the
        // connection, still exists.
        finderAlive = m_window->findChild<FindDeviceDialog *>() != nullptr;
        // Closing is refused while a worker reads the device: try until
        // it closes (the history viewer's message is answered on the way).
        auto *retry = new QTimer(working);
        QObject::connect(retry, &QTimer::timeout, working, [working]() {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                box->accept();
            else
                static_cast<QDialog *>(working)->reject();
        });
        retry->start(50);
    });
    this->action(action.toLatin1().constData())->trigger();
    QCOMPARE(opened, dialog);
    QVERIFY(finderAlive);
    QVERIFY(!m_window->findChild<FindDeviceDialog *>());
}

void DeviceWindowTest::deviceSettingsNeedsTheRight()
{
    const SharedUser user = m_db->addUser(QStringLiteral("Оператор"), QStringLiteral("Олег"),
                                          {m_db->db()->groups().at(2)}, User::Operator);
    m_db->db()->setCurrentUser(user);
    auto refusal = TestSupport::answerNextMessageBox(QMessageBox::Ok, ModalWaitMs);
    action("actionDeviceSettings")->trigger();
    QVERIFY(refusal->seen);
    QCOMPARE(refusal->title, QStringLiteral("Сообщение системы безопасности"));
    QVERIFY(m_emulator->receivedLetters().isEmpty());
}

QTEST_MAIN(DeviceWindowTest)
#include "tst_devicewindow.moc"
