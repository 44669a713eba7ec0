// Finding a device: the plug-in binding, the search on its worker thread,
// the details shown, and giving the found device to a user.

#include "Tm4040Emulator.h"
#include "common/DeviceTestSetup.h"
#include "common/ModalHelper.h"
#include "common/TestDatabase.h"
#include "device/DeviceAssignmentDialog.h"
#include "device/DeviceConnection.h"
#include "device/DeviceDetailsDialog.h"
#include "device/FindDeviceDialog.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTextEdit>
#include <QTimeEdit>
#include <QtTest>

#include <memory>

using TestSupport::TestDatabase;

namespace {

// Generous: a loaded machine may take long to open the next dialog.
const int ModalWaitMs = 60000;

const quint32 DeviceSerial = 40405678;

// Counts the calls that open and close the link.
class CountingPlugin : public AbstractPlugin
{
public:
    int connects = 0;
    int disconnects = 0;
    int serial = 5;

    bool isSingleChannel() override { return true; }
    bool connectDevice() override
    {
        ++connects;
        return true;
    }
    void disconnectDevice() override { ++disconnects; }
    bool readDeviceInfo(DeviceInfo *info) override
    {
        info->serialNumber = serial;
        return true;
    }
    QDateTime readDeviceTime() override { return QDateTime(); }
    bool writeTime(const QDateTime &) override { return false; }
    void reserved1() override { }
    void reserved2() override { }
    void reserved3() override { }
    bool readHistory(QList<HistoryEvent *> &, bool) override { return false; }
    bool clearHistory() override { return false; }
    bool readSettings(DeviceSettings *) override { return false; }
    bool writeSettings(DeviceSettings *, bool) override { return false; }
    bool readAccumulatedED(double *) override { return false; }
    bool resetAccumulatedED() override { return false; }
    QDateTime reservedTime() override { return QDateTime(); }
};

Tm4040Scenario scenario()
{
    Tm4040Scenario s;
    s.serialNumber = DeviceSerial;
    s.firmwareVersion = 0x2B;
    s.clock = QDateTime(QDate(2024, 6, 1), QTime(9, 15, 30));
    s.clockRunning = false;
    s.historyMode = 0x85;
    s.accumulatedDoseRaw = 123456;
    s.records = Tm4040Scenario::generateRecords(7, QDateTime(QDate(2024, 5, 1), QTime(8, 0)));
    return s;
}

QPushButton *okButton(QWidget *dialog)
{
    return dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))
        ->button(QDialogButtonBox::Ok);
}

QString labelText(QWidget *dialog, const char *name)
{
    return dialog->findChild<QLabel *>(QLatin1String(name))->text();
}

void pointLinkAtNobody()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    const quint16 port = server.serverPort();
    server.close();
    qputenv("TM4040_LINK", QStringLiteral("tcp:127.0.0.1:%1").arg(port).toUtf8());
}

} // namespace

class DeviceSearchTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void missingLibraryGivesNoPlugin();
    void connectTakesAnySerialOrTheExpectedOne();
    void secondConnectClosesTheFirstLink();
    void finderForm();
    void findThenDetailsThenAssign();
    void cancelledDetailsRejectTheFinder();
    void noDeviceKeepsTheFinderOpen();
    void missingLibraryFailsWithoutWaiting();
    void cancelStopsTheSearch_data();
    void cancelStopsTheSearch();
    void finderDestroyedWhileSearching();
    void detailsWithoutProductionDate();
    void assignmentWithTimeAndClock();
    void unreadableClockStillAssigns();
    void refusedAssignmentKeepsTheDialogOpen();

private:
    void startEmulator(const Tm4040Scenario &s = scenario());

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<Tm4040Emulator> m_emulator;
};

void DeviceSearchTest::initTestCase()
{
    DeviceTestSetup::prepare();
}

void DeviceSearchTest::init()
{
    m_db.reset(new TestDatabase);
    QVERIFY(m_db->isValid());
}

void DeviceSearchTest::cleanup()
{
    m_emulator.reset();
    m_db.reset();
    qunsetenv("TM4040_LINK");
}

void DeviceSearchTest::startEmulator(const Tm4040Scenario &s)
{
    m_emulator.reset(new Tm4040Emulator(s));
    QVERIFY(m_emulator->startTcp());
    m_emulator->exportLink();
}

void DeviceSearchTest::missingLibraryGivesNoPlugin()
{
    DeviceType type;
    type.connector = QStringLiteral("no_such_device_plugin");
    DeviceConnection connection(&type);
    QVERIFY(!connection.plugin());
    QVERIFY(!connection.connect());
    QVERIFY(!connection.hasDevice());
    DeviceConnection none(nullptr);
    QVERIFY(!none.plugin());
}

void DeviceSearchTest::connectTakesAnySerialOrTheExpectedOne()
{
    startEmulator();
    DeviceConnection connection(m_db->db()->deviceTypes().first());
    QVERIFY(connection.plugin());
    QVERIFY(connection.connect(-1));
    QCOMPARE(connection.info()->serialNumber, int(DeviceSerial));
    QCOMPARE(connection.info()->name, QStringLiteral("КВР-ТМ4040"));
    QVERIFY(connection.connect(int(DeviceSerial)));
    // Another serial number drops the device at once.
    QVERIFY(!connection.connect(int(DeviceSerial) + 1));
    QVERIFY(!connection.hasDevice());
}

void DeviceSearchTest::secondConnectClosesTheFirstLink()
{
    CountingPlugin plugin;
    {
        DeviceConnection connection(nullptr, &plugin);
        connection.disconnect(); // nothing found yet: the plug-in is not called
        QCOMPARE(plugin.disconnects, 0);
        QVERIFY(connection.connect());
        QVERIFY(connection.connect());
        QCOMPARE(plugin.connects, 2);
        QCOMPARE(plugin.disconnects, 1);
        QVERIFY(!connection.connect(99));
        QCOMPARE(plugin.disconnects, 3); // before connecting, and the wrong device
    }
    QCOMPARE(plugin.disconnects, 3); // nothing left to close
    {
        DeviceConnection connection(nullptr, &plugin);
        QVERIFY(connection.connect());
    }
    QCOMPARE(plugin.disconnects, 4); // closed on destruction
}

void DeviceSearchTest::finderForm()
{
    FindDeviceDialog dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("FindDeviceDialog"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Найти прибор"));
    QCOMPARE(dialog.size(), QSize(442, 133));
    QCOMPARE(okButton(&dialog)->text(), QStringLiteral(" Найти прибор "));
    auto *combo = dialog.findChild<QComboBox *>(QStringLiteral("deviceTypeComboBox"));
    QCOMPARE(combo->count(), m_db->db()->deviceTypes().size());
    QCOMPARE(combo->itemText(0), QStringLiteral("КВР-ТМ4040"));
    QCOMPARE(combo->itemData(0).value<void *>(),
             static_cast<void *>(m_db->db()->deviceTypes().first()));
    QVERIFY(!dialog.connection());
}

void DeviceSearchTest::findThenDetailsThenAssign()
{
    startEmulator();
    const SharedUser user = m_db->addUser(QStringLiteral("Сидоров"));
    QSignalSpy updated(m_db->db(), &VDB::DataBase::userUpdated);
    QSignalSpy added(m_db->db(), &VDB::DataBase::historyAdded);

    FindDeviceDialog finder;
    finder.show();
    QMap<QString, QString> details;
    TestSupport::onNextModal(
        [&details](QWidget *dialog) {
            details[QStringLiteral("object")] = dialog->objectName();
            details[QStringLiteral("title")] = dialog->windowTitle();
            details[QStringLiteral("group")]
                = dialog->findChild<QGroupBox *>(QStringLiteral("deviceGroupBox"))->title();
            for (const char *name :
                 {"deviceNumberLabel", "firmwareLabel", "creationDateLabel", "deviceTimeLabel",
                  "accumulatedEDLabel", "historyCountLabel", "historyTypeLabel"})
                details[QLatin1String(name)] = labelText(dialog, name);
            details[QStringLiteral("ok")] = okButton(dialog)->text();
            okButton(dialog)->click();
        },
        ModalWaitMs);
    okButton(&finder)->click();
    QVERIFY(finder.isSearching());
    QCOMPARE(finder.findChild<QProgressBar *>()->maximum(), 0);
    QVERIFY(!okButton(&finder)->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(finder.result(), int(QDialog::Accepted), 30000);

    QCOMPARE(details.value("object"), QStringLiteral("DeviceDetailsDialog"));
    QCOMPARE(details.value("title"), QStringLiteral("Найти прибор"));
    QCOMPARE(details.value("group"), QStringLiteral("КВР-ТМ4040"));
    QCOMPARE(details.value("deviceNumberLabel"), QString::number(DeviceSerial));
    QCOMPARE(details.value("firmwareLabel"), QStringLiteral("2b"));
    QCOMPARE(details.value("creationDateLabel"), QStringLiteral("—"));
    QCOMPARE(details.value("deviceTimeLabel"), QStringLiteral("1 июн. 2024 09:15:30"));
    QCOMPARE(details.value("accumulatedEDLabel"), QStringLiteral("1.235 мЗв"));
    QCOMPARE(details.value("historyCountLabel"), QStringLiteral("7"));
    QCOMPARE(details.value("historyTypeLabel"), QStringLiteral("Циклическая"));
    QCOMPARE(details.value("ok"), QStringLiteral("Продолжить"));
    QVERIFY(!finder.isSearching());
    QCOMPARE(finder.findChild<QProgressBar *>()->maximum(), 100);
    QVERIFY(finder.connection()->hasDevice());

    // Both group boxes left unchecked: the current time, the clock untouched.
    m_emulator->clearReceivedFrames();
    DeviceAssignmentDialog assignment(finder.connection(), user);
    QCOMPARE(assignment.objectName(), QStringLiteral("DeviceAssignmentDialog"));
    QCOMPARE(assignment.windowTitle(), QStringLiteral("Назначение прибора"));
    QCOMPARE(labelText(&assignment, "currentDeviceTimeLabel"),
             QStringLiteral("1 июн. 2024 09:15:30"));
    assignment.findChild<QTextEdit *>(QStringLiteral("commentTextEdit"))
        ->setPlainText(QStringLiteral("выдан на смену"));
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    okButton(&assignment)->click();
    QCOMPARE(assignment.result(), int(QDialog::Accepted));

    QVERIFY(user->device);
    QCOMPARE(user->device->type, m_db->db()->deviceTypes().first());
    QCOMPARE(user->device->serial, int(DeviceSerial));
    QVERIFY(user->device->assignDate >= before);
    QCOMPARE(updated.count(), 1);
    QCOMPARE(added.count(), 1);
    QCOMPARE(TestDatabase::scalar(QStringLiteral("SELECT comment FROM Events WHERE eventType = 100 "
                                                 "AND deviceSerial = %1")
                                      .arg(DeviceSerial))
                 .toString(),
             QStringLiteral("выдан на смену"));
    QCOMPARE(m_emulator->receivedLetters(), QByteArray("p")); // the clock was only read
}

void DeviceSearchTest::cancelledDetailsRejectTheFinder()
{
    startEmulator();
    FindDeviceDialog finder;
    finder.show();
    TestSupport::onNextModal([](QWidget *dialog) { static_cast<QDialog *>(dialog)->reject(); },
                             ModalWaitMs);
    okButton(&finder)->click();
    QTRY_VERIFY_WITH_TIMEOUT(!finder.isVisible(), 30000);
    QCOMPARE(finder.result(), int(QDialog::Rejected));
}

void DeviceSearchTest::noDeviceKeepsTheFinderOpen()
{
    pointLinkAtNobody();
    FindDeviceDialog finder;
    finder.show();
    auto error = TestSupport::answerNextMessageBox(QMessageBox::Ok, ModalWaitMs);
    okButton(&finder)->click();
    QTRY_VERIFY_WITH_TIMEOUT(error->seen, 30000);
    QTRY_VERIFY(!finder.isSearching());
    QCOMPARE(error->title, QStringLiteral("Ошибка"));
    QCOMPARE(error->text, QStringLiteral("На доступных портах прибор не найден"));
    QCOMPARE(error->icon, QMessageBox::Critical);
    QVERIFY(finder.isVisible());
    QVERIFY(okButton(&finder)->isEnabled());
    QVERIFY(!finder.connection()->hasDevice());

    // The next try finds the device that has come in range.
    startEmulator();
    TestSupport::onNextModal([](QWidget *dialog) { okButton(dialog)->click(); }, ModalWaitMs);
    okButton(&finder)->click();
    QTRY_COMPARE_WITH_TIMEOUT(finder.result(), int(QDialog::Accepted), 30000);
}

void DeviceSearchTest::missingLibraryFailsWithoutWaiting()
{
    QVERIFY(TestDatabase::exec(QStringLiteral(
        "INSERT INTO 'DeviceType' ('name', 'connector') VALUES ('Прибор Б', 'no_such_plugin')")));
    m_db->reopen();
    FindDeviceDialog finder;
    finder.show();
    auto *combo = finder.findChild<QComboBox *>(QStringLiteral("deviceTypeComboBox"));
    QCOMPARE(combo->count(), 2);
    combo->setCurrentIndex(1);
    auto error = TestSupport::answerNextMessageBox(QMessageBox::Ok, ModalWaitMs);
    QElapsedTimer clock;
    clock.start();
    okButton(&finder)->click();
    QTRY_VERIFY_WITH_TIMEOUT(error->seen, 30000);
    QVERIFY(clock.elapsed() < 2000);
    QCOMPARE(error->text, QStringLiteral("На доступных портах прибор не найден"));
    QVERIFY(!finder.connection()->plugin());
}

void DeviceSearchTest::cancelStopsTheSearch_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("Отмена") << false;
    QTest::newRow("Escape") << true;
}

void DeviceSearchTest::cancelStopsTheSearch()
{
    QFETCH(bool, escape);
    // A device that never answers, and an answer limit far beyond the test.
    Tm4040Scenario s = scenario();
    s.faults.silentCommands = "p";
    startEmulator(s);
    const QByteArray limit = qgetenv("TM4040_ANSWER_TIMEOUT_MS");
    qputenv("TM4040_ANSWER_TIMEOUT_MS", "60000");
    const auto restore = qScopeGuard([limit]() { qputenv("TM4040_ANSWER_TIMEOUT_MS", limit); });
    FindDeviceDialog finder;
    finder.show();
    okButton(&finder)->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_emulator->receivedLetters(), QByteArray("p"), 30000);
    QElapsedTimer clock;
    clock.start();
    auto *cancel = finder.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel);
    QVERIFY(cancel->isEnabled());
    if (escape)
        QTest::keyClick(&finder, Qt::Key_Escape);
    else
        cancel->click();
    QTRY_VERIFY_WITH_TIMEOUT(!finder.isVisible(), 30000);
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(finder.result(), int(QDialog::Rejected));
    QVERIFY(!finder.isSearching());
    QVERIFY(!finder.connection()->hasDevice());
    // The plug-in is free again.
    m_emulator->setFaults(Tm4040Faults());
    DeviceConnection again(m_db->db()->deviceTypes().first());
    QVERIFY(again.connect());
}

void DeviceSearchTest::finderDestroyedWhileSearching()
{
    Tm4040Scenario s = scenario();
    s.faults.answerDelayMs = 300;
    startEmulator(s);
    auto *finder = new FindDeviceDialog;
    finder->show();
    okButton(finder)->click();
    QVERIFY(finder->isSearching());
    delete finder; // waits for the search, then closes the link
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // The plug-in is free again.
    m_emulator->setFaults(Tm4040Faults());
    DeviceConnection connection(m_db->db()->deviceTypes().first());
    QVERIFY(connection.connect());
}

void DeviceSearchTest::detailsWithoutProductionDate()
{
    DeviceInfo info;
    info.name = QStringLiteral("КВР-ТМ4040");
    info.serialNumber = 12;
    info.firmwareVersion = 0xA0;
    info.accumulatedDose = 2.5;
    info.cyclicHistory = false;
    DeviceDetailsDialog dialog(&info);
    QCOMPARE(labelText(&dialog, "creationDateLabel"), QStringLiteral("—"));
    QCOMPARE(labelText(&dialog, "deviceTimeLabel"), QStringLiteral("—"));
    QCOMPARE(labelText(&dialog, "firmwareLabel"), QStringLiteral("a0"));
    QCOMPARE(labelText(&dialog, "accumulatedEDLabel"), QStringLiteral("2.500 мЗв"));
    QCOMPARE(labelText(&dialog, "historyTypeLabel"), QStringLiteral("Линейная"));
    info.manufactureDate = QDateTime(QDate(2019, 3, 4), QTime(5, 6, 7));
    DeviceDetailsDialog dated(&info);
    QCOMPARE(labelText(&dated, "creationDateLabel"), QStringLiteral("4 мар. 2019 05:06"));
}

void DeviceSearchTest::assignmentWithTimeAndClock()
{
    startEmulator();
    const SharedUser user = m_db->addUser(QStringLiteral("Сидоров"));
    DeviceConnection connection(m_db->db()->deviceTypes().first());
    QVERIFY(connection.connect());
    m_emulator->clearReceivedFrames();

    DeviceAssignmentDialog dialog(&connection, user);
    auto *timeBox = dialog.findChild<QGroupBox *>(QStringLiteral("assignmentTimeGroupBox"));
    auto *clockBox = dialog.findChild<QGroupBox *>(QStringLiteral("synchronizeTimeGroupBox"));
    QVERIFY(timeBox->isCheckable() && !timeBox->isChecked());
    QVERIFY(clockBox->isCheckable() && !clockBox->isChecked());
    QCOMPARE(dialog.findChild<QDateEdit *>(QStringLiteral("assignmentDateEdit"))->date(),
             QDate::currentDate());
    timeBox->setChecked(true);
    clockBox->setChecked(true);
    dialog.findChild<QDateEdit *>(QStringLiteral("assignmentDateEdit"))->setDate(QDate(2024, 2, 3));
    dialog.findChild<QTimeEdit *>(QStringLiteral("assignmentTimeEdit"))->setTime(QTime(7, 45));
    okButton(&dialog)->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(user->device->assignDate, QDateTime(QDate(2024, 2, 3), QTime(7, 45)));
    QCOMPARE(m_emulator->receivedLetters(), QByteArray("pt"));
    // The clock was set to the PC's date.
    const QByteArray block = m_emulator->parameterBlock();
    QCOMPARE(int(quint8(block.at(3))),
             (QDate::currentDate().day() / 10) * 16 + QDate::currentDate().day() % 10);
}

void DeviceSearchTest::unreadableClockStillAssigns()
{
    startEmulator();
    const SharedUser user = m_db->addUser(QStringLiteral("Сидоров"));
    DeviceConnection connection(m_db->db()->deviceTypes().first());
    QVERIFY(connection.connect());
    Tm4040Faults faults;
    faults.silentCommands = "pt";
    m_emulator->setFaults(faults);

    DeviceAssignmentDialog dialog(&connection, user);
    QCOMPARE(labelText(&dialog, "currentDeviceTimeLabel"), QStringLiteral("ОШИБКА!"));
    dialog.findChild<QGroupBox *>(QStringLiteral("synchronizeTimeGroupBox"))->setChecked(true);
    okButton(&dialog)->click(); // the failed clock write is not reported
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(user->device->serial, int(DeviceSerial));
}

void DeviceSearchTest::refusedAssignmentKeepsTheDialogOpen()
{
    startEmulator();
    const SharedUser user = m_db->addUser(QStringLiteral("Сидоров"));
    DeviceConnection connection(m_db->db()->deviceTypes().first());
    QVERIFY(connection.connect());
    QVERIFY(TestDatabase::exec(QStringLiteral(
        "CREATE TRIGGER refuse BEFORE INSERT ON Events BEGIN SELECT RAISE(ABORT, 'no'); END")));

    DeviceAssignmentDialog dialog(&connection, user);
    dialog.show();
    auto error = TestSupport::answerNextMessageBox(QMessageBox::Ok, ModalWaitMs);
    okButton(&dialog)->click();
    QTRY_VERIFY(error->seen);
    QCOMPARE(error->title, QStringLiteral("Ошибка"));
    QCOMPARE(error->text, QStringLiteral("Не удалось назначить прибор"));
    QVERIFY(dialog.isVisible());
    QVERIFY(!user->device);
}

QTEST_MAIN(DeviceSearchTest)
#include "tst_devicesearch.moc"
