#include "common/ModalHelper.h"
#include "common/TestDatabase.h"
#include "dose/ExceededThreshouldsDialog.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

class TestExceededDialog : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void formAndEmptyTable();
    void continueButtonByFlag();
    void rowsInScanOrderWithPrefixedDoses();
    void doseColumnsSortByValue();

private:
    void addThreshold(const QString &name, bool isUser, quint16 period, double limit,
                      const QList<SharedGroup> &groups = {});
    static QStringList row(QTableWidget *table, int row);

    QScopedPointer<TestSupport::TestDatabase> m_db;
    const QDate m_today {2024, 3, 1};
};

void TestExceededDialog::init()
{
    m_db.reset(new TestSupport::TestDatabase);
    QVERIFY(m_db->isValid());
    m_db->db()->setToday(m_today);
}

void TestExceededDialog::cleanup()
{
    m_db.reset();
}

void TestExceededDialog::addThreshold(const QString &name, bool isUser, quint16 period,
                                      double limit, const QList<SharedGroup> &groups)
{
    ThresholdChange change;
    change.data.isUser = isUser;
    change.data.name = name;
    change.data.period = period;
    change.data.value = limit;
    change.data.groups = groups;
    QVERIFY(m_db->db()->saveThresholds({change}));
}

QStringList TestExceededDialog::row(QTableWidget *table, int row)
{
    QStringList cells;
    for (int column = 0; column < table->columnCount(); ++column)
        cells.append(table->item(row, column) ? table->item(row, column)->text() : QString());
    return cells;
}

void TestExceededDialog::formAndEmptyTable()
{
    ExceededThreshouldsDialog dialog(false);
    QCOMPARE(dialog.windowTitle(), QString("Превышение порогов"));
    QVERIFY(dialog.isSizeGripEnabled());
    QVERIFY(dialog.isModal());
    auto *table = dialog.findChild<QTableWidget *>("thresholdsTable");
    QCOMPARE(table->rowCount(), 0);
    QStringList headers;
    for (int column = 0; column < table->columnCount(); ++column)
        headers.append(table->horizontalHeaderItem(column)->text());
    QCOMPARE(headers, (QStringList {"Группа / Пользователь", "Название", "Порог", "Значение"}));
    QCOMPARE(table->columnWidth(0), 250);
    QCOMPARE(table->columnWidth(1), 170);
    QVERIFY(table->columnWidth(2) >= 100);
    QVERIFY(table->isSortingEnabled());
    QVERIFY(!table->verticalHeader()->isVisibleTo(&dialog));
    QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
    auto *banner = dialog.findChild<QWidget *>("backgroundWidget");
    QVERIFY(banner->autoFillBackground());
    QCOMPARE(banner->palette().color(QPalette::Window), QColor(255, 0, 0));
    QVERIFY(dialog.findChild<QLabel *>("labelAttention")->text().contains("Внимание!"));
}

void TestExceededDialog::continueButtonByFlag()
{
    {
        ExceededThreshouldsDialog report(false);
        // Asked of the dialog: a widget never shown reads as hidden anyway.
        QVERIFY(!report.findChild<QPushButton *>("continueButton")->isVisibleTo(&report));
        QVERIFY(report.findChild<QPushButton *>("closeButton")->isVisibleTo(&report));
        TestSupport::onNextModal(
            [](QWidget *w) { w->findChild<QPushButton *>("closeButton")->click(); });
        QCOMPARE(report.exec(), int(QDialog::Rejected));
    }
    ExceededThreshouldsDialog gate(true);
    auto *button = gate.findChild<QPushButton *>("continueButton");
    QVERIFY(button->isVisibleTo(&gate));
    QCOMPARE(button->text(), QString("Продолжить в любом случае"));
    QCOMPARE(button->styleSheet(), QString("color: red"));
    TestSupport::onNextModal(
        [](QWidget *w) { w->findChild<QPushButton *>("continueButton")->click(); });
    QCOMPARE(gate.exec(), int(QDialog::Accepted));
    TestSupport::onNextModal([](QWidget *w) { w->close(); });
    QCOMPARE(gate.exec(), int(QDialog::Rejected));
}

void TestExceededDialog::rowsInScanOrderWithPrefixedDoses()
{
    QVERIFY(m_db->db()->addGroup("Смена <Б>", QString(), 0));
    const SharedGroup group = m_db->db()->groups().last();
    const SharedUser zeta = m_db->addUser("Яковлев", "Ян", {group});
    const SharedUser alpha = m_db->addUser("Абрамов", "Антон", {group});
    const QDateTime today(m_today, QTime(10, 0));
    QVERIFY(m_db->insertEvents(zeta, {{today, 1500}}));
    QVERIFY(m_db->insertEvents(alpha, {{today, 0.2}, {today.addDays(-2), 0.3}}));
    addThreshold("Суточный", true, 1, 0.15);
    addThreshold("Двухдневный", true, 2, 0.4);
    addThreshold("Группа", false, 1, 1000, {group});

    ExceededThreshouldsDialog dialog(false);
    auto *table = dialog.findChild<QTableWidget *>("thresholdsTable");
    QCOMPARE(table->rowCount(), 5);
    // Users in store order (not sorted by name), each against every user
    // threshold, then groups.
    QCOMPARE(row(table, 0),
             (QStringList {"Пользователь: Яковлев Ян", "Суточный", "150.0000 мкЗв", "1.5000 Зв"}));
    QCOMPARE(
        row(table, 1),
        (QStringList {"Пользователь: Яковлев Ян", "Двухдневный", "400.0000 мкЗв", "1.5000 Зв"}));
    QCOMPARE(row(table, 2),
             (QStringList {"Пользователь: Абрамов Антон", "Суточный", "150.0000 мкЗв",
                           "200.0000 мкЗв"}));
    QCOMPARE(row(table, 3),
             (QStringList {"Пользователь: Абрамов Антон", "Двухдневный", "400.0000 мкЗв",
                           "500.0000 мкЗв"}));
    QCOMPARE(row(table, 4),
             (QStringList {"Группа: Смена <Б>", "Группа", "1.0000 Зв", "1.5002 Зв"}));
}

void TestExceededDialog::doseColumnsSortByValue()
{
    const SharedUser big = m_db->addUser("Большой");
    const SharedUser small = m_db->addUser("Малый");
    const QDateTime today(m_today, QTime(10, 0));
    QVERIFY(m_db->insertEvents(big, {{today, 1500}}));
    QVERIFY(m_db->insertEvents(small, {{today, 150}}));
    addThreshold("Суточный", true, 1, 0.1);
    ExceededThreshouldsDialog dialog(false);
    auto *table = dialog.findChild<QTableWidget *>("thresholdsTable");
    table->sortByColumn(3, Qt::AscendingOrder);
    // "150.0000 мЗв" before "1.5000 Зв", though not as text.
    QCOMPARE(table->item(0, 3)->text(), QString("150.0000 мЗв"));
    QCOMPARE(table->item(1, 3)->text(), QString("1.5000 Зв"));
    table->sortByColumn(3, Qt::DescendingOrder);
    QCOMPARE(table->item(0, 3)->text(), QString("1.5000 Зв"));
}

QTEST_MAIN(TestExceededDialog)
#include "tst_exceededdialog.moc"
