// The main window's layout is kept per workstation, in the machine's
// settings: place and size, the tree column, the panes and table columns.
#include "common/TestDatabase.h"
#include "ui/OrvaneWindow.h"
#include "ui/WorkstationLayout.h"

#include <QHeaderView>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QTableWidget>
#include <QtTest>

class WorkstationLayoutTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void layoutComesBack();
    void firstStartFitsTheScreen();

private:
    QScopedPointer<TestSupport::TestDatabase> m_db;
};

void WorkstationLayoutTest::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("orvane-tests"));
    QCoreApplication::setApplicationName(QStringLiteral("tst_workstationlayout"));
}

void WorkstationLayoutTest::init()
{
    QSettings().clear();
    m_db.reset(new TestSupport::TestDatabase);
    QVERIFY(m_db->isValid());
    m_db->db()->setCurrentUser(m_db->db()->users().first());
}

void WorkstationLayoutTest::cleanup()
{
    m_db.reset();
    QSettings().clear();
}

void WorkstationLayoutTest::layoutComesBack()
{
    QTableWidget *summaryTable = nullptr;
    {
        OrvaneWindow window;
        window.setWindowState(Qt::WindowNoState);
        window.setGeometry(40, 30, 1000, 600);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *splitter = window.findChild<QSplitter *>("mainSplitter");
        QList<int> sizes = splitter->sizes();
        sizes[1] += sizes[0] - 310;
        sizes[0] = 310;
        splitter->setSizes(sizes);
        summaryTable = window.findChild<QTableWidget *>("summaryTableWidget");
        summaryTable->setColumnWidth(0, 222);
    } // closed: kept
    QVERIFY(QSettings().childGroups().contains(QStringLiteral("layout")));

    OrvaneWindow again;
    again.show();
    QVERIFY(QTest::qWaitForWindowExposed(&again));
    QCOMPARE(again.size(), QSize(1000, 600));
    QCOMPARE(again.findChild<QSplitter *>("mainSplitter")->sizes().at(0), 310);
    QCOMPARE(again.findChild<QTableWidget *>("summaryTableWidget")->columnWidth(0), 222);
}

void WorkstationLayoutTest::firstStartFitsTheScreen()
{
    OrvaneWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QRect available = window.screen()->availableGeometry();
    QVERIFY(window.frameGeometry().width() <= available.width());
    QVERIFY(window.frameGeometry().height() <= available.height());
}

QTEST_MAIN(WorkstationLayoutTest)
#include "tst_workstationlayout.moc"
