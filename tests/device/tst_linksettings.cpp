// The workstation's link choice: what it stores, the TM4040_LINK it hands
// to the plug-in (the user's own variable wins), and its page in the
// program settings.

#include "common/TestDatabase.h"

#include "device/LinkSettings.h"
#include "device/LinkSettingsWidget.h"
#include "ui/ProgrammSettingsDialog.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>

class LinkSettingsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void linkTexts_data();
    void linkTexts();
    void storedChoiceReachesTheEnvironment();
    void pageInTheProgramSettings();
};

void LinkSettingsTest::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("orvane-tests"));
    QCoreApplication::setApplicationName(QStringLiteral("tst_linksettings"));
    qunsetenv("TM4040_LINK");
    QVERIFY(LinkSettings::userLink().isEmpty()); // the program's first look
}

void LinkSettingsTest::init()
{
    QSettings().clear();
    qunsetenv("TM4040_LINK");
}

void LinkSettingsTest::linkTexts_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("where");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("text");
    QTest::newRow("automatic") << int(LinkSettings::Automatic) << "" << 0 << "";
    QTest::newRow("irda") << int(LinkSettings::IrDA) << "/dev/ttyUSB0" << 0 << "irda:/dev/ttyUSB0";
    QTest::newRow("irda capped") << int(LinkSettings::IrDA) << "/dev/ttyS1" << 9600
                                 << "irda:/dev/ttyS1:9600";
    QTest::newRow("serial") << int(LinkSettings::Serial) << "/dev/ttyS0" << 115200
                            << "serial:/dev/ttyS0:115200";
    QTest::newRow("tcp") << int(LinkSettings::Tcp) << "gate.local" << 23 << "tcp:gate.local:23";
    QTest::newRow("tcp ipv6") << int(LinkSettings::Tcp) << "::1" << 4040 << "tcp:[::1]:4040";
    QTest::newRow("irda without port") << int(LinkSettings::IrDA) << "" << 0 << "";
}

void LinkSettingsTest::linkTexts()
{
    QFETCH(int, kind);
    QFETCH(QString, where);
    QFETCH(int, number);
    QFETCH(QString, text);
    LinkSettings link;
    link.kind = LinkSettings::Kind(kind);
    if (link.kind == LinkSettings::Tcp) {
        link.host = where;
        link.tcpPort = number;
    } else {
        link.port = where;
        link.baud = number;
    }
    link.save();
    // What comes back from the settings is what goes to the plug-in; a
    // choice that cannot work is the search.
    QCOMPARE(LinkSettings::load().linkText(), text);
}

void LinkSettingsTest::storedChoiceReachesTheEnvironment()
{
    LinkSettings link;
    link.kind = LinkSettings::IrDA;
    link.port = QStringLiteral("/dev/ttyUSB3");
    link.save();
    LinkSettings::applyToEnvironment();
    QCOMPARE(qgetenv("TM4040_LINK"), QByteArray("irda:/dev/ttyUSB3"));
    link.kind = LinkSettings::Automatic;
    link.save();
    LinkSettings::applyToEnvironment();
    QVERIFY(!qEnvironmentVariableIsSet("TM4040_LINK"));
}

void LinkSettingsTest::pageInTheProgramSettings()
{
    TestSupport::TestDatabase db;
    QVERIFY(db.isValid());
    ProgrammSettingsDialog dialog;
    auto *tabs = dialog.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    QVERIFY(tabs);
    QCOMPARE(tabs->tabText(tabs->count() - 1), QStringLiteral("Связь"));
    auto *page = dialog.findChild<LinkSettingsWidget *>();
    QVERIFY(page);
    auto *kind = page->findChild<QComboBox *>(QStringLiteral("linkKindComboBox"));
    auto *port = page->findChild<QComboBox *>(QStringLiteral("linkPortComboBox"));
    auto *host = page->findChild<QLineEdit *>(QStringLiteral("linkHostLineEdit"));
    auto *tcpPort = page->findChild<QSpinBox *>(QStringLiteral("linkTcpPortSpinBox"));
    QVERIFY(kind && port && host && tcpPort);
    QCOMPARE(kind->currentIndex(), int(LinkSettings::Automatic));
    QVERIFY(!port->isEnabled() && !host->isEnabled());
    kind->setCurrentIndex(LinkSettings::Tcp);
    QVERIFY(!port->isEnabled() && host->isEnabled() && tcpPort->isEnabled());
    host->setText(QStringLiteral("127.0.0.1"));
    tcpPort->setValue(5050);
    // Only "Закрыть" stores, as for the other settings.
    dialog.findChild<QPushButton *>(QStringLiteral("closeButton"))->click();
    QCOMPARE(LinkSettings::load().linkText(), QStringLiteral("tcp:127.0.0.1:5050"));
    QCOMPARE(qgetenv("TM4040_LINK"), QByteArray("tcp:127.0.0.1:5050"));
}

QTEST_MAIN(LinkSettingsTest)
#include "tst_linksettings.moc"
