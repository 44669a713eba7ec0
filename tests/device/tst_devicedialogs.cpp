// The dialogs that work on a found device, against the TM4040 emulator: the
// device settings, the dose read and reset, and the internal history viewer.

#undef QT_NO_FOREACH
#include <qcustomplot.h>

#include "Tm4040Emulator.h"
#include "common/DeviceTestSetup.h"
#include "common/ModalHelper.h"
#include "common/TestDatabase.h"
#include "device/DeviceConnection.h"
#include "device/InternalHistoryDialog.h"
#include "device/ResetDoseDialog.h"
#include "device/Tm4040SettingsDialog.h"
#include "dose/ChartWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimeEdit>
#include <QTimer>
#include <QtTest>

#include <memory>

using TestSupport::TestDatabase;

namespace {

// Generous: a loaded machine may take long to open the next dialog.
const int ModalWaitMs = 60000;

const quint32 DeviceSerial = 40409999;

Tm4040Scenario scenario()
{
    Tm4040Scenario s;
    s.serialNumber = DeviceSerial;
    s.firmwareVersion = 0x2B;
    s.medThresholdRaw = 1234; // 12.34
    s.edThresholdRaw = 20500; // 20.500 mSv
    s.accumulatedDoseRaw = 123456; // 1.23456 mSv
    s.alarmHour = 7;
    s.alarmMinute = 30;
    s.alarmEnabled = false;
    s.historyStepHours = 0;
    s.historyStepMinutes = 5;
    s.historyStepSeconds = 0;
    s.nextRecordMinutes = 4;
    s.nextRecordSeconds = 59;
    s.historyMode = 0x85;
    s.records = Tm4040Scenario::generateRecords(9, QDateTime(QDate(2024, 5, 1), QTime(8, 0)));
    return s;
}

template<class T> T *child(QWidget *parent, const char *name)
{
    T *widget = parent->findChild<T *>(QLatin1String(name));
    if (!widget)
        qWarning("no widget %s", name);
    return widget;
}

QString labelText(QWidget *parent, const char *name)
{
    return child<QLabel>(parent, name)->text();
}

// Answers the next administrator confirmation; the operation it named is
// filled in when it opens.
std::shared_ptr<QString> answerCredentials(const QString &login, const QString &password)
{
    auto operation = std::make_shared<QString>();
    TestSupport::onNextModal(
        [login, password, operation](QWidget *dialog) {
            *operation = labelText(dialog, "operationLabel");
            child<QLineEdit>(dialog, "loginLineEdit")->setText(login);
            child<QLineEdit>(dialog, "passwordLineEdit")->setText(password);
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        },
        ModalWaitMs);
    return operation;
}

QByteArray blockBytes(const Tm4040Emulator &emulator, int from, int count)
{
    return emulator.parameterBlock().mid(from, count);
}

} // namespace

class DeviceDialogsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    // Device settings.
    void settingsShownOnOpening();
    void settingsSpinBoxesStopAtTheDeviceRange();
    void settingsWriteSendsEachGroup();
    void settingsWriteWithOneShotActions();
    void settingsAtTheLargestValues();
    void settingsWriteWithoutAnswer();
    void settingsClockWithoutAnswer();
    void settingsUnreadable();

    // Dose.
    void doseReadWhenShown();
    void doseInTheDisplayUnit();
    void doseResetBehindAdministrator();
    void doseResetRefusedForOthers();
    void doseReadFailureHidesReset();
    void doseResetFailureKeepsTheDose();
    void doseDialogWaitsForItsWorker();

    // Internal history.
    void internalHistoryTableAndPeriod();
    void internalHistoryStateTexts();
    void internalHistoryChartUnits();
    void internalHistoryCloseWhileReading();
    void internalHistoryWithoutRecords_data();
    void internalHistoryWithoutRecords();

private:
    void startEmulator(const Tm4040Scenario &s = scenario());
    // Connects the returned connection to the emulator and forgets the
    // frames of the connect.
    std::unique_ptr<DeviceConnection> connectDevice();

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<Tm4040Emulator> m_emulator;
};

void DeviceDialogsTest::initTestCase()
{
    DeviceTestSetup::prepare();
}

void DeviceDialogsTest::init()
{
    m_db.reset(new TestDatabase);
    QVERIFY(m_db->isValid());
}

void DeviceDialogsTest::cleanup()
{
    m_emulator.reset();
    m_db.reset();
    qunsetenv("TM4040_LINK");
}

void DeviceDialogsTest::startEmulator(const Tm4040Scenario &s)
{
    m_emulator.reset(new Tm4040Emulator(s));
    QVERIFY(m_emulator->startTcp());
    m_emulator->exportLink();
}

std::unique_ptr<DeviceConnection> DeviceDialogsTest::connectDevice()
{
    std::unique_ptr<DeviceConnection> connection(
        new DeviceConnection(m_db->db()->deviceTypes().first()));
    if (!connection->connect())
        qWarning("device not connected");
    m_emulator->clearReceivedFrames();
    return connection;
}

void DeviceDialogsTest::settingsShownOnOpening()
{
    startEmulator();
    auto connection = connectDevice();
    Tm4040SettingsDialog dialog(connection.get());
    QCOMPARE(m_emulator->receivedLetters(), QByteArray("p"));
    QCOMPARE(dialog.objectName(), QStringLiteral("Tm4040SettingsDialog"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Настройки прибора"));
    QCOMPARE(dialog.size(), QSize(701, 590));
    QCOMPARE(labelText(&dialog, "serialNumberLabel"), QString::number(DeviceSerial));
    QCOMPARE(labelText(&dialog, "firmwareVersionLabel"), QStringLiteral("2B"));
    QCOMPARE(child<QDoubleSpinBox>(&dialog, "medThresholdDoubleSpinBox")->value(), 12.34);
    QCOMPARE(child<QDoubleSpinBox>(&dialog, "edThresholdDoubleSpinBox")->value(), 20.5);
    QCOMPARE(labelText(&dialog, "accumulatedDoseLabel"), QStringLiteral("1.235 мЗв"));
    QCOMPARE(child<QSpinBox>(&dialog, "historyStepHoursSpinBox")->value(), 0);
    QCOMPARE(child<QSpinBox>(&dialog, "historyStepMinutesSpinBox")->value(), 5);
    QCOMPARE(child<QSpinBox>(&dialog, "historyStepSecondsSpinBox")->value(), 0);
    QCOMPARE(child<QTimeEdit>(&dialog, "nextHistoryRecordTimeEdit")->time(), QTime(0, 4, 59));
    QVERIFY(child<QTimeEdit>(&dialog, "nextHistoryRecordTimeEdit")->isReadOnly());
    QVERIFY(child<QRadioButton>(&dialog, "cyclicHistoryRadioButton")->isChecked());
    QVERIFY(!child<QRadioButton>(&dialog, "linearHistoryRadioButton")->isChecked());
    QCOMPARE(labelText(&dialog, "historyEventsCountLabel"), QStringLiteral("9"));
    QVERIFY(!child<QCheckBox>(&dialog, "alarmEnabledCheckBox")->isChecked());
    QCOMPARE(child<QTimeEdit>(&dialog, "alarmTimeEdit")->time(), QTime(7, 30));
    for (const char *name :
         {"resetAccumulatedDoseRadioButton", "clearHistoryRadioButton", "syncTimeRadioButton"})
        QVERIFY(!child<QRadioButton>(&dialog, name)->isChecked());
}

void DeviceDialogsTest::settingsSpinBoxesStopAtTheDeviceRange()
{
    startEmulator();
    auto connection = connectDevice();
    Tm4040SettingsDialog dialog(connection.get());
    auto *rate = child<QDoubleSpinBox>(&dialog, "medThresholdDoubleSpinBox");
    auto *dose = child<QDoubleSpinBox>(&dialog, "edThresholdDoubleSpinBox");
    QCOMPARE(rate->maximum(), 9999.99);
    QCOMPARE(dose->maximum(), 99999.999);
    rate->setValue(123456.0);
    dose->setValue(123456.0);
    QCOMPARE(rate->value(), 9999.99);
    QCOMPARE(dose->value(), 99999.999);
    // The one-shot actions are independent of the history mode.
    child<QRadioButton>(&dialog, "clearHistoryRadioButton")->setChecked(true);
    child<QRadioButton>(&dialog, "syncTimeRadioButton")->setChecked(true);
    QVERIFY(child<QRadioButton>(&dialog, "cyclicHistoryRadioButton")->isChecked());
    QVERIFY(child<QRadioButton>(&dialog, "clearHistoryRadioButton")->isChecked());
}

void DeviceDialogsTest::settingsWriteSendsEachGroup()
{
    startEmulator();
    auto connection = connectDevice();
    Tm4040SettingsDialog dialog(connection.get());
    child<QDoubleSpinBox>(&dialog, "medThresholdDoubleSpinBox")->setValue(0.35);
    child<QDoubleSpinBox>(&dialog, "edThresholdDoubleSpinBox")->setValue(1.5);
    child<QCheckBox>(&dialog, "alarmEnabledCheckBox")->setChecked(true);
    child<QTimeEdit>(&dialog, "alarmTimeEdit")->setTime(QTime(6, 45));
    child<QSpinBox>(&dialog, "historyStepMinutesSpinBox")->setValue(10);
    child<QSpinBox>(&dialog, "historyStepSecondsSpinBox")->setValue(30);
    child<QRadioButton>(&dialog, "linearHistoryRadioButton")->setChecked(true);
    m_emulator->clearReceivedFrames();

    auto done = TestSupport::answerNextMessageBox(QMessageBox::Ok, ModalWaitMs);
    child<QPushButton>(&dialog, "writeSettingsPushButton")->click();
    QVERIFY(done->seen);
    QCOMPARE(done->title, QStringLiteral("Готово"));
    QCOMPARE(done->text, QStringLiteral("Настройки записаны"));
    // Thresholds, alarm, history (after a fresh read), then two reads back.
    QCOMPARE(m_emulator->receivedLetters(), QByteArray("rbphpp"));
    QCOMPARE(blockBytes(*m_emulator, 40, 7), QByteArray::fromHex("00003500001500"));
    QCOMPARE(blockBytes(*m_emulator, 6, 3), QByteArray::fromHex("450601"));
    QCOMPARE(blockBytes(*m_emulator, 23, 3), QByteArray::fromHex("001030"));
    QCOMPARE(quint8(blockBytes(*m_emulator, 26, 1).at(0)), quint8(0x05));
    QCOMPARE(m_emulator->records().size(), 9);
    // The form shows what the device holds now.
    QVERIFY(child<QRadioButton>(&dialog, "linearHistoryRadioButton")->isChecked());
    QCOMPARE(child<QDoubleSpinBox>(&dialog, "medThresholdDoubleSpinBox")->value(), 0.35);
}

void DeviceDialogsTest::settingsWriteWithOneShotActions()
{
    startEmulator();
    auto connection = connectDevice();
    Tm4040SettingsDialog dialog(connection.get());
    child<QRadioButton>(&dialog, "resetAccumulatedDoseRadioButton")->setChecked(true);
    child<QRadioButton>(&dialog, "clearHistoryRadioButton")->setChecked(true);
    child<QRadioButton>(&dialog, "syncTimeRadioButton")->setChecked(true);
    m_emulator->clearReceivedFrames();

    auto done = TestSupport::answerNextMessageBox(QMessageBox::Ok, ModalWaitMs);
    child<QPushButton>(&dialog, "writeSettingsPushButton")->click();
    QVERIFY(done->seen);
    QCOMPARE(m_emulator->receivedLetters(), QByteArray("rbphdtpp"));
    QVERIFY(m_emulator->records().isEmpty());
    QCOMPARE(blockBytes(*m_emulator, 12, 8), QByteArray::fromHex("000100C0000100C0"));
    QCOMPARE(blockBytes(*m_emulator, 48, 4), QByteArray(4, '\0'));
    QCOMPARE(labelText(&dialog, "accumulatedDoseLabel"), QStringLiteral("0.000 мЗв"));
    const VDB::AuditEntry written = m_db->db()->auditEntries(VDB::AuditFilter(), 1).value(0);
    QCOMPARE(written.operation, QStringLiteral("device_settings"));
    QVERIFY2(written.details.contains("сброс накопленной дозы")
                 && written.details.contains("синхронизация времени: да"),
             qPrintable(written.details));
    for (const char *name :
         {"resetAccumulatedDoseRadioButton", "clearHistoryRadioButton", "syncTimeRadioButton"})
        QVERIFY(!child<QRadioButton>(&dialog, name)->isChecked());
    // The device clock is the PC's now.
    const QByteArray year = blockBytes(*m_emulator, 5, 1);
    QCOMPARE(int(quint8(year.at(0))),
             ((QDate::currentDate().year() - 2000) / 10) * 16
                 + (QDate::currentDate().year() - 2000) % 10);
}

void DeviceDialogsTest::settingsAtTheLargestValues()
{
    startEmulator();
    auto connection = connectDevice();
    Tm4040SettingsDialog dialog(connection.get());
    child<QDoubleSpinBox>(&dialog, "medThresholdDoubleSpinBox")->setValue(1e9);
    child<QDoubleSpinBox>(&dialog, "edThresholdDoubleSpinBox")->setValue(1e9);
    auto done = TestSupport::answerNextMessageBox(QMessageBox::Ok, ModalWaitMs);
    child<QPushButton>(&dialog, "writeSettingsPushButton")->click();
    QVERIFY(done->seen);
    // Every digit the device has, none lost to an overflow.
    QCOMPARE(blockBytes(*m_emulator, 40, 7), QByteArray::fromHex("99999999999999"));
    QCOMPARE(child<QDoubleSpinBox>(&dialog, "edThresholdDoubleSpinBox")->value(), 99999.999);
}

void DeviceDialogsTest::settingsWriteWithoutAnswer()
{
    startEmulator();
    auto connection = connectDevice();
    Tm4040SettingsDialog dialog(connection.get());
    child<QRadioButton>(&dialog, "clearHistoryRadioButton")->setChecked(true);
    Tm4040Faults faults;
    faults.silentCommands = "r";
    m_emulator->setFaults(faults);
    auto error = TestSupport::answerNextMessageBox(QMessageBox::Ok, ModalWaitMs);
    child<QPushButton>(&dialog, "writeSettingsPushButton")->click();
    QVERIFY(error->seen);
    QCOMPARE(error->title, QStringLiteral("Ошибка"));
    QCOMPARE(error->text, QStringLiteral("Не удалось записать настройки"));
    QCOMPARE(error->icon, QMessageBox::Critical);
    QVERIFY(child<QRadioButton>(&dialog, "clearHistoryRadioButton")->isChecked());
    QCOMPARE(m_emulator->records().size(), 9);
}

void DeviceDialogsTest::settingsClockWithoutAnswer()
{
    startEmulator();
    auto connection = connectDevice();
    Tm4040SettingsDialog dialog(connection.get());
    child<QRadioButton>(&dialog, "syncTimeRadioButton")->setChecked(true);
    child<QRadioButton>(&dialog, "resetAccumulatedDoseRadioButton")->setChecked(true);
    Tm4040Faults faults;
    faults.silentCommands = "t";
    m_emulator->setFaults(faults);
    auto error = TestSupport::answerNextMessageBox(QMessageBox::Ok, ModalWaitMs);
    child<QPushButton>(&dialog, "writeSettingsPushButton")->click();
    QVERIFY(error->seen);
    QCOMPARE(error->text, QStringLiteral("Не удалось синхронизировать время."));
    // The form keeps the one-shot choices.
    QVERIFY(child<QRadioButton>(&dialog, "syncTimeRadioButton")->isChecked());
    QVERIFY(child<QRadioButton>(&dialog, "resetAccumulatedDoseRadioButton")->isChecked());
}

void DeviceDialogsTest::settingsUnreadable()
{
    startEmulator();
    auto connection = connectDevice();
    Tm4040Faults faults;
    faults.silentCommands = "p";
    m_emulator->setFaults(faults);
    auto error = TestSupport::answerNextMessageBox(QMessageBox::Ok, ModalWaitMs);
    Tm4040SettingsDialog dialog(connection.get());
    QVERIFY(error->seen);
    QCOMPARE(error->title, QStringLiteral("Ошибка"));
    QCOMPARE(error->text, QStringLiteral("Операция завершилась с ошибкой"));
    // The form keeps its initial values.
    QCOMPARE(child<QDoubleSpinBox>(&dialog, "medThresholdDoubleSpinBox")->value(), 5000.0);
    QCOMPARE(labelText(&dialog, "serialNumberLabel"), QString());
}

void DeviceDialogsTest::doseReadWhenShown()
{
    startEmulator();
    auto connection = connectDevice();
    ResetDoseDialog dialog(connection.get());
    QCOMPARE(dialog.objectName(), QStringLiteral("ResetDoseDialog"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Доза прибора: КВР-ТМ4040#%1").arg(DeviceSerial));
    QCOMPARE(labelText(&dialog, "deviceLabel"),
             QStringLiteral("Накопленная доза прибора КВР-ТМ4040 №\u00a0%1").arg(DeviceSerial));
    QCOMPARE(labelText(&dialog, "doseLabel"), QStringLiteral("0.0000 мЗв"));
    auto *reset = child<QPushButton>(&dialog, "resetPushButton");
    QCOMPARE(reset->text(), QStringLiteral("  Сброс дозы  "));
    QVERIFY(reset->isHidden());
    QVERIFY(child<QComboBox>(&dialog, "channelComboBox")->isHidden());
    QVERIFY(child<QLabel>(&dialog, "channelLabel")->isHidden());
    QCOMPARE(child<QComboBox>(&dialog, "channelComboBox")->currentIndex(), 2);
    QVERIFY(m_emulator->receivedLetters().isEmpty());

    dialog.show();
    QTRY_VERIFY(dialog.isBusy());
    QVERIFY(!child<QPushButton>(&dialog, "closePushButton")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isBusy(), 30000);
    QCOMPARE(labelText(&dialog, "doseLabel"), QStringLiteral("1.2346 мЗв"));
    QVERIFY(!reset->isHidden());
    QVERIFY(child<QPushButton>(&dialog, "closePushButton")->isEnabled());
    QCOMPARE(child<QProgressBar>(&dialog, "progressBar")->value(), 100);
    QCOMPARE(m_emulator->receivedLetters(), QByteArray("p"));
}

void DeviceDialogsTest::doseInTheDisplayUnit()
{
    Options options = m_db->db()->options();
    options.units = 0; // roentgen: 1 mSv is 100 mR
    QVERIFY(m_db->db()->updateOptions(options));
    startEmulator();
    auto connection = connectDevice();
    ResetDoseDialog dialog(connection.get());
    QCOMPARE(labelText(&dialog, "doseLabel"), QStringLiteral("0.0000 мР"));
    dialog.show();
    QTRY_VERIFY(dialog.isBusy());
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isBusy(), 30000);
    QCOMPARE(labelText(&dialog, "doseLabel"), QStringLiteral("123.4560 мР"));
}

void DeviceDialogsTest::doseResetBehindAdministrator()
{
    startEmulator();
    auto connection = connectDevice();
    ResetDoseDialog dialog(connection.get());
    dialog.show();
    QTRY_VERIFY(dialog.isBusy());
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isBusy(), 30000);
    const auto operation = answerCredentials(QStringLiteral("admin"), QStringLiteral("tavro"));
    child<QPushButton>(&dialog, "resetPushButton")->click();
    QTRY_VERIFY(dialog.isBusy());
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isBusy(), 30000);
    QCOMPARE(
        *operation,
        QStringLiteral("Сброс накопленной дозы прибора КВР-ТМ4040 №\u00a0%1").arg(DeviceSerial));
    QCOMPARE(m_emulator->receivedLetters(), QByteArray("pd"));
    QCOMPARE(blockBytes(*m_emulator, 48, 4), QByteArray(4, '\0'));
    QCOMPARE(child<QComboBox>(&dialog, "channelComboBox")->itemData(2).toDouble(), 0.0);
    QCOMPARE(labelText(&dialog, "doseLabel"), QStringLiteral("0.0000 мкЗв"));
    // The dose the device held before, once the device has said yes.
    const VDB::AuditEntry reset = m_db->db()->auditEntries(VDB::AuditFilter(), 1).value(0);
    QCOMPARE(reset.operation, QStringLiteral("dose_reset"));
    QCOMPARE(reset.object, QStringLiteral("КВР-ТМ4040 №\u00a0%1").arg(DeviceSerial));
    QCOMPARE(reset.details, QStringLiteral("доза до сброса: 1.2346 мЗв"));
}

void DeviceDialogsTest::doseResetRefusedForOthers()
{
    startEmulator();
    m_db->addUser(QStringLiteral("Оператор"), QStringLiteral("Олег"), {}, User::Operator,
                  QStringLiteral("oper"));
    auto connection = connectDevice();
    ResetDoseDialog dialog(connection.get());
    dialog.show();
    QTRY_VERIFY(dialog.isBusy());
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isBusy(), 30000);
    // One poller answers both modals in turn: the credentials, then the refusal.
    QString errorText;
    QTimer poller;
    poller.setInterval(5);
    connect(&poller, &QTimer::timeout, this, [&]() {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            errorText = box->text();
            poller.stop();
            box->button(QMessageBox::Ok)->click();
        } else if (auto *login = modal->findChild<QLineEdit *>("loginLineEdit")) {
            if (login->text().isEmpty()) {
                login->setText(QStringLiteral("oper"));
                child<QLineEdit>(modal, "passwordLineEdit")->setText(QStringLiteral("secret"));
                QMetaObject::invokeMethod(modal, "accept", Qt::QueuedConnection);
            }
        }
    });
    poller.start();
    child<QPushButton>(&dialog, "resetPushButton")->click();
    poller.stop();
    QCOMPARE(errorText, QStringLiteral("Логин и пароль не соответствуют администратору программы"));
    QVERIFY(!dialog.isBusy());
    QCOMPARE(m_emulator->receivedLetters(), QByteArray("p"));
    QCOMPARE(labelText(&dialog, "doseLabel"), QStringLiteral("1.2346 мЗв"));

    // A cancelled confirmation does nothing either.
    TestSupport::onNextModal([](QWidget *confirm) { static_cast<QDialog *>(confirm)->reject(); },
                             ModalWaitMs);
    child<QPushButton>(&dialog, "resetPushButton")->click();
    QCOMPARE(m_emulator->receivedLetters(), QByteArray("p"));
}

void DeviceDialogsTest::doseReadFailureHidesReset()
{
    startEmulator();
    auto connection = connectDevice();
    Tm4040Faults faults;
    faults.silentCommands = "p";
    m_emulator->setFaults(faults);
    ResetDoseDialog dialog(connection.get());
    dialog.show();
    QTRY_VERIFY(dialog.isBusy());
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isBusy(), 30000);
    QVERIFY(child<QPushButton>(&dialog, "resetPushButton")->isHidden());
    QCOMPARE(labelText(&dialog, "doseLabel"), QStringLiteral("0.0000 мкЗв"));
}

void DeviceDialogsTest::doseResetFailureKeepsTheDose()
{
    startEmulator();
    auto connection = connectDevice();
    ResetDoseDialog dialog(connection.get());
    dialog.show();
    QTRY_VERIFY(dialog.isBusy());
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isBusy(), 30000);
    Tm4040Faults faults;
    faults.silentCommands = "d";
    m_emulator->setFaults(faults);
    answerCredentials(QStringLiteral("admin"), QStringLiteral("tavro"));
    child<QPushButton>(&dialog, "resetPushButton")->click();
    QTRY_VERIFY(dialog.isBusy());
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isBusy(), 30000);
    // Without the device's answer the reset is not shown as done.
    QCOMPARE(labelText(&dialog, "doseLabel"), QStringLiteral("1.2346 мЗв"));
    QVERIFY(child<QPushButton>(&dialog, "resetPushButton")->isHidden());
    VDB::AuditFilter resets;
    resets.operation = QStringLiteral("dose_reset");
    QCOMPARE(m_db->db()->auditCount(resets), 0);
}

void DeviceDialogsTest::doseDialogWaitsForItsWorker()
{
    Tm4040Scenario s = scenario();
    s.faults.answerDelayMs = 300;
    startEmulator(s);
    auto connection = connectDevice();
    {
        ResetDoseDialog dialog(connection.get());
        dialog.show();
        QTRY_VERIFY(dialog.isBusy());
        QTest::keyClick(&dialog, Qt::Key_Escape);
        dialog.close();
        QVERIFY(dialog.isVisible());
    } // destroyed while its worker waits for the device
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_emulator->setFaults(Tm4040Faults());
    double dose = 0;
    QVERIFY(connection->plugin()->readAccumulatedED(&dose));
    QCOMPARE(dose, 1.23456);
}

void DeviceDialogsTest::internalHistoryTableAndPeriod()
{
    Tm4040Scenario s = scenario();
    auto at = [](int day, int h, int m, int sec) {
        return QDateTime(QDate(2024, 5, day), QTime(h, m, sec));
    };
    s.records = {
        Tm4040Scenario::makeRecord(1, 0x00, 1000, 100, at(2, 23, 59, 59)),
        Tm4040Scenario::makeRecord(2, 0x30, 1500, 250, at(3, 0, 0, 0)),
        Tm4040Scenario::makeRecord(3, 0xC0, 2000, 300, at(5, 12, 0, 0)),
        Tm4040Scenario::makeRecord(4, 0x0F, 2500, 12345, at(8, 8, 0, 0)),
        Tm4040Scenario::makeRecord(5, 0x00, 3000, 400, at(11, 0, 0, 0)),
        Tm4040Scenario::makeRecord(6, 0x00, 3500, 500, at(11, 0, 0, 1)),
    };
    startEmulator(s);
    m_db->db()->setToday(QDate(2024, 5, 10));
    auto connection = connectDevice();

    InternalHistoryDialog dialog(connection.get());
    QCOMPARE(dialog.objectName(), QStringLiteral("InternalHistoryDialog"));
    QCOMPARE(dialog.windowTitle(),
             QStringLiteral("Просмотр внутренней истории: КВР-ТМ4040#%1").arg(DeviceSerial));
    QVERIFY(
        labelText(&dialog, "deviceLabel")
            .startsWith(QStringLiteral("Внутренняя история прибора КВР-ТМ4040 №\u00a0%1: только "
                                       "просмотр")
                            .arg(DeviceSerial)));
    QVERIFY(dialog.windowFlags() & Qt::WindowMaximizeButtonHint);
    auto *start = child<QDateEdit>(&dialog, "startDateEdit");
    auto *end = child<QDateEdit>(&dialog, "endDateEdit");
    QCOMPARE(end->date(), QDate(2024, 5, 10));
    QCOMPARE(start->date(), QDate(2024, 5, 3));
    QCOMPARE(child<ChartWidget>(&dialog, "chartWidget")->style(), ChartWidget::DoseAndRate);
    auto *table = child<QTableWidget>(&dialog, "historyTableWidget");
    QStringList headers;
    for (int c = 0; c < table->columnCount(); ++c)
        headers << table->horizontalHeaderItem(c)->text();
    QCOMPARE(headers, (QStringList {"Дата, время", "ЭД, мЗв", "МЭД, мкЗв/ч", "№", "Состояние"}));

    dialog.show();
    auto info = TestSupport::answerNextMessageBox(QMessageBox::Ok, ModalWaitMs);
    QTRY_VERIFY(dialog.isReading());
    QVERIFY(!start->isEnabled() && !end->isEnabled());
    QVERIFY(!child<QPushButton>(&dialog, "printPushButton")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(info->seen, 30000);
    QCOMPARE(info->title, QStringLiteral("Информация"));
    QCOMPARE(info->text, QStringLiteral("Чтение истории завершено"));
    QVERIFY(start->isEnabled() && end->isEnabled());
    QCOMPARE(child<QProgressBar>(&dialog, "progressBar")->value(), 100);
    QCOMPARE(dialog.events().size(), 6);

    // From 3 May 00:00 to 11 May 00:00 inclusive, newest first.
    QCOMPARE(table->rowCount(), 4);
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("11 мая 2024 00:00:00"));
    QCOMPARE(table->item(3, 0)->text(), QStringLiteral("3 мая 2024 00:00:00"));
    QCOMPARE(table->item(1, 1)->text(), QStringLiteral("2.500"));
    QCOMPARE(table->item(1, 2)->text(), QStringLiteral("123.45"));
    QCOMPARE(table->item(1, 3)->text(), QStringLiteral("4"));
    QCOMPARE(table->item(1, 4)->text(), QStringLiteral("Батарея Память Датчик ВВ "));

    // A new period is cut from the list already read.
    const QByteArray letters = m_emulator->receivedLetters();
    start->setDate(QDate(2024, 5, 1));
    QCOMPARE(table->rowCount(), 5);
    QCOMPARE(table->item(4, 0)->text(), QStringLiteral("2 мая 2024 23:59:59"));
    end->setDate(QDate(2024, 5, 4));
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(m_emulator->receivedLetters(), letters);

    // Sorting by a column compares values, not texts.
    end->setDate(QDate(2024, 5, 12));
    table->sortByColumn(2, Qt::AscendingOrder);
    QCOMPARE(table->item(0, 2)->text(), QStringLiteral("1.00"));
    QCOMPARE(table->item(5, 2)->text(), QStringLiteral("123.45"));
}

void DeviceDialogsTest::internalHistoryStateTexts()
{
    VDB::Event e;
    QCOMPARE(InternalHistoryDialog::stateText(e), QStringLiteral("Норма"));
    e.cyclicHistory = true; // 0xC0: the two flags that are not shown
    e.timezoneChanged = true;
    QCOMPARE(InternalHistoryDialog::stateText(e), QStringLiteral("Норма"));
    e.edThreshold = true; // with 0x30
    e.medThreshold = true;
    QCOMPARE(InternalHistoryDialog::stateText(e), QStringLiteral("ЭД↑ МЭД↑ "));
    VDB::Event f;
    f.batteryLow = true;
    f.detectorFault = true;
    QCOMPARE(InternalHistoryDialog::stateText(f), QStringLiteral("Батарея Датчик "));
}

void DeviceDialogsTest::internalHistoryChartUnits()
{
    Options options = m_db->db()->options();
    options.units = 2; // rem: 1 mSv is 100 mrem
    QVERIFY(m_db->db()->updateOptions(options));
    Tm4040Scenario s = scenario();
    s.records = {
        Tm4040Scenario::makeRecord(1, 0, 1500, 250, QDateTime(QDate(2024, 5, 9), QTime(10, 0))),
        Tm4040Scenario::makeRecord(2, 0, 1600, 12000, QDateTime(QDate(2024, 5, 9), QTime(11, 0))),
    };
    startEmulator(s);
    m_db->db()->setToday(QDate(2024, 5, 10));
    auto connection = connectDevice();
    InternalHistoryDialog dialog(connection.get());
    dialog.show();
    auto info = TestSupport::answerNextMessageBox(QMessageBox::Ok, ModalWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(info->seen, 30000);

    QCustomPlot *plot = child<ChartWidget>(&dialog, "chartWidget")->plot();
    QCOMPARE(plot->graph(0)->data()->size(), 2);
    QCOMPARE(plot->graph(0)->data()->at(0)->value, 150.0); // 1.5 mSv
    // 2.50 µSv/h = 0.0025 mSv/h = 0.25 mrem/h; 120 µSv/h = 12 mrem/h.
    QCOMPARE(plot->graph(1)->data()->size(), 2);
    QCOMPARE(plot->graph(1)->data()->at(0)->value, 0.25);
    QCOMPARE(plot->graph(1)->data()->at(1)->value, 12.0);
    QCOMPARE(plot->graph(1)->valueAxis(), plot->yAxis2);

    // A dose record adds its dose to the rate point of the same moment.
    VDB::Event measurement;
    measurement.eventType = 200;
    measurement.dateTime = QDateTime(QDate(2024, 5, 9), QTime(12, 0));
    measurement.value = 2.0;
    measurement.medValue = 300;
    VDB::Event dose = measurement;
    dose.eventType = 300;
    dose.value = 0.5;
    const auto data = InternalHistoryDialog::chartData({measurement, dose},
                                                       QDateTime(QDate(2024, 5, 9), QTime(0, 0)),
                                                       QDateTime(QDate(2024, 5, 10), QTime(0, 0)));
    QCOMPARE(data.doses.size(), 1);
    QCOMPARE(data.doses.first().value, 200.0);
    QCOMPARE(data.rates.size(), 1);
    QCOMPARE(data.rates.first().value, 800.0); // µSv/h: 300 + 0.5 mSv
}

void DeviceDialogsTest::internalHistoryCloseWhileReading()
{
    Tm4040Scenario s = scenario();
    s.records = Tm4040Scenario::generateRecords(30, QDateTime(QDate(2024, 5, 1), QTime(8, 0)));
    s.faults.baudRate = 4800;
    startEmulator(s);
    auto connection = connectDevice();
    InternalHistoryDialog dialog(connection.get());
    dialog.show();
    QTRY_VERIFY(dialog.isReading());
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(dialog.isVisible());
    // It closes by itself when the download has ended, without the message.
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isVisible(), 30000);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(!dialog.isReading());
}

void DeviceDialogsTest::internalHistoryWithoutRecords_data()
{
    QTest::addColumn<bool>("cleared");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::newRow("failed download") << false << "Предупреждение"
                                     << "Не удалось прочитать историю прибора.";
    // A cleared TM4040 reports one record and holds none: no failure.
    QTest::newRow("cleared device") << true << "Информация"
                                    << "Чтение истории завершено: память прибора пуста";
}

void DeviceDialogsTest::internalHistoryWithoutRecords()
{
    QFETCH(bool, cleared);
    QFETCH(QString, title);
    QFETCH(QString, text);
    Tm4040Scenario s = scenario();
    if (cleared) {
        s.records.clear();
        s.reportedCount = 1;
    } else {
        s.faults.dropLinkAfterPacket = 1;
    }
    startEmulator(s);
    auto connection = connectDevice();
    InternalHistoryDialog dialog(connection.get());
    dialog.show();
    auto message = TestSupport::answerNextMessageBox(QMessageBox::Ok, ModalWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(message->seen, 30000);
    QCOMPARE(message->title, title);
    QCOMPARE(message->text, text);
    QCOMPARE(child<QTableWidget>(&dialog, "historyTableWidget")->rowCount(), 0);
}

QTEST_MAIN(DeviceDialogsTest)
#include "tst_devicedialogs.moc"
