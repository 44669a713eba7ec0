#include "common/TestDatabase.h"
#include "ui/GroupsAndUsersSummaryWidget.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QtTest>

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

// What one row of the table shows: name, count and which rights are ticked.
struct Row
{
    QString name;
    QString count;
    QString ticks; // "1" or "0" per rights column
};

} // namespace

class SummaryTest : public QObject
{
    Q_OBJECT
private:
    QScopedPointer<TestSupport::TestDatabase> m_db;

    static QTableWidget *table(GroupsAndUsersSummaryWidget &page)
    {
        return page.findChild<QTableWidget *>("summaryTableWidget");
    }

    static QList<Row> rows(GroupsAndUsersSummaryWidget &page)
    {
        QTableWidget *t = table(page);
        QList<Row> result;
        for (int row = 0; row < t->rowCount(); ++row) {
            Row r;
            r.name = t->item(row, 0)->text();
            r.count = t->item(row, 1)->text();
            for (int column = 2; column < 5; ++column) {
                auto *label = qobject_cast<QLabel *>(t->cellWidget(row, column));
                const bool ticked = label && !label->pixmap(Qt::ReturnByValue).isNull();
                r.ticks += ticked ? "1" : "0";
            }
            result.append(r);
        }
        return result;
    }

    static int rowOf(GroupsAndUsersSummaryWidget &page, const QString &name)
    {
        QTableWidget *t = table(page);
        for (int row = 0; row < t->rowCount(); ++row) {
            if (t->item(row, 0)->text() == name)
                return row;
        }
        return -1;
    }

private slots:
    void init()
    {
        m_db.reset(new TestSupport::TestDatabase);
        QVERIFY(m_db->isValid());
    }

    void cleanup() { m_db.reset(); }

    void formAndInitialRows()
    {
        GroupsAndUsersSummaryWidget page;
        QTableWidget *t = table(page);
        QVERIFY(t);
        QCOMPARE(t->columnCount(), 5);
        const QStringList headers = {u("Название"), u("# Пользователей"), u("Назначение приборов"),
                                     u("Настройки приборов"), u("Настройки программы")};
        const int widths[] = {140, 105, 135, 130, 140};
        for (int column = 0; column < 5; ++column) {
            QCOMPARE(t->horizontalHeaderItem(column)->text(), headers.at(column));
            // The given width, widened where the header text would be clipped.
            const int text
                = t->horizontalHeader()->fontMetrics().horizontalAdvance(headers.at(column));
            QVERIFY(t->columnWidth(column) >= widths[column]);
            QVERIFY(t->columnWidth(column) > text);
            QVERIFY(t->columnWidth(column) <= qMax(widths[column], text + 40));
        }
        QVERIFY(t->horizontalHeader()->defaultAlignment() & Qt::AlignLeft);
        QVERIFY(t->isSortingEnabled());
        QVERIFY(!t->verticalHeader()->isVisible());
        QCOMPARE(t->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(t->selectionBehavior(), QAbstractItemView::SelectRows);

        const QList<Row> shown = rows(page);
        QCOMPARE(shown.size(), 3);
        QCOMPARE(shown.at(0).name, u("Администраторы"));
        QCOMPARE(shown.at(0).count, QString("1"));
        QCOMPARE(shown.at(0).ticks, QString("111"));
        QCOMPARE(shown.at(1).name, u("Операторы"));
        QCOMPARE(shown.at(1).count, QString("0"));
        QCOMPARE(shown.at(1).ticks, QString("110"));
        QCOMPARE(shown.at(2).name, u("Пользователи"));
        QCOMPARE(shown.at(2).count, QString("0"));
        QCOMPARE(shown.at(2).ticks, QString("000"));

        // Each row carries its group record.
        const QList<SharedGroup> groups = m_db->db()->groups();
        for (int row = 0; row < 3; ++row)
            QCOMPARE(t->item(row, 0)->data(Qt::UserRole).value<SharedGroup>(), groups.at(row));
    }

    void buttonsAskTheWindow()
    {
        GroupsAndUsersSummaryWidget page;
        auto *add = page.findChild<QPushButton *>("addGroupButton");
        auto *remove = page.findChild<QPushButton *>("removeGroupButton");
        QCOMPARE(add->text(), u("Добавить группу"));
        QCOMPARE(remove->text(), u("Удалить группу"));
        QVERIFY(!add->icon().isNull());
        QVERIFY(!remove->icon().isNull());
        QSignalSpy addSpy(&page, &GroupsAndUsersSummaryWidget::addGroup);
        QSignalSpy delSpy(&page, &GroupsAndUsersSummaryWidget::delGroup);

        // Nothing selected: the delete button stays disabled and does nothing.
        QVERIFY(!remove->isEnabled());
        page.btnDelClicked();
        QCOMPARE(delSpy.count(), 0);

        add->click();
        QCOMPARE(addSpy.count(), 1);

        table(page)->selectRow(rowOf(page, u("Операторы")));
        QVERIFY(remove->isEnabled());
        remove->click();
        QCOMPARE(delSpy.count(), 1);
        QCOMPARE(delSpy.at(0).at(0).value<SharedGroup>(), m_db->db()->groups().at(1));
        // The page itself changes nothing.
        QCOMPARE(m_db->db()->groups().size(), 3);
    }

    void followsTheStore()
    {
        GroupsAndUsersSummaryWidget page;
        VDB::DataBase *db = m_db->db();
        const SharedGroup operators = db->groups().at(1);
        const SharedGroup users = db->groups().at(2);

        const SharedUser one = m_db->addUser(u("Петров"), u("Пётр"), {operators, users});
        QVERIFY(one);
        QCOMPARE(rows(page).at(1).count, QString("1"));
        QCOMPARE(rows(page).at(2).count, QString("1"));

        const QString odd = u("Группа \"X\"; DROP TABLE Groups; --");
        QVERIFY(db->addGroup(odd, QString(), 4));
        QCOMPARE(rows(page).size(), 4);
        QCOMPARE(rows(page).at(3).name, odd);
        QCOMPARE(rows(page).at(3).ticks, QString("001"));

        QVERIFY(db->updateGroup(users, u("Все"), QString(), 3));
        QCOMPARE(rows(page).at(2).name, u("Все"));
        QCOMPARE(rows(page).at(2).ticks, QString("110"));

        QCOMPARE(db->deleteUser(one).code, 0);
        QCOMPARE(rows(page).at(1).count, QString("0"));

        QVERIFY(db->deleteGroup(operators, SharedGroup()));
        QCOMPARE(rows(page).size(), 3);
        QCOMPARE(rowOf(page, u("Операторы")), -1);
        // Old rows leave no ticks behind.
        QCOMPARE(rows(page).at(1).ticks, QString("110"));
        QCOMPARE(rows(page).at(2).ticks, QString("001"));
    }

    void sortingSurvivesRefill()
    {
        GroupsAndUsersSummaryWidget page;
        VDB::DataBase *db = m_db->db();
        const SharedGroup users = db->groups().at(2);
        QTableWidget *t = table(page);
        t->sortByColumn(1, Qt::DescendingOrder);
        QCOMPARE(rows(page).at(0).name, u("Администраторы"));

        for (int i = 0; i < 10; ++i)
            QVERIFY(m_db->addUser(u("Сидоров"), QString::number(i), {users}));
        // Sorted by number, not by text: 10 before 1.
        QList<Row> shown = rows(page);
        QCOMPARE(shown.at(0).name, u("Пользователи"));
        QCOMPARE(shown.at(0).count, QString("10"));
        QCOMPARE(shown.at(1).name, u("Администраторы"));
        QCOMPARE(shown.at(2).name, u("Операторы"));
        // The ticks moved with their rows.
        QCOMPARE(shown.at(0).ticks, QString("000"));
        QCOMPARE(shown.at(1).ticks, QString("111"));
        QCOMPARE(shown.at(2).ticks, QString("110"));
        QCOMPARE(t->horizontalHeader()->sortIndicatorSection(), 1);
        QCOMPARE(t->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    }
};

QTEST_MAIN(SummaryTest)
#include "tst_summary.moc"
