#include "ui/DevicesSummaryWidget.h"
#include "ui_DevicesSummaryWidget.h"

#include "db/DataBase.h"
#include "report/QtRPT.h"
#include "report/RussianFormat.h"
#include "report/TableCsvExport.h"
#include "ui/DeviceTableRows.h"

#include <QCalendarWidget>
#include <QLabel>
#include <QMessageBox>

using namespace DeviceTableRows;

namespace {

const char *const historyTemplate = ":/text/resources/data/reports/device_history.xml";

} // namespace

DevicesSummaryWidget::DevicesSummaryWidget(QWidget *parent)
    : QWidget(parent)
    , m_ui(new Ui::DevicesSummaryWidget)
{
    m_ui->setupUi(this);
    TableCsvExport::addContextAction(m_ui->historyTableWidget, tr("История назначений приборов"));
    TableCsvExport::addContextAction(m_ui->currentStateTableWidget, tr("Приборы в использовании"));
    RussianFormat::setUpDateEdit(m_ui->startDateEdit);
    RussianFormat::setUpDateEdit(m_ui->endDateEdit);

    VDB::DataBase *db = VDB::DataBase::instance();
    const QDate today = db->today();
    m_ui->startDateEdit->setDate(today.addDays(-db->options().interval));
    m_ui->endDateEdit->setDate(today);

    setUpTable(m_ui->historyTableWidget, {30, 105, 200, 100, 190});
    setUpTable(m_ui->currentStateTableWidget, {});
    fitColumn(m_ui->historyTableWidget, 1, dateTimeSample());
    for (const DeviceType *type : db->deviceTypes())
        fitColumn(m_ui->historyTableWidget, 3, QStringLiteral("%1 #00000000").arg(type->name));

    connect(m_ui->startDateEdit, &QDateEdit::dateChanged, this,
            &DevicesSummaryWidget::refillHistory);
    connect(m_ui->endDateEdit, &QDateEdit::dateChanged, this, &DevicesSummaryWidget::refillHistory);
    connect(m_ui->printPushButton, &QPushButton::clicked, this, &DevicesSummaryWidget::printReport);
    connect(db, &VDB::DataBase::historyAdded, this, &DevicesSummaryWidget::refillHistory);
    connect(db, &VDB::DataBase::userUpdated, this, &DevicesSummaryWidget::refillCurrentState);
    connect(db, &VDB::DataBase::userDeleted, this, &DevicesSummaryWidget::refillCurrentState);

    refillHistory();
    refillCurrentState();
}

DevicesSummaryWidget::~DevicesSummaryWidget() = default;

void DevicesSummaryWidget::refillCurrentState()
{
    VDB::DataBase *db = VDB::DataBase::instance();
    QTableWidget *table = m_ui->currentStateTableWidget;
    // Rows would move under the fill while the table is sorted.
    const bool sorting = table->isSortingEnabled();
    table->setSortingEnabled(false);

    const QList<DeviceType *> &types = db->deviceTypes();
    table->setRowCount(types.size());
    for (int row = 0; row < types.size(); ++row) {
        const DeviceType *type = types.at(row);
        int inUse = 0;
        for (const SharedUser &user : db->users()) {
            if (user->device && user->device->type == type)
                ++inUse;
        }
        table->setItem(row, 0, new QTableWidgetItem(type->name));
        table->setItem(row, 1, new SortableItem(QString::number(inUse), inUse));
    }
    table->setSortingEnabled(sorting);
}

void DevicesSummaryWidget::refillHistory()
{
    QList<VDB::Event> events;
    VDB::DataBase::instance()->deviceAssignmentEvents(events, m_ui->startDateEdit->date(),
                                                      m_ui->endDateEdit->date());

    QTableWidget *table = m_ui->historyTableWidget;
    const bool sorting = table->isSortingEnabled();
    table->setSortingEnabled(false);
    table->setRowCount(0);
    table->setRowCount(events.size());
    for (int row = 0; row < events.size(); ++row) {
        const VDB::Event &event = events.at(row);
        setEventIcon(table, row, 0, event.eventType);
        const QString typeName = event.deviceType ? event.deviceType->name : QString();
        setHistoryRow(table, row, event,
                      QStringLiteral("%1 #%2").arg(typeName).arg(event.deviceSerial));
        QLabel *label = setUserCell(table, row, 2, event.user, QStringLiteral("#history"));
        connect(label, &QLabel::linkActivated, this, &DevicesSummaryWidget::linkClicked);
    }
    table->setSortingEnabled(sorting);
}

void DevicesSummaryWidget::linkClicked(QString link)
{
    if (link != QLatin1String("#history"))
        return;
    QTableWidget *table = m_ui->historyTableWidget;
    makeLabelCellCurrent(table, sender());
    if (!table->currentItem())
        return;
    emit userSelected(currentUser(table));
}

void DevicesSummaryWidget::printReport()
{
    QtRPT report(this);
    if (!report.loadReport(QString::fromLatin1(historyTemplate))) {
        QMessageBox::critical(this, tr("Ошибка"), tr("Не удалось загрузить шаблон отчёта"));
        return;
    }
    report.recordCount.append(m_ui->historyTableWidget->rowCount());
    connect(&report, &QtRPT::setValue, this, &DevicesSummaryWidget::getValue);
    connect(&report, &QtRPT::setValueImage, this, &DevicesSummaryWidget::getValueImage);
    report.printExec(false, false, QString(), tr("История назначений приборов"));
}

void DevicesSummaryWidget::getValue(const int record, const QString name, QVariant &value,
                                    const int page)
{
    Q_UNUSED(page)
    if (name == QLatin1String("startDate"))
        value = RussianFormat::date(m_ui->startDateEdit->date());
    else if (name == QLatin1String("endDate"))
        value = RussianFormat::date(m_ui->endDateEdit->date());
    else
        historyReportValue(m_ui->historyTableWidget, record, name, value);
}

void DevicesSummaryWidget::getValueImage(int record, QString name, QImage &image, int page)
{
    Q_UNUSED(page)
    historyReportImage(m_ui->historyTableWidget, record, name, image);
}
