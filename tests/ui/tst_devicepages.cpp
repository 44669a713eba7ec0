#include "common/ModalHelper.h"
#include "common/TestDatabase.h"
#include "report/RussianFormat.h"

#include "report/QtRPT.h"

#include "ui/DeviceDetailsWidget.h"
#include "ui/DevicesSummaryWidget.h"

#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QPrintPreviewDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextDocument>
#include <QtTest>

using TestSupport::TestDatabase;

namespace {

template<typename T> T *child(QWidget *parent, const char *name)
{
    T *widget = parent->findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("no child %s", name);
    return widget;
}

QString text(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text() : QStringLiteral("<none>");
}

SharedUser userAt(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->data(Qt::UserRole).value<SharedUser>() : SharedUser();
}

QLabel *linkAt(const QTableWidget *table, int row, int column)
{
    return qobject_cast<QLabel *>(table->cellWidget(row, column));
}

QStringList columnTexts(const QTableWidget *table, int column)
{
    QStringList texts;
    for (int row = 0; row < table->rowCount(); ++row)
        texts << text(table, row, column);
    return texts;
}

} // namespace

class DevicePagesTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void summaryOfTheInitialDatabase();
    void assignmentAndReleaseFillBothPages();
    void hiddenDetailsPageWaitsForSetDevice();
    void linksSelectTheirOwnUser();
    void datesRefillAndSortingStaysChronological();
    void namesAreShownAsTyped();
    void longNamesWidenTheirColumn();
    void historyIsPrinted();

private:
    SharedUser addUser(const QString &surname);
    DeviceType *m_type = nullptr;
    QScopedPointer<TestDatabase> m_db;
};

void DevicePagesTest::init()
{
    m_db.reset(new TestDatabase);
    QVERIFY(m_db->isValid());
    QCOMPARE(m_db->db()->deviceTypes().size(), 1);
    m_type = m_db->db()->deviceTypes().first();
}

void DevicePagesTest::cleanup()
{
    m_type = nullptr;
    m_db.reset();
}

SharedUser DevicePagesTest::addUser(const QString &surname)
{
    return m_db->addUser(surname, QStringLiteral("Иван"), {m_db->db()->groups().at(2)});
}

void DevicePagesTest::summaryOfTheInitialDatabase()
{
    m_db->db()->setToday(QDate(2024, 3, 15));
    DevicesSummaryWidget summary;
    QCOMPARE(child<QDateEdit>(&summary, "startDateEdit")->date(), QDate(2024, 3, 8));
    QCOMPARE(child<QDateEdit>(&summary, "endDateEdit")->date(), QDate(2024, 3, 15));
    QCOMPARE(child<QTabWidget>(&summary, "tabWidget")->currentIndex(), 0);

    auto *state = child<QTableWidget>(&summary, "currentStateTableWidget");
    QCOMPARE(state->rowCount(), 1);
    QCOMPARE(text(state, 0, 0), QStringLiteral("КВР-ТМ4040"));
    QCOMPARE(text(state, 0, 1), QStringLiteral("0"));
    QCOMPARE(state->horizontalHeaderItem(1)->text(), QStringLiteral("# Приборов в использовании"));

    auto *history = child<QTableWidget>(&summary, "historyTableWidget");
    QCOMPARE(history->rowCount(), 0);
    QCOMPARE(history->columnCount(), 5);
    QCOMPARE(history->columnWidth(2), 200);
    QVERIFY(history->columnWidth(3)
            > history->fontMetrics().horizontalAdvance(QStringLiteral("КВР-ТМ4040 #12345678")));
    QVERIFY(!history->verticalHeader()->isVisible());
    QVERIFY(history->horizontalHeader()->defaultAlignment() & Qt::AlignLeft);
    QCOMPARE(history->editTriggers(), QAbstractItemView::NoEditTriggers);

    DeviceDetailsWidget details;
    QCOMPARE(child<QTabWidget>(&details, "tabWidget")->currentIndex(), 1);
    details.setDevice(m_type);
    QCOMPARE(child<QLabel>(&details, "nameLabel")->text(), QStringLiteral("КВР-ТМ4040"));
    QCOMPARE(child<QTableWidget>(&details, "currentStateTableWidget")->rowCount(), 0);
    QCOMPARE(child<QTableWidget>(&details, "historyTableWidget")->columnWidth(4), 230);
}

void DevicePagesTest::assignmentAndReleaseFillBothPages()
{
    VDB::DataBase *db = m_db->db();
    const SharedUser user = addUser(QStringLiteral("Носимов"));
    QVERIFY(user);
    DevicesSummaryWidget summary;
    DeviceDetailsWidget details;
    details.show();
    details.setDevice(m_type);

    const QDateTime when(db->today(), QTime(8, 30));
    QVERIFY(db->assignDevice(user, m_type, 8009, when, QStringLiteral("выдан")));

    auto *history = child<QTableWidget>(&summary, "historyTableWidget");
    QCOMPARE(history->rowCount(), 1);
    QCOMPARE(text(history, 0, 1), RussianFormat::dateTime(when));
    QCOMPARE(userAt(history, 0, 2), user);
    QVERIFY(text(history, 0, 2).isEmpty());
    QCOMPARE(linkAt(history, 0, 2)->text(),
             QStringLiteral("&nbsp;<a href=\"#history\">Носимов Иван</a>"));
    QCOMPARE(text(history, 0, 3), QStringLiteral("КВР-ТМ4040 #8009"));
    QCOMPARE(text(history, 0, 4), QStringLiteral("выдан"));
    QVERIFY(history->cellWidget(0, 0));
    QCOMPARE(text(child<QTableWidget>(&summary, "currentStateTableWidget"), 0, 1),
             QStringLiteral("1"));

    auto *detailsHistory = child<QTableWidget>(&details, "historyTableWidget");
    auto *holders = child<QTableWidget>(&details, "currentStateTableWidget");
    QCOMPARE(detailsHistory->rowCount(), 1);
    QCOMPARE(text(detailsHistory, 0, 3), QStringLiteral("8009"));
    QCOMPARE(holders->rowCount(), 1);
    QCOMPARE(text(holders, 0, 0), QStringLiteral("8009"));
    QCOMPARE(userAt(holders, 0, 1), user);
    QCOMPARE(linkAt(holders, 0, 1)->text(),
             QStringLiteral("&nbsp;<a href=\"#state\">Носимов Иван</a>"));
    QCOMPARE(text(holders, 0, 2), RussianFormat::dateTime(when));
    QVERIFY(!holders->item(0, 3));

    // The assignment shows the link picture, the release the unlink one.
    QImage assigned;
    QImage released;
    summary.getValueImage(0, QStringLiteral("icon"), assigned, 0);
    QVERIFY(db->unassignDevice(user));
    QCOMPARE(history->rowCount(), 2);
    summary.getValueImage(0, QStringLiteral("icon"), released, 0);
    if (QFile::exists(QStringLiteral(":/icons/link"))) {
        QCOMPARE(assigned,
                 QImage(QStringLiteral(":/icons/link")).convertToFormat(assigned.format()));
        QVERIFY(assigned != released);
    }
    QVERIFY(text(history, 0, 1).startsWith(RussianFormat::date(QDate::currentDate()) + ' '));
    QCOMPARE(text(child<QTableWidget>(&summary, "currentStateTableWidget"), 0, 1),
             QStringLiteral("0"));
    QCOMPARE(detailsHistory->rowCount(), 2);
    QCOMPARE(holders->rowCount(), 0);

    // Report fields of the summary's rows.
    QVariant value;
    summary.getValue(1, QStringLiteral("user"), value, 0);
    QCOMPARE(value.toString(), QStringLiteral("Носимов Иван"));
    summary.getValue(1, QStringLiteral("device"), value, 0);
    QCOMPARE(value.toString(), QStringLiteral("КВР-ТМ4040 #8009"));
    details.getValue(0, QStringLiteral("devName"), value, 0);
    QCOMPARE(value.toString(), QStringLiteral("КВР-ТМ4040"));
    value = 42;
    summary.getValue(0, QStringLiteral("unknown"), value, 0);
    QCOMPARE(value.toInt(), 42);
}

void DevicePagesTest::hiddenDetailsPageWaitsForSetDevice()
{
    VDB::DataBase *db = m_db->db();
    const SharedUser user = addUser(QStringLiteral("Скрытов"));
    DeviceDetailsWidget details;
    details.setDevice(m_type);
    QVERIFY(!details.isVisible());
    QVERIFY(db->assignDevice(user, m_type, 77, QDateTime(), QString()));
    QCOMPARE(child<QTableWidget>(&details, "historyTableWidget")->rowCount(), 0);
    QCOMPARE(child<QTableWidget>(&details, "currentStateTableWidget")->rowCount(), 0);

    details.setDevice(m_type);
    QCOMPARE(child<QTableWidget>(&details, "historyTableWidget")->rowCount(), 1);
    QCOMPARE(child<QTableWidget>(&details, "currentStateTableWidget")->rowCount(), 1);

    // Without a device type nothing is filled.
    DeviceDetailsWidget empty;
    empty.show();
    empty.refillHistory();
    empty.updateCurrentState();
    QCOMPARE(child<QTableWidget>(&empty, "historyTableWidget")->rowCount(), 0);
}

void DevicePagesTest::linksSelectTheirOwnUser()
{
    VDB::DataBase *db = m_db->db();
    const SharedUser first = addUser(QStringLiteral("Первов"));
    const SharedUser second = addUser(QStringLiteral("Вторых"));
    QVERIFY(db->assignDevice(first, m_type, 1, QDateTime(), QString()));
    QVERIFY(db->assignDevice(second, m_type, 2, QDateTime(), QString()));

    DevicesSummaryWidget summary;
    summary.show();
    QSignalSpy selected(&summary, &DevicesSummaryWidget::userSelected);
    auto *history = child<QTableWidget>(&summary, "historyTableWidget");
    QCOMPARE(history->rowCount(), 2);
    const int secondRow = userAt(history, 0, 2) == second ? 0 : 1;

    // The first row is current, yet the clicked label's own user is selected.
    history->setCurrentCell(1 - secondRow, 1);
    emit linkAt(history, secondRow, 2)->linkActivated(QStringLiteral("#history"));
    QCOMPARE(selected.count(), 1);
    QCOMPARE(selected.at(0).at(0).value<SharedUser>(), second);

    summary.linkClicked(QStringLiteral("#state"));
    QCOMPARE(selected.count(), 1);

    DeviceDetailsWidget details;
    details.show();
    details.setDevice(m_type);
    QSignalSpy detailsSelected(&details, &DeviceDetailsWidget::userSelected);
    auto *holders = child<QTableWidget>(&details, "currentStateTableWidget");
    QCOMPARE(holders->rowCount(), 2);
    QCOMPARE(userAt(holders, 0, 1), first);
    emit linkAt(holders, 0, 1)->linkActivated(QStringLiteral("#state"));
    QCOMPARE(detailsSelected.count(), 1);
    QCOMPARE(detailsSelected.at(0).at(0).value<SharedUser>(), first);

    // A current item that holds no user selects none.
    auto *detailsHistory = child<QTableWidget>(&details, "historyTableWidget");
    detailsHistory->setCurrentCell(0, 1);
    details.linkClicked(QStringLiteral("#history"));
    QCOMPARE(detailsSelected.count(), 2);
    QVERIFY(!detailsSelected.at(1).at(0).value<SharedUser>());
    details.linkClicked(QStringLiteral("#other"));
    QCOMPARE(detailsSelected.count(), 2);
}

void DevicePagesTest::datesRefillAndSortingStaysChronological()
{
    const SharedUser user = addUser(QStringLiteral("Датов"));
    // Day-first texts would sort 05.02 before 10.01.
    QVERIFY(m_db->insertEvents(user,
                               {{QDateTime(QDate(2024, 1, 10), QTime(9, 0)), 0},
                                {QDateTime(QDate(2024, 2, 5), QTime(9, 0)), 0},
                                {QDateTime(QDate(2023, 12, 20), QTime(9, 0)), 0}},
                               VDB::EventDeviceAssigned));
    m_db->db()->setToday(QDate(2024, 2, 10));
    DevicesSummaryWidget summary;
    auto *history = child<QTableWidget>(&summary, "historyTableWidget");
    QCOMPARE(history->rowCount(), 1);

    child<QDateEdit>(&summary, "startDateEdit")->setDate(QDate(2023, 12, 1));
    QCOMPARE(history->rowCount(), 3);
    history->sortByColumn(1, Qt::AscendingOrder);
    QCOMPARE(
        columnTexts(history, 1),
        (QStringList {QStringLiteral("20 дек. 2023 09:00"), QStringLiteral("10 янв. 2024 09:00"),
                      QStringLiteral("5 февр. 2024 09:00")}));

    child<QDateEdit>(&summary, "endDateEdit")->setDate(QDate(2024, 1, 31));
    QCOMPARE(
        columnTexts(history, 1),
        (QStringList {QStringLiteral("20 дек. 2023 09:00"), QStringLiteral("10 янв. 2024 09:00")}));
    // Rows keep their users when the table is re-sorted.
    history->sortByColumn(1, Qt::DescendingOrder);
    QCOMPARE(text(history, 0, 1), QStringLiteral("10 янв. 2024 09:00"));
    QCOMPARE(userAt(history, 0, 2), user);
    QVERIFY(linkAt(history, 0, 2)->text().contains(QStringLiteral("Датов")));

    // A start after the end simply shows nothing.
    child<QDateEdit>(&summary, "startDateEdit")->setDate(QDate(2024, 2, 1));
    QCOMPARE(history->rowCount(), 0);
}

void DevicePagesTest::namesAreShownAsTyped()
{
    VDB::DataBase *db = m_db->db();
    const SharedUser user = addUser(QStringLiteral("<b>Жирнов</b> & \"Ко\"'; DROP TABLE Events;"));
    QVERIFY(user);
    QVERIFY(db->assignDevice(user, m_type, 5, QDateTime(), QStringLiteral("<i>x</i>")));
    DevicesSummaryWidget summary;
    auto *history = child<QTableWidget>(&summary, "historyTableWidget");
    QCOMPARE(history->rowCount(), 1);
    QLabel *link = linkAt(history, 0, 2);
    QTextDocument document;
    document.setHtml(link->text());
    QCOMPARE(document.toPlainText().trimmed(), user->fullName());
    QCOMPARE(text(history, 0, 4), QStringLiteral("<i>x</i>"));
}

void DevicePagesTest::longNamesWidenTheirColumn()
{
    // The name is a label over the cell: the column must be sized for it.
    const SharedUser user
        = m_db->addUser(QStringLiteral("Константинопольская"), QStringLiteral("Александра"),
                        {m_db->db()->groups().at(2)});
    QVERIFY(m_db->db()->assignDevice(user, m_type, 40401234, QDateTime(), QString()));
    DeviceDetailsWidget details;
    details.setDevice(m_type);
    auto *state = child<QTableWidget>(&details, "currentStateTableWidget");
    QCOMPARE(state->rowCount(), 1);
    QVERIFY(linkAt(state, 0, 1)->sizeHint().width() <= state->columnWidth(1));
    QCOMPARE(linkAt(state, 0, 1)->toolTip(), user->fullName());
}

void DevicePagesTest::historyIsPrinted()
{
    VDB::DataBase *db = m_db->db();
    const SharedUser user = addUser(QStringLiteral("Печатов"));
    QVERIFY(db->assignDevice(user, m_type, 8009, QDateTime(), QStringLiteral("выдан")));
    DevicesSummaryWidget summary;
    summary.show();

    // The report asks the page for its fields while it is laid out.
    QtRPT report;
    QVERIFY(report.loadReport(QStringLiteral(":/text/resources/data/reports/device_history.xml")));
    report.recordCount.append(1);
    connect(&report, &QtRPT::setValue, &summary, &DevicesSummaryWidget::getValue);
    connect(&report, &QtRPT::setValueImage, &summary, &DevicesSummaryWidget::getValueImage);
    QStringList texts;
    for (const ReportDocument::Page &page : report.buildDocument().pages) {
        for (const ReportDocument::Item &item : page.items)
            texts << item.text;
    }
    const QString all = texts.join(QLatin1Char('|'));
    QVERIFY2(all.contains(QStringLiteral("Печатов Иван")), qPrintable(all));
    QVERIFY2(all.contains(QStringLiteral("КВР-ТМ4040 #8009")), qPrintable(all));

    // The print button opens the preview under the page's title.
    auto title = std::make_shared<QString>();
    TestSupport::onNextModal([title](QWidget *widget) {
        *title = widget->windowTitle();
        if (auto *dialog = qobject_cast<QDialog *>(widget))
            dialog->reject();
    });
    child<QPushButton>(&summary, "printPushButton")->click();
    QCOMPARE(*title, QStringLiteral("История назначений приборов"));

    DeviceDetailsWidget details;
    details.show();
    details.setDevice(m_type);
    TestSupport::onNextModal([title](QWidget *widget) {
        *title = widget->windowTitle();
        if (auto *dialog = qobject_cast<QDialog *>(widget))
            dialog->reject();
    });
    child<QPushButton>(&details, "printButton")->click();
    QCOMPARE(*title, QStringLiteral("История назначений приборов, КВР-ТМ4040"));
}

QTEST_MAIN(DevicePagesTest)
#include "tst_devicepages.moc"
