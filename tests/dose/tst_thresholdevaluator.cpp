#include "common/TestDatabase.h"
#include "dose/ThresholdEvaluator.h"

#include <QtTest>

using namespace ThresholdEvaluator;

class TestThresholdEvaluator : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void windowBoundsCountWholeDays();
    void equalToLimitIsNotExceeded();
    void onlyDoseRecordsAreSummed();
    void singleUserCheckIgnoresGroupThresholds();
    void nothingWithoutThresholds();
    void groupsWithoutMembersAreNeverListed();
    void scanOrder();
    void unitChangeKeepsTheExceededSet();
    void fillPercentage_data();
    void fillPercentage();

private:
    SharedThreshold addThreshold(const QString &name, bool isUser, quint16 period, double limit,
                                 const QList<SharedGroup> &groups = {});
    SharedGroup addGroup(const QString &name);
    bool dose(const SharedUser &user, const QDateTime &at, double value, int type = VDB::EventDose);

    QScopedPointer<TestSupport::TestDatabase> m_db;
    const QDate m_today {2024, 6, 15};
};

void TestThresholdEvaluator::init()
{
    m_db.reset(new TestSupport::TestDatabase);
    QVERIFY(m_db->isValid());
    m_db->db()->setToday(m_today);
}

void TestThresholdEvaluator::cleanup()
{
    m_db.reset();
}

SharedThreshold TestThresholdEvaluator::addThreshold(const QString &name, bool isUser,
                                                     quint16 period, double limit,
                                                     const QList<SharedGroup> &groups)
{
    ThresholdChange change;
    change.action = ThresholdChange::Add;
    change.data.isUser = isUser;
    change.data.name = name;
    change.data.period = period;
    change.data.value = limit;
    change.data.groups = groups;
    if (!m_db->db()->saveThresholds({change}))
        return {};
    return m_db->db()->thresholds().last();
}

SharedGroup TestThresholdEvaluator::addGroup(const QString &name)
{
    if (!m_db->db()->addGroup(name, QString(), 0))
        return {};
    return m_db->db()->groups().last();
}

bool TestThresholdEvaluator::dose(const SharedUser &user, const QDateTime &at, double value,
                                  int type)
{
    return m_db->insertEvents(user, {{at, value}}, type);
}

void TestThresholdEvaluator::windowBoundsCountWholeDays()
{
    const SharedUser user = m_db->addUser("Петров");
    const SharedThreshold week = addThreshold("Неделя", true, 7, 1000);
    QVERIFY(user && week);
    const QDate first = m_today.addDays(-7);
    // Day D - P counts from its first to its last millisecond.
    QVERIFY(dose(user, QDateTime(first, QTime(0, 0)), 1));
    QVERIFY(dose(user, QDateTime(first, QTime(23, 59, 59, 999)), 2));
    // Today counts to its end.
    QVERIFY(dose(user, QDateTime(m_today, QTime(23, 59, 59, 999)), 4));
    // Day D - P - 1 and tomorrow do not.
    QVERIFY(dose(user, QDateTime(first.addDays(-1), QTime(23, 59, 59, 999)), 100));
    QVERIFY(dose(user, QDateTime(m_today.addDays(1), QTime(0, 0)), 200));
    QCOMPARE(userSum(*week, user), 7.0);
}

void TestThresholdEvaluator::equalToLimitIsNotExceeded()
{
    const SharedUser user = m_db->addUser("Сидоров");
    const SharedThreshold limit = addThreshold("Сутки", true, 1, 1.0);
    QVERIFY(dose(user, QDateTime(m_today, QTime(8, 0)), 0.5));
    QVERIFY(dose(user, QDateTime(m_today, QTime(9, 0)), 0.5));
    QCOMPARE(userSum(*limit, user), 1.0);
    QVERIFY(!isExceeded(1.0, 1.0));
    QVERIFY(!userExceedsAny(user));
    QVERIFY(scan().isEmpty());

    QVERIFY(dose(user, QDateTime(m_today, QTime(10, 0)), 0.25));
    QVERIFY(userExceedsAny(user));
    const QList<Exceedance> rows = scan();
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().user, user);
    QCOMPARE(rows.first().threshold, limit);
    QCOMPARE(rows.first().sum, 1.25);
}

void TestThresholdEvaluator::onlyDoseRecordsAreSummed()
{
    const SharedUser user = m_db->addUser("Иванов");
    const SharedThreshold limit = addThreshold("Сутки", true, 1, 0.001);
    const int types[]
        = {0, VDB::EventDeviceAssigned, VDB::EventDeviceReleased, VDB::EventMeasurement, 350, 400};
    int minute = 0;
    for (int type : types)
        QVERIFY(dose(user, QDateTime(m_today, QTime(1, minute++)), 1e6, type));
    QCOMPARE(userSum(*limit, user), 0.0);
    QVERIFY(!userExceedsAny(user));
    QVERIFY(scan().isEmpty());
}

void TestThresholdEvaluator::singleUserCheckIgnoresGroupThresholds()
{
    const SharedGroup group = addGroup("Смена");
    const SharedUser user = m_db->addUser("Кузнецов", "Пётр", {group});
    QVERIFY(dose(user, QDateTime(m_today, QTime(12, 0)), 5));
    addThreshold("Группа", false, 1, 1, {group});
    QVERIFY(!userExceedsAny(user));
    QCOMPARE(scan().size(), 1); // the group row only
    addThreshold("Высокий", true, 1, 10);
    QVERIFY(!userExceedsAny(user));
    addThreshold("Низкий", true, 1, 4.999);
    QVERIFY(userExceedsAny(user));
    QVERIFY(!userExceedsAny(m_db->addUser("Новиков")));
}

void TestThresholdEvaluator::nothingWithoutThresholds()
{
    const SharedUser user = m_db->addUser("Смирнов");
    QVERIFY(dose(user, QDateTime(m_today, QTime(12, 0)), 5));
    QVERIFY(scan().isEmpty());
    QVERIFY(!userExceedsAny(user));
}

void TestThresholdEvaluator::groupsWithoutMembersAreNeverListed()
{
    const SharedGroup empty = addGroup("Пустая");
    const SharedUser user = m_db->addUser("Волков");
    QVERIFY(dose(user, QDateTime(m_today, QTime(12, 0)), 5));
    // Even a limit no dose can stay under.
    const SharedThreshold limit = addThreshold("Любая доза", false, 30, 0.0001, {empty});
    addThreshold("Без групп", false, 30, 0.0001);
    QVERIFY(empty->users.isEmpty());
    QCOMPARE(groupSum(*limit, empty), 0.0);
    QVERIFY(scan().isEmpty());
}

void TestThresholdEvaluator::scanOrder()
{
    const SharedGroup a = addGroup("А");
    const SharedGroup b = addGroup("Б");
    const SharedUser first = m_db->addUser("Первый", "Иван", {a});
    const SharedUser second = m_db->addUser("Второй", "Иван", {b});
    const SharedUser quiet = m_db->addUser("Третий", "Иван", {a});
    QVERIFY(dose(first, QDateTime(m_today, QTime(1, 0)), 3));
    QVERIFY(dose(second, QDateTime(m_today, QTime(1, 0)), 2));
    QVERIFY(dose(quiet, QDateTime(m_today, QTime(1, 0)), 0.1));
    // Group thresholds between user thresholds in the store's list.
    const SharedThreshold u1 = addThreshold("u1", true, 1, 1);
    const SharedThreshold g1 = addThreshold("g1", false, 1, 1, {b, a});
    const SharedThreshold u2 = addThreshold("u2", true, 1, 1.5);
    const SharedThreshold g2 = addThreshold("g2", false, 1, 3, {a});

    const QList<Exceedance> rows = scan();
    QStringList order;
    for (const Exceedance &row : rows) {
        order.append(QStringLiteral("%1/%2=%3")
                         .arg(row.user ? row.user->surname : row.group->name, row.threshold->name)
                         .arg(row.sum));
    }
    QCOMPARE(order,
             (QStringList {"Первый/u1=3", "Первый/u2=3", "Второй/u1=2", "Второй/u2=2", "Б/g1=2",
                           "А/g1=3.1", "А/g2=3.1"}));
    Q_UNUSED(u1)
    Q_UNUSED(g1)
    Q_UNUSED(u2)
    Q_UNUSED(g2)
}

void TestThresholdEvaluator::unitChangeKeepsTheExceededSet()
{
    const SharedGroup group = addGroup("Смена");
    const SharedUser high = m_db->addUser("Высокий", "Иван", {group});
    const SharedUser low = m_db->addUser("Низкий", "Иван", {group});
    QVERIFY(dose(high, QDateTime(m_today, QTime(1, 0)), 0.3));
    QVERIFY(dose(low, QDateTime(m_today, QTime(1, 0)), 0.1));
    addThreshold("Личный", true, 1, 0.2);
    addThreshold("Групповой", false, 1, 0.35, {group});

    const auto describe = [](const QList<Exceedance> &rows) {
        QStringList list;
        for (const Exceedance &row : rows)
            list.append((row.user ? row.user->surname : row.group->name) + "/"
                        + row.threshold->name);
        return list;
    };
    const QList<Exceedance> before = scan();
    QCOMPARE(describe(before), (QStringList {"Высокий/Личный", "Смена/Групповой"}));

    Options options = m_db->db()->options();
    options.units = 2; // rem
    QVERIFY(m_db->db()->updateOptions(options));
    const QList<Exceedance> after = scan();
    QCOMPARE(describe(after), describe(before));
    for (int i = 0; i < after.size(); ++i)
        QVERIFY(qAbs(after.at(i).sum - before.at(i).sum * 100) < 1e-9);
    QVERIFY(qAbs(m_db->db()->thresholds().first()->value - 20) < 1e-9);
}

void TestThresholdEvaluator::fillPercentage_data()
{
    QTest::addColumn<double>("sum");
    QTest::addColumn<double>("limit");
    QTest::addColumn<double>("percentage");
    QTest::newRow("half") << 0.5 << 1.0 << 50.0;
    QTest::newRow("one and a half") << 1.5 << 1.0 << 150.0;
    QTest::newRow("twice") << 0.2 << 0.1 << 200.0;
    QTest::newRow("nothing") << 0.0 << 1.0 << 0.0;
    QTest::newRow("zero limit, nothing") << 0.0 << 0.0 << 0.0;
    QTest::newRow("zero limit, some") << 0.1 << 0.0 << qInf();
    QTest::newRow("negative limit") << 0.0 << -1.0 << qInf();
}

void TestThresholdEvaluator::fillPercentage()
{
    QFETCH(double, sum);
    QFETCH(double, limit);
    QFETCH(double, percentage);
    const double result = ThresholdEvaluator::fillPercentage(sum, limit);
    QVERIFY(!qIsNaN(result));
    if (qIsInf(percentage))
        QVERIFY(qIsInf(result) && result > 0);
    else
        QVERIFY(qAbs(result - percentage) < 1e-9);
}

QTEST_MAIN(TestThresholdEvaluator)
#include "tst_thresholdevaluator.moc"
