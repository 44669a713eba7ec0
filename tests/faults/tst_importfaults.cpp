// Faults during a history import, through the import dialog against the
// TM4040 emulator: the data store refuses the batch (the file is full, the
// connection is read-only, another instance holds the file), or the link
// dies in the middle of the history, or a packet never completes. Nothing
// partial is stored, the dosimeter keeps its history although "Удалить
// историю" is checked, the operator is told, and the next try goes through.

#include "Tm4040Emulator.h"
#include "common/DeviceTestSetup.h"
#include "common/ModalHelper.h"
#include "common/TestDatabase.h"
#include "device/ReadHistoryDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <memory>

using TestSupport::TestDatabase;

Q_DECLARE_METATYPE(Tm4040Faults)

namespace {

const quint32 DeviceSerial = 40401234;
const char HolderConnection[] = "import-faults-holder";

const char *const refusedText
    = "Не удалось записать историю в базу данных.\n\nИстория в приборе не удалена.";
const char *const unreadText
    = "Не удалось прочитать историю прибора.\n\nИстория в приборе не удалена.";

QString utf8(const char *text)
{
    return QString::fromUtf8(text);
}

int storedRecords()
{
    return TestDatabase::scalar(QStringLiteral("SELECT COUNT(*) FROM Events WHERE eventType = 200"))
        .toInt();
}

void choose(QWidget *dialog, bool clear, bool unlink)
{
    dialog->findChild<QCheckBox *>(QStringLiteral("delHistoryCheckBox"))->setChecked(clear);
    dialog->findChild<QCheckBox *>(QStringLiteral("unlinkDeviceCheckBox"))->setChecked(unlink);
    dialog->findChild<QCheckBox *>(QStringLiteral("synchTimeCheckBox"))->setChecked(false);
}

void pressOkAndWait(ReadHistoryDialog &dialog)
{
    dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))
        ->button(QDialogButtonBox::Ok)
        ->click();
    QTRY_VERIFY_WITH_TIMEOUT(dialog.state() == ReadHistoryDialog::Idle, 30000);
}

} // namespace

class ImportFaultsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void refusedBatchKeepsEverything_data();
    void refusedBatchKeepsEverything();
    void brokenTransferKeepsEverything_data();
    void brokenTransferKeepsEverything();

private:
    SharedUser startDevice(int records, const Tm4040Faults &faults = Tm4040Faults());
    void importAgainInFull(const SharedUser &user, int records);

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<Tm4040Emulator> m_emulator;
};

void ImportFaultsTest::initTestCase()
{
    DeviceTestSetup::prepare(400);
}

void ImportFaultsTest::init()
{
    m_db.reset(new TestDatabase);
    QVERIFY(m_db->isValid());
}

void ImportFaultsTest::cleanup()
{
    m_emulator.reset();
    m_db.reset();
    if (QSqlDatabase::contains(QLatin1String(HolderConnection)))
        QSqlDatabase::removeDatabase(QLatin1String(HolderConnection));
    qunsetenv("TM4040_LINK");
}

// An emulated dosimeter with `records` records, assigned to a new user.
SharedUser ImportFaultsTest::startDevice(int records, const Tm4040Faults &faults)
{
    Tm4040Scenario scenario;
    scenario.serialNumber = DeviceSerial;
    scenario.records
        = Tm4040Scenario::generateRecords(records, QDateTime(QDate(2024, 5, 1), QTime(8, 0)));
    scenario.faults = faults;
    m_emulator.reset(new Tm4040Emulator(scenario));
    if (!m_emulator->startTcp())
        return SharedUser();
    m_emulator->exportLink();
    SharedUser user = m_db->addUser(QStringLiteral("Петров"));
    if (user) {
        m_db->db()->assignDevice(user, m_db->db()->deviceTypes().first(), int(DeviceSerial),
                                 QDateTime(QDate(2024, 4, 1), QTime(9, 30)), QString());
    }
    return user;
}

// Once the fault is gone the same dialog stores the whole history, clears
// the device and releases it.
void ImportFaultsTest::importAgainInFull(const SharedUser &user, int records)
{
    m_emulator->setFaults(Tm4040Faults());
    ReadHistoryDialog dialog(user);
    dialog.show();
    choose(&dialog, true, true);
    pressOkAndWait(dialog);
    QCOMPARE(storedRecords(), records);
    QVERIFY(m_emulator->receivedLetters().contains('h'));
    QVERIFY(m_emulator->records().isEmpty());
    QVERIFY(!user->device);
}

void ImportFaultsTest::refusedBatchKeepsEverything_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("file full") << "full";
    QTest::newRow("read-only connection") << "readonly";
    QTest::newRow("another instance holds the file") << "locked";
}

void ImportFaultsTest::refusedBatchKeepsEverything()
{
    QFETCH(QString, fault);
    const int records = 300;
    const SharedUser user = startDevice(records);
    QVERIFY(user);
    const int before = TestDatabase::scalar(QStringLiteral("SELECT COUNT(*) FROM Events")).toInt();

    if (fault == QLatin1String("full")) {
        const int pages = TestDatabase::scalar(QStringLiteral("PRAGMA page_count")).toInt();
        QVERIFY(TestDatabase::exec(QStringLiteral("PRAGMA max_page_count = %1").arg(pages + 2)));
    } else if (fault == QLatin1String("readonly")) {
        QVERIFY(TestDatabase::exec(QStringLiteral("PRAGMA query_only = ON")));
    } else {
        QSqlDatabase holder
            = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QLatin1String(HolderConnection));
        holder.setDatabaseName(m_db->fileName());
        QVERIFY(holder.open());
        QVERIFY(QSqlQuery(holder).exec(QStringLiteral("BEGIN EXCLUSIVE")));
    }

    QSignalSpy added(m_db->db(), &VDB::DataBase::historyAdded);
    {
        ReadHistoryDialog dialog(user);
        dialog.show();
        choose(&dialog, true, true);
        auto error = TestSupport::answerNextMessageBox(QMessageBox::Ok, 30000);
        pressOkAndWait(dialog);
        QTRY_VERIFY(error->seen);
        QCOMPARE(error->title, utf8("Ошибка"));
        QCOMPARE(error->text, utf8(refusedText));
        QCOMPARE(added.count(), 0);
        QVERIFY(dialog.isVisible());
    }

    if (fault == QLatin1String("locked")) {
        QSqlDatabase holder = QSqlDatabase::database(QLatin1String(HolderConnection));
        QVERIFY(QSqlQuery(holder).exec(QStringLiteral("ROLLBACK")));
        holder.close();
    }
    QVERIFY(TestDatabase::exec(QStringLiteral("PRAGMA query_only = OFF")));
    QVERIFY(TestDatabase::exec(QStringLiteral("PRAGMA max_page_count = 1073741823")));
    QCOMPARE(TestDatabase::scalar(QStringLiteral("SELECT COUNT(*) FROM Events")).toInt(), before);
    QCOMPARE(m_emulator->records().size(), records);
    QVERIFY(!m_emulator->receivedLetters().contains('h'));
    QVERIFY(user->device);

    importAgainInFull(user, records);
}

void ImportFaultsTest::brokenTransferKeepsEverything_data()
{
    QTest::addColumn<Tm4040Faults>("faults");
    Tm4040Faults drop;
    drop.dropLinkAfterPacket = 3;
    QTest::newRow("link dies after 3 of 10 packets") << drop;
    Tm4040Faults shortPacket;
    shortPacket.shortCommands = "H";
    QTest::newRow("a packet never completes") << shortPacket;
}

void ImportFaultsTest::brokenTransferKeepsEverything()
{
    QFETCH(Tm4040Faults, faults);
    const int records = 30;
    const SharedUser user = startDevice(records, faults);
    QVERIFY(user);

    QSignalSpy added(m_db->db(), &VDB::DataBase::historyAdded);
    {
        ReadHistoryDialog dialog(user);
        dialog.show();
        choose(&dialog, true, false);
        auto warning = TestSupport::answerNextMessageBox(QMessageBox::Ok);
        pressOkAndWait(dialog);
        QTRY_VERIFY(warning->seen);
        QCOMPARE(warning->title, utf8("Предупреждение"));
        QCOMPARE(warning->text, utf8(unreadText));
    }
    QCOMPARE(storedRecords(), 0);
    QCOMPARE(added.count(), 0);
    QCOMPARE(m_emulator->records().size(), records);
    QVERIFY(!m_emulator->receivedLetters().contains('h'));
    QVERIFY(user->device);

    importAgainInFull(user, records);
}

QTEST_MAIN(ImportFaultsTest)
#include "tst_importfaults.moc"
