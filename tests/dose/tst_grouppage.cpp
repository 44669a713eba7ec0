// qcustomplot.h uses Qt's foreach in its templates.
#undef QT_NO_FOREACH

#include "common/TestDatabase.h"
#include "db/DoseUnits.h"
#include "dose/ChartWidget.h"
#include "dose/GroupDetailsWidget.h"
#include "dose/ThresholdBar.h"
#include "dose/ThresholdsWidget.h"

#include <QAction>
#include <QCalendarWidget>
#include <QDateEdit>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QtTest>
#include <qcustomplot.h>

using TestSupport::TestDatabase;

// The group page: head, members table with its current-month column,
// threshold bars, the charts of the selected member and the links.
class GroupPageTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void emptyChartsSayWhatToDo();
    void cleanup();

    void headAndMembersTable();
    void namesAreShownAsTyped();
    void menuCarriesTheGroup();
    void currentMonthColumnStartsOnTheFirst();
    void currentMonthColumnFollowsTheUnit();
    void thresholdBarsOfTheGroup();
    void selectionChartsTheFirstSelectedMember();
    void emptyGroupShowsNothing();
    void anotherGroupForgetsTheMember();
    void linkOpensItsOwnRow();

private:
    VDB::Event event(const SharedUser &user, const QDateTime &when, int type, double value) const;
    int points(const char *chart, int graph = 0) const;
    // The dose charted for `day` (a point at its noon), -1 when there is none.
    double doseOn(const char *chart, const QDate &day) const;
    QTableWidget *table() const { return m_page->findChild<QTableWidget *>("usersTableWidget"); }
    ThresholdsWidget *bars() const
    {
        return m_page->findChild<ThresholdsWidget *>("thresholdsListWidget");
    }

    QScopedPointer<TestDatabase> m_db;
    QScopedPointer<GroupDetailsWidget> m_page;
    SharedGroup m_group;
    SharedUser m_anna;
    SharedUser m_boris;
    QDate m_today {2026, 3, 1};
};

void GroupPageTest::init()
{
    m_db.reset(new TestDatabase);
    QVERIFY(m_db->isValid());
    m_db->db()->setToday(m_today);
    m_group = m_db->db()->groups().at(2); // "Пользователи"
    m_anna = m_db->addUser(QStringLiteral("Антонова"), QStringLiteral("Анна"), {m_group});
    m_boris = m_db->addUser(QStringLiteral("Борисов"), QStringLiteral("Борис"), {m_group},
                            User::Operator, QStringLiteral("boris"));
    QVERIFY(m_anna && m_boris);
    m_anna->sex = User::Female;
    m_anna->canUseDevice = false;
    m_boris->canUseDevice = true;
    m_page.reset(new GroupDetailsWidget(nullptr, nullptr, nullptr, nullptr));
}

void GroupPageTest::emptyChartsSayWhatToDo()
{
    m_page->setGroup(m_group);
    auto *chart = m_page->findChild<ChartWidget *>("monthChartWidget");
    auto hint = [chart]() -> QString {
        for (int i = 0; i < chart->plot()->itemCount(); ++i) {
            auto *text = qobject_cast<QCPItemText *>(chart->plot()->item(i));
            if (text && text->visible())
                return text->text();
        }
        return QString();
    };
    QCOMPARE(hint(), QString::fromUtf8("Выберите сотрудника в таблице"));
    table()->selectRow(0);
    QCOMPARE(hint(), QString());
}

void GroupPageTest::cleanup()
{
    m_page.reset();
    m_group.clear();
    m_anna.clear();
    m_boris.clear();
    m_db.reset();
}

VDB::Event GroupPageTest::event(const SharedUser &user, const QDateTime &when, int type,
                                double value) const
{
    VDB::Event e;
    e.user = user;
    e.dateTime = when;
    e.deviceType = m_db->db()->deviceTypes().first();
    e.deviceSerial = user->id;
    e.eventType = type;
    e.value = value;
    e.channel = 2;
    return e;
}

double GroupPageTest::doseOn(const char *chart, const QDate &day) const
{
    auto *widget = m_page->findChild<ChartWidget *>(QLatin1String(chart));
    auto *plot = widget ? widget->findChild<QCustomPlot *>() : nullptr;
    const double key = double(QDateTime(day, QTime(12, 0)).toSecsSinceEpoch());
    for (int i = 0; plot && i < plot->graph(0)->dataCount(); ++i) {
        if (plot->graph(0)->data()->at(i)->key == key)
            return plot->graph(0)->data()->at(i)->value;
    }
    return -1;
}

int GroupPageTest::points(const char *chart, int graph) const
{
    auto *widget = m_page->findChild<ChartWidget *>(QLatin1String(chart));
    auto *plot = widget ? widget->findChild<QCustomPlot *>() : nullptr;
    return plot ? plot->graph(graph)->dataCount() : -1;
}

void GroupPageTest::headAndMembersTable()
{
    QVERIFY(m_db->db()->assignDevice(m_boris, m_db->db()->deviceTypes().first(), 4040,
                                     QDateTime(m_today, QTime(8, 0)), QString()));
    m_boris->comment = QStringLiteral("сменный");
    m_page->setGroup(m_group);

    QCOMPARE(m_page->findChild<QLabel *>("groupNameLabel")->text(),
             QString::fromUtf8("Пользователи"));
    auto *description = m_page->findChild<QLabel *>("groupDescriptionLabel");
    QCOMPARE(description->text(), QString::fromUtf8("Начальная группа пользователей"));
    QVERIFY(!description->isHidden());
    QVERIFY(m_db->db()->updateGroup(m_group, m_group->name, QString(), 0));
    m_page->setGroup(m_group);
    QVERIFY(description->isHidden());
    QCOMPARE(m_page->findChild<QLabel *>("usersCountLabel")->text(), QStringLiteral("2"));
    QVERIFY(!m_page->findChild<QPushButton *>("delUsersButton")->isEnabled());
    QVERIFY(m_page->findChild<QDateEdit *>("startDateEdit")->calendarWidget()->firstDayOfWeek()
            == Qt::Monday);
    for (const char *name : {"monthChartWidget", "yearChartWidget", "rangeChartWidget"})
        QCOMPARE(m_page->findChild<ChartWidget *>(name)->style(), ChartWidget::DoseStatistics);

    QTableWidget *t = table();
    QCOMPARE(t->columnCount(), 6);
    QCOMPARE(t->horizontalHeaderItem(2)->text(), QString::fromUtf8("Доза за месяц, мЗв"));
    QVERIFY(t->columnWidth(4) >= 35);
    QCOMPARE(t->rowCount(), 2);
    // Group order; the member sits in the name column's item.
    QCOMPARE(t->item(0, 0)->data(Qt::UserRole).value<SharedUser>(), m_anna);
    QCOMPARE(t->item(1, 0)->data(Qt::UserRole).value<SharedUser>(), m_boris);
    QVERIFY(t->item(0, 0)->text().isEmpty());
    auto *annaLabel = qobject_cast<QLabel *>(t->cellWidget(0, 0));
    auto *borisLabel = qobject_cast<QLabel *>(t->cellWidget(1, 0));
    QVERIFY(annaLabel && borisLabel);
    QCOMPARE(annaLabel->text(),
             QString::fromUtf8("&nbsp;<s><a href=\"#user\">Антонова Анна</a></s>"));
    QCOMPARE(borisLabel->text(), QString::fromUtf8("&nbsp;<a href=\"#user\">Борисов Борис</a>"));
    QCOMPARE(t->item(0, 1)->text(), QString());
    QCOMPARE(t->item(1, 1)->text(), QString::fromUtf8("КВР-ТМ4040 #4040"));
    QVERIFY(t->item(0, 3)->icon().isNull());
    QVERIFY(!t->item(1, 3)->icon().isNull());
    QCOMPARE(t->item(0, 4)->icon().cacheKey() == t->item(1, 4)->icon().cacheKey(), false);
    QCOMPARE(t->item(1, 5)->text(), QString::fromUtf8("сменный"));
}

void GroupPageTest::namesAreShownAsTyped()
{
    m_anna->surname = QStringLiteral("<b>O'Hara</b>; DELETE FROM Users");
    m_db->db()->updateGroup(m_group, QStringLiteral("<i>\"Группа\"</i>"), QStringLiteral("x"), 0);
    m_page->setGroup(m_group);
    auto *label = qobject_cast<QLabel *>(table()->cellWidget(0, 0));
    QTextDocument document;
    document.setHtml(label->text());
    QCOMPARE(document.toPlainText().trimmed(), m_anna->fullName());
    QCOMPARE(m_page->findChild<QLabel *>("groupNameLabel")->textFormat(), Qt::PlainText);
    QVERIFY(!m_page->findChild<QLabel *>("groupDescriptionLabel")->isHidden());
}

void GroupPageTest::menuCarriesTheGroup()
{
    QAction add(QStringLiteral("add"), nullptr);
    QAction edit(QStringLiteral("edit"), nullptr);
    QAction del(QStringLiteral("del"), nullptr);
    QAction usage(QStringLiteral("usage"), nullptr);
    GroupDetailsWidget page(&add, &edit, &del, &usage);
    page.setGroup(m_group);
    QMenu *menu = page.findChild<QPushButton *>("groupMenuButton")->menu();
    const QList<QAction *> actions = menu->actions();
    QCOMPARE(actions.size(), 5);
    QCOMPARE(actions.at(0), &edit);
    QCOMPARE(actions.at(1), &del);
    QVERIFY(actions.at(2)->isSeparator());
    QCOMPARE(actions.at(3), &add);
    QCOMPARE(actions.at(4), &usage);
    emit menu->aboutToShow();
    for (QAction *action : {&add, &edit, &del, &usage})
        QCOMPARE(action->data().value<SharedGroup>(), m_group);
}

void GroupPageTest::currentMonthColumnStartsOnTheFirst()
{
    // Today is 1 March: only the doses of 1 March count.
    QVERIFY(
        m_db->db()->addEvents({event(m_boris, QDateTime(QDate(2026, 2, 28), QTime(23, 59)), 300, 5),
                               event(m_boris, QDateTime(m_today, QTime(0, 0)), 300, 0.25),
                               event(m_boris, QDateTime(m_today, QTime(23, 0)), 300, 0.5),
                               event(m_boris, QDateTime(m_today, QTime(23, 30)), 200, 9),
                               event(m_anna, QDateTime(m_today, QTime(1, 0)), 300, 1500)}));
    m_page->setGroup(m_group);
    QCOMPARE(table()->item(1, 2)->text(), QString::fromUtf8("0.750"));
    QCOMPARE(table()->item(0, 2)->text(), QString::fromUtf8("1500.000"));

    m_db->db()->setToday(QDate(2026, 3, 31));
    m_page->setGroup(m_group);
    QCOMPARE(table()->item(1, 2)->text(), QString::fromUtf8("0.750"));
    m_db->db()->setToday(QDate(2026, 4, 1));
    m_page->setGroup(m_group);
    QCOMPARE(table()->item(1, 2)->text(), QString::fromUtf8("0.000"));
}

void GroupPageTest::currentMonthColumnFollowsTheUnit()
{
    QVERIFY(m_db->db()->addEvents({event(m_boris, QDateTime(m_today, QTime(9, 0)), 300, 2.5)}));
    m_page->setGroup(m_group);
    QCOMPARE(table()->item(1, 2)->text(), QString::fromUtf8("2.500"));
    Options options = m_db->db()->options();
    options.units = DoseUnits::Roentgen;
    QVERIFY(m_db->db()->updateOptions(options));
    QCOMPARE(table()->item(1, 2)->text(), QString::fromUtf8("250.000"));
    QCOMPARE(table()->horizontalHeaderItem(2)->text(), QString::fromUtf8("Доза за месяц, мР"));
}

void GroupPageTest::thresholdBarsOfTheGroup()
{
    m_page->setGroup(m_group);
    QVERIFY(bars()->isHidden());

    ThresholdChange change;
    change.data.isUser = false;
    change.data.name = QStringLiteral("Групповой");
    change.data.value = 2.0;
    change.data.period = 7;
    change.data.groups = {m_group};
    ThresholdChange other = change;
    other.data.name = QStringLiteral("Чужой");
    other.data.groups = {m_db->db()->groups().at(0)};
    QVERIFY(m_db->db()->saveThresholds({change, other}));
    QVERIFY(!bars()->isHidden());
    QCOMPARE(bars()->barCount(), 1);
    QCOMPARE(bars()->barName(0), QString::fromUtf8("Групповой"));
    QCOMPARE(bars()->bar(0)->percentage(), 0.0);

    // Both members' doses count; the bar is re-evaluated on the signal.
    QVERIFY(m_db->insertEvents(m_anna, {{QDateTime(m_today, QTime(8, 0)), 1.0}}));
    QVERIFY(m_db->insertEvents(m_boris, {{QDateTime(m_today, QTime(8, 0)), 2.0}}));
    emit m_db->db()->thresholdsUpdated();
    QCOMPARE(bars()->barCount(), 1);
    QCOMPARE(bars()->bar(0)->percentage(), 150.0);
}

void GroupPageTest::selectionChartsTheFirstSelectedMember()
{
    QVERIFY(m_db->db()->addEvents({event(m_anna, QDateTime(m_today, QTime(9, 0)), 200, 0.1),
                                   event(m_boris, QDateTime(m_today, QTime(9, 0)), 200, 0.2),
                                   event(m_boris, QDateTime(m_today, QTime(10, 0)), 200, 0.3),
                                   event(m_boris, QDateTime(m_today, QTime(11, 0)), 300, 5)}));
    m_page->setGroup(m_group);
    QCOMPARE(points("monthChartWidget"), 0);

    table()->selectRow(1);
    QCOMPARE(m_page->selectedUser(), m_boris);
    QVERIFY(m_page->findChild<QPushButton *>("delUsersButton")->isEnabled());
    // The day's dose of record: the dose record and the rise of the counter.
    for (const char *chart : {"monthChartWidget", "yearChartWidget", "rangeChartWidget"})
        QCOMPARE(doseOn(chart, m_today), 5.1);

    // Adding the first row to the selection keeps charting the first selected.
    table()->selectionModel()->select(table()->model()->index(0, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(m_page->selectedUser(), m_boris);
    QCOMPARE(doseOn("monthChartWidget", m_today), 5.1);

    table()->clearSelection();
    QVERIFY(!m_page->findChild<QPushButton *>("delUsersButton")->isEnabled());
    QCOMPARE(m_page->selectedUser(), m_boris);

    table()->selectRow(0);
    QCOMPARE(m_page->selectedUser(), m_anna);
    QCOMPARE(doseOn("monthChartWidget", m_today), 0.0); // her first reading starts the count
}

void GroupPageTest::emptyGroupShowsNothing()
{
    SharedGroup empty = m_db->db()->groups().at(1); // "Операторы"
    m_page->setGroup(empty);
    QCOMPARE(m_page->findChild<QLabel *>("usersCountLabel")->text(), QStringLiteral("0"));
    QCOMPARE(table()->rowCount(), 0);
    for (const char *name : {"monthChartWidget", "yearChartWidget", "rangeChartWidget"})
        QCOMPARE(points(name), 0);
}

void GroupPageTest::anotherGroupForgetsTheMember()
{
    QVERIFY(m_db->db()->addEvents({event(m_boris, QDateTime(m_today, QTime(9, 0)), 200, 0.2)}));
    m_page->setGroup(m_group);
    table()->selectRow(1);
    QVERIFY(points("monthChartWidget") > 0);

    // A refill of the same group keeps the member selected and charted.
    m_page->setGroup(m_group);
    QCOMPARE(m_page->selectedUser(), m_boris);
    QCOMPARE(table()->selectedItems().value(0)->row(), 1);
    QVERIFY(points("monthChartWidget") > 0);

    m_page->setGroup(m_db->db()->groups().at(1));
    QVERIFY(!m_page->selectedUser());
    QCOMPARE(points("monthChartWidget"), 0);
}

void GroupPageTest::linkOpensItsOwnRow()
{
    m_page->setGroup(m_group);
    table()->setCurrentCell(0, 2);
    QSignalSpy spy(m_page.data(), &GroupDetailsWidget::userSelected);
    auto *borisLabel = qobject_cast<QLabel *>(table()->cellWidget(1, 0));
    emit borisLabel->linkActivated(QStringLiteral("#user"));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<SharedUser>(), m_boris);
}

QTEST_MAIN(GroupPageTest)
#include "tst_grouppage.moc"
