// A TM4040 wearer's dosimeter, reset once and then handed to another wearer
// without clearing its memory: the increments of its counter are the dose of
// record on the user page, in the thresholds and in the command-line export.

#include "app/Startup.h"
#include "common/TestDatabase.h"
#include "dose/ThresholdEvaluator.h"
#include "dose/UserDetailsWidget.h"

#include <QDateEdit>
#include <QLabel>
#include <QProcess>
#include <QTabWidget>
#include <QtTest>

namespace {

const int Serial = 4040;

QDateTime at(int month, int day, int hour)
{
    return QDateTime(QDate(2024, month, day), QTime(hour, 0));
}

VDB::Event reading(const SharedUser &user, const QDateTime &when, double value)
{
    return TestSupport::TestDatabase::reading(user, when, value, Serial, 0.12);
}

} // namespace

class Tm4040WearerTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void userPage();
    void thresholds();
    void exportAnnual();
    void exportExitCodes_data();
    void exportExitCodes();

private:
    int runExport(const QStringList &arguments, const QByteArray &password = "tavro");

    QTemporaryDir m_home;
    SharedUser m_ivanov;
    SharedUser m_petrov;
};

void Tm4040WearerTest::initTestCase()
{
    // The program's own data folder, under a home of this test.
    qputenv("XDG_DATA_HOME", m_home.path().toLocal8Bit());
    Startup::setApplicationIdentity();
    VDB::DataBase::setFileName(VDB::DataBase::defaultFileName());
    QCOMPARE(VDB::DataBase::openOrCreate(false).code, 0);
    VDB::DataBase *db = VDB::DataBase::instance();
    db->setToday(QDate(2024, 4, 30));
    TestSupport::TestDatabase::relaxDurability();

    const SharedGroup users = db->groups().at(2);
    User data(0, User::PlainUser, User::Male, QDate(1980, 1, 1));
    data.firstname = QStringLiteral("Иван");
    data.surname = QStringLiteral("Иванов");
    data.groups = {users};
    QCOMPARE(db->addUser(data).code, 0);
    m_ivanov = db->users().last();
    data.surname = QStringLiteral("Петров");
    QCOMPARE(db->addUser(data).code, 0);
    m_petrov = db->users().last();
    DeviceType *type = db->deviceTypes().first();

    QVERIFY(db->assignDevice(m_ivanov, type, Serial, at(3, 1, 8), QString()));
    const QList<VDB::Event> march
        = {reading(m_ivanov, at(3, 1, 9), 1.0), reading(m_ivanov, at(3, 1, 17), 1.3),
           reading(m_ivanov, at(3, 4, 9), 0.05), reading(m_ivanov, at(3, 5, 9), 0.25)};
    QVERIFY(db->addEvents(march));
    // Handed on without clearing: the next import brings March again.
    QVERIFY(db->assignDevice(m_petrov, type, Serial, at(4, 1, 8), QString()));
    QList<VDB::Event> april;
    for (const VDB::Event &e : march)
        april << reading(m_petrov, e.dateTime, e.value);
    april << reading(m_petrov, at(4, 2, 9), 0.40) << reading(m_petrov, at(4, 3, 9), 0.70);
    EventBatchReport report;
    QVERIFY(db->addEvents(april, &report));
    QCOMPARE(report.outsideAssignment, march.size());
}

void Tm4040WearerTest::cleanupTestCase()
{
    m_ivanov.clear();
    m_petrov.clear();
    VDB::DataBase::destroyInstance();
    VDB::DataBase::setFileName(QString());
}

void Tm4040WearerTest::userPage()
{
    UserDetailsWidget page(nullptr, nullptr);
    page.resize(1000, 700);
    page.setUser(m_ivanov);
    page.findChild<QDateEdit *>("monthDateEdit")->setDate(QDate(2024, 3, 15));
    page.findChild<QDateEdit *>("yearDateEdit")->setDate(QDate(2024, 1, 1));
    QCOMPARE(page.findChild<QLabel *>("monthTotalLabel")->text(),
             QStringLiteral("Итого: 0,550 мЗв"));
    QCOMPARE(page.findChild<QLabel *>("yearTotalLabel")->text(),
             QStringLiteral("Итого: 0,550 мЗв"));
    const QVector<DayDose> days
        = VDB::DataBase::instance()->userDailyDoses(m_ivanov, QDate(2024, 3, 1), QDate(2024, 3, 5));
    QCOMPARE(days.at(0).dose, 0.3);
    QCOMPARE(days.at(3).dose, 0.05);
    QCOMPARE(days.at(4).dose + 1, 1.2);
    QCOMPARE(days.at(0).maxRate, 0.12);

    page.setUser(m_petrov);
    page.findChild<QDateEdit *>("monthDateEdit")->setDate(QDate(2024, 4, 15));
    QCOMPARE(page.findChild<QLabel *>("monthTotalLabel")->text(),
             QStringLiteral("Итого: 0,450 мЗв"));
}

void Tm4040WearerTest::thresholds()
{
    ThresholdData limit;
    limit.name = QStringLiteral("Год");
    limit.period = 365;
    limit.value = 0.5;
    ThresholdChange change;
    change.data = limit;
    QVERIFY(VDB::DataBase::instance()->saveThresholds({change}));
    const QList<ThresholdEvaluator::Exceedance> rows = ThresholdEvaluator::scan();
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().user, m_ivanov);
    QCOMPARE(rows.first().sum, 0.55);
    QVERIFY(!ThresholdEvaluator::userExceedsAny(m_petrov));
}

int Tm4040WearerTest::runExport(const QStringList &arguments, const QByteArray &password)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("ORVANE_LOGIN", "admin");
    environment.insert("ORVANE_PASSWORD", QString::fromLatin1(password));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QCoreApplication::applicationDirPath() + "/../orvane",
                  QStringList {"--export"} + arguments);
    if (!process.waitForFinished(60000))
        return -100;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -200;
}

void Tm4040WearerTest::exportAnnual()
{
    const QString out = m_home.filePath("annual.csv");
    QCOMPARE(runExport({"annual", "--year", "2024", "--out", out}), 0);
    QFile file(out);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll().mid(3)).split("\r\n");
    const auto fields = [&lines](const SharedUser &user) {
        for (const QString &line : lines) {
            if (line.startsWith(QStringLiteral("%1;").arg(user->id)))
                return line.split(';');
        }
        return QStringList();
    };
    // Code, name, groups, January ... December, year, five years, all.
    QCOMPARE(fields(m_ivanov).mid(5, 2), QStringList({"0,55", "0"}));
    QCOMPARE(fields(m_ivanov).value(15), QStringLiteral("0,55"));
    QCOMPARE(fields(m_petrov).mid(5, 2), QStringList({"0", "0,45"}));
    QCOMPARE(fields(m_petrov).value(17), QStringLiteral("0,45"));

    const QString pdf = m_home.filePath("card.pdf");
    QCOMPARE(runExport({"card", "--user", QString::number(m_ivanov->id), "--out", pdf}), 0);
    QFile card(pdf);
    QVERIFY(card.open(QIODevice::ReadOnly));
    QVERIFY(card.read(5) == "%PDF-");
}

void Tm4040WearerTest::exportExitCodes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<int>("code");
    const QString out = m_home.filePath("x.csv");
    QTest::newRow("no year") << QStringList {"bands", "--out", out} << QByteArray("tavro") << 1;
    QTest::newRow("other file kind")
        << QStringList {"bands", "--year", "2024", "--out", "x.txt"} << QByteArray("tavro") << 1;
    QTest::newRow("wrong password")
        << QStringList {"bands", "--year", "2024", "--out", out} << QByteArray("nope") << 2;
    QTest::newRow("no such user") << QStringList {"card", "--user", "999", "--out", out}
                                  << QByteArray("tavro") << 4;
    QTest::newRow("folder missing")
        << QStringList {"bands", "--year", "2024", "--out", m_home.filePath("no/x.csv")}
        << QByteArray("tavro") << 5;
    QTest::newRow("bands") << QStringList {"bands", "--year", "2024", "--out", out}
                           << QByteArray("tavro") << 0;
}

void Tm4040WearerTest::exportExitCodes()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, password);
    QFETCH(int, code);
    QCOMPARE(runExport(arguments, password), code);
}

QTEST_MAIN(Tm4040WearerTest)
#include "tst_tm4040wearer.moc"
