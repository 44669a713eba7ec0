#include "ui/DeviceDetailsWidget.h"
#include "ui_DeviceDetailsWidget.h"

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

DeviceDetailsWidget::DeviceDetailsWidget(QWidget *parent)
    : QWidget(parent)
    , m_ui(new Ui::DeviceDetailsWidget)
{
    m_ui->setupUi(this);
    TableCsvExport::addContextAction(m_ui->historyTableWidget, tr("История назначений приборов"));
    TableCsvExport::addContextAction(m_ui->currentStateTableWidget, tr("Владельцы приборов"));
    RussianFormat::setUpDateEdit(m_ui->startDateEdit);
    RussianFormat::setUpDateEdit(m_ui->endDateEdit);

    VDB::DataBase *db = VDB::DataBase::instance();
    const QDate today = db->today();
    m_ui->startDateEdit->setDate(today.addDays(-db->options().interval));
    m_ui->endDateEdit->setDate(today);

    setUpTable(m_ui->historyTableWidget, {30, 105, 200, 60, 230});
    setUpTable(m_ui->currentStateTableWidget, {70, 200, 130, 220});
    fitColumn(m_ui->historyTableWidget, 1, dateTimeSample());
    fitColumn(m_ui->currentStateTableWidget, 2, dateTimeSample());
    // A serial number is never cut: eight digits and the column's margin.
    fitColumn(m_ui->historyTableWidget, 3, QStringLiteral("00000000"));
    fitColumn(m_ui->currentStateTableWidget, 0, QStringLiteral("00000000"));

    connect(m_ui->startDateEdit, &QDateEdit::dateChanged, this,
            &DeviceDetailsWidget::refillHistory);
    connect(m_ui->endDateEdit, &QDateEdit::dateChanged, this, &DeviceDetailsWidget::refillHistory);
    connect(m_ui->printButton, &QPushButton::clicked, this, &DeviceDetailsWidget::printReport);
    connect(db, &VDB::DataBase::historyAdded, this, &DeviceDetailsWidget::historyAdded);
}

DeviceDetailsWidget::~DeviceDetailsWidget() = default;

void DeviceDetailsWidget::setDevice(DeviceType *type)
{
    m_ui->nameLabel->setText(type ? type->name : QString());
    m_device = type;
    refillHistory();
    updateCurrentState();
}

void DeviceDetailsWidget::refillHistory()
{
    if (!m_device)
        return;
    QList<VDB::Event> events;
    VDB::DataBase::instance()->deviceAssignmentEvents(events, m_ui->startDateEdit->date(),
                                                      m_ui->endDateEdit->date(), m_device);

    QTableWidget *table = m_ui->historyTableWidget;
    const bool sorting = table->isSortingEnabled();
    table->setSortingEnabled(false);
    table->setRowCount(0);
    table->setRowCount(events.size());
    for (int row = 0; row < events.size(); ++row) {
        const VDB::Event &event = events.at(row);
        setEventIcon(table, row, 0, event.eventType);
        setHistoryRow(table, row, event, QString::number(event.deviceSerial));
        table->item(row, 3)->setData(SortRole, event.deviceSerial);
        QLabel *label = setUserCell(table, row, 2, event.user, QStringLiteral("#history"));
        connect(label, &QLabel::linkActivated, this, &DeviceDetailsWidget::linkClicked);
    }
    table->setSortingEnabled(sorting);
}

void DeviceDetailsWidget::historyAdded()
{
    // A hidden page is refilled by setDevice() when it is shown again.
    if (!isVisible())
        return;
    refillHistory();
    updateCurrentState();
}

void DeviceDetailsWidget::updateCurrentState()
{
    if (!m_device)
        return;
    QTableWidget *table = m_ui->currentStateTableWidget;
    const bool sorting = table->isSortingEnabled();
    table->setSortingEnabled(false);
    table->setRowCount(0);
    const QList<SharedUser> &users = VDB::DataBase::instance()->users();
    for (const SharedUser &user : users) {
        if (!user->device || user->device->type != m_device)
            continue;
        const int row = table->rowCount();
        table->insertRow(row);
        table->setItem(
            row, 0, new SortableItem(QString::number(user->device->serial), user->device->serial));
        QLabel *label = setUserCell(table, row, 1, user, QStringLiteral("#state"));
        connect(label, &QLabel::linkActivated, this, &DeviceDetailsWidget::linkClicked);
        table->setItem(
            row, 2,
            new SortableItem(dateTimeText(user->device->assignDate), user->device->assignDate));
    }
    table->setSortingEnabled(sorting);
}

void DeviceDetailsWidget::linkClicked(QString link)
{
    QTableWidget *table = nullptr;
    if (link == QLatin1String("#history"))
        table = m_ui->historyTableWidget;
    else if (link == QLatin1String("#state"))
        table = m_ui->currentStateTableWidget;
    else
        return;
    makeLabelCellCurrent(table, sender());
    if (!table->currentItem())
        return;
    emit userSelected(currentUser(table));
}

void DeviceDetailsWidget::printReport()
{
    QtRPT report(this);
    if (!report.loadReport(QString::fromLatin1(historyTemplate))) {
        QMessageBox::critical(this, tr("Ошибка"), tr("Не удалось загрузить шаблон отчёта"));
        return;
    }
    report.recordCount.append(m_ui->historyTableWidget->rowCount());
    connect(&report, &QtRPT::setValue, this, &DeviceDetailsWidget::getValue);
    connect(&report, &QtRPT::setValueImage, this, &DeviceDetailsWidget::getValueImage);
    report.printExec(false, false, QString(),
                     tr("История назначений приборов, ") + (m_device ? m_device->name : QString()));
}

void DeviceDetailsWidget::getValue(const int record, const QString name, QVariant &value,
                                   const int page)
{
    Q_UNUSED(page)
    if (name == QLatin1String("startDate"))
        value = RussianFormat::date(m_ui->startDateEdit->date());
    else if (name == QLatin1String("endDate"))
        value = RussianFormat::date(m_ui->endDateEdit->date());
    else if (name == QLatin1String("devName"))
        value = m_device ? m_device->name : QString();
    else
        historyReportValue(m_ui->historyTableWidget, record, name, value);
}

void DeviceDetailsWidget::getValueImage(int record, QString name, QImage &image, int page)
{
    Q_UNUSED(page)
    historyReportImage(m_ui->historyTableWidget, record, name, image);
}
