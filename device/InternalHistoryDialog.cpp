#include "device/InternalHistoryDialog.h"
#include "ui_InternalHistoryDialog.h"

#include "db/DataBase.h"
#include "db/DoseUnits.h"
#include "device/DeviceConnection.h"
#include "device/HistoryProgress.h"
#include "dose/EventStateText.h"
#include "report/QtRPT.h"
#include "report/RussianFormat.h"
#include "report/TableCsvExport.h"

#include <QCalendarWidget>
#include <QHeaderView>
#include <QMessageBox>

namespace {

enum Column { DateTimeColumn, DoseColumn, RateColumn, NumberColumn, StateColumn };

const int SortRole = Qt::UserRole;

// Sorts by a key of its own: dates as dates and numbers as numbers, not as
// their texts.
class SortableItem : public QTableWidgetItem
{
public:
    SortableItem(const QString &text, const QVariant &key)
        : QTableWidgetItem(text)
    {
        setData(SortRole, key);
    }
    bool operator<(const QTableWidgetItem &other) const override
    {
        const QVariant a = data(SortRole);
        const QVariant b = other.data(SortRole);
        if (a.type() == QVariant::DateTime)
            return a.toDateTime() < b.toDateTime();
        if (a.type() == QVariant::String)
            return a.toString() < b.toString();
        return a.toDouble() < b.toDouble();
    }
};

} // namespace

InternalHistoryDialog::InternalHistoryDialog(DeviceConnection *connection, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::InternalHistoryDialog)
    , m_connection(connection)
{
    ui->setupUi(this);
    TableCsvExport::addContextAction(ui->historyTableWidget, tr("Память прибора"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    if (const DeviceInfo *info = m_connection ? m_connection->info() : nullptr) {
        setWindowTitle(
            tr("Просмотр внутренней истории: %1#%2").arg(info->name).arg(info->serialNumber));
    }
    // The title may not be shown (or read); the form says it too.
    ui->deviceLabel->setText(tr("Внутренняя история прибора %1: только просмотр, в базу данных "
                                "ничего не записывается")
                                 .arg(m_connection ? m_connection->deviceText() : QString()));
    RussianFormat::setUpDateEdit(ui->startDateEdit);
    RussianFormat::setUpDateEdit(ui->endDateEdit);
    ui->historyTableWidget->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft
                                                                    | Qt::AlignVCenter);
    ui->historyTableWidget->verticalHeader()->setDefaultSectionSize(
        ui->historyTableWidget->fontMetrics().height() + 6);

    VDB::DataBase *db = VDB::DataBase::instance();
    const QDate today = db->today();
    ui->endDateEdit->setDate(today);
    ui->startDateEdit->setDate(today.addDays(-db->options().interval));

    ui->chartWidget->setStyle(ChartWidget::DoseAndRate);
    ui->chartWidget->setDoseData(ChartWidget::Series(),
                                 QDateTime(ui->startDateEdit->date(), QTime(0, 0)),
                                 QDateTime(ui->endDateEdit->date().addDays(1), QTime(0, 0)));
    ui->splitter->setStretchFactor(0, 1);
    ui->splitter->setStretchFactor(1, 1);

    connect(ui->startDateEdit, &QDateEdit::dateChanged, this,
            &InternalHistoryDialog::intervalChanged);
    connect(ui->endDateEdit, &QDateEdit::dateChanged, this,
            &InternalHistoryDialog::intervalChanged);
    connect(ui->printPushButton, &QPushButton::clicked, this, &InternalHistoryDialog::printReport);
}

InternalHistoryDialog::~InternalHistoryDialog()
{
    if (m_stop)
        m_stop->store(true);
    m_worker.join();
}

QString InternalHistoryDialog::stateText(const VDB::Event &event)
{
    return eventStateText(event, "InternalHistoryDialog");
}

InternalHistoryDialog::ChartData InternalHistoryDialog::chartData(const QList<VDB::Event> &events,
                                                                  const QDateTime &from,
                                                                  const QDateTime &to)
{
    ChartData data;
    for (const VDB::Event &e : events) {
        if (e.dateTime < from || e.dateTime > to)
            continue;
        if (e.eventType == VDB::EventMeasurement) {
            const double dose = toDisplayDose(e.value);
            if (!data.doses.isEmpty() && data.doses.last().dateTime == e.dateTime)
                data.doses.last().value = dose;
            else
                data.doses.append({e.dateTime, dose});
            if (!data.rates.isEmpty() && data.rates.last().dateTime == e.dateTime)
                data.rates.last().value = e.medValue;
            else
                data.rates.append({e.dateTime, e.medValue});
        } else if (e.eventType == VDB::EventDose) {
            // A dose record goes on the rate axis as it is: given in µSv/h, the
            // chart's conversion brings it back to the dose in the display unit.
            const double rate = e.value * 1000.0;
            if (!data.rates.isEmpty() && data.rates.last().dateTime == e.dateTime)
                data.rates.last().value += rate;
            else
                data.rates.append({e.dateTime, rate});
        }
    }
    return data;
}

void InternalHistoryDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_started) {
        m_started = true;
        // Once the window is on screen.
        QMetaObject::invokeMethod(this, &InternalHistoryDialog::startReading, Qt::QueuedConnection);
    }
}

void InternalHistoryDialog::startReading()
{
    if (!m_connection || !m_connection->info())
        return;
    setControlsEnabled(false);
    m_reading = true;
    m_events.clear();
    auto *reader = new HistoryReader(m_connection);
    m_stop = reader->stopFlag();
    m_worker.start(reader, &HistoryReader::finished);
    connect(reader, &HistoryReader::finished, this, &InternalHistoryDialog::historyReaded);
    connect(reader, &HistoryReader::eventReaded, this, &InternalHistoryDialog::addEvent);
    connect(reader, &HistoryReader::inProgress, this, &InternalHistoryDialog::showProgress);
    connect(reader, &HistoryReader::downloadProgress, this, &InternalHistoryDialog::showDownload);
    // Busy until the device says how much it sends.
    HistoryProgress::showBusy(ui->progressBar);
    m_worker.run();
}

void InternalHistoryDialog::showProgress(int percent)
{
    HistoryProgress::showPercent(ui->progressBar, percent);
}

void InternalHistoryDialog::showDownload(int received, int total)
{
    HistoryProgress::showReceived(ui->progressBar, received, total);
}

void InternalHistoryDialog::addEvent(VDB::Event event)
{
    m_events.append(event);
}

void InternalHistoryDialog::historyReaded()
{
    m_worker.join();
    m_stop.reset();
    m_reading = false;
    if (ui->progressBar->maximum() == 0)
        HistoryProgress::reset(ui->progressBar);
    if (m_closeRequested) {
        QDialog::reject();
        return;
    }
    setControlsEnabled(true);
    refresh();
    // A failed download looks like an empty history: say so rather than
    // report it complete.
    const int reported = m_connection->info()->historyCount;
    const HistoryReader::Completeness completeness
        = HistoryReader::completeness(reported, m_events.size());
    if (completeness == HistoryReader::EmptyMemory) {
        QMessageBox::information(this, tr("Информация"),
                                 tr("Чтение истории завершено: память прибора пуста"));
        return;
    }
    if (completeness == HistoryReader::Incomplete) {
        const QString text = m_events.isEmpty()
            ? tr("Не удалось прочитать историю прибора.")
            : tr("История прибора прочитана не полностью: прочитано событий %1 из %2.")
                  .arg(m_events.size())
                  .arg(reported);
        QMessageBox::warning(this, tr("Предупреждение"), text);
        return;
    }
    QMessageBox::information(this, tr("Информация"), tr("Чтение истории завершено"));
}

void InternalHistoryDialog::intervalChanged()
{
    refresh();
}

void InternalHistoryDialog::printReport()
{
    QtRPT report(this);
    if (!report.loadReport(QStringLiteral(":/text/resources/data/reports/device_events.xml"))) {
        QMessageBox::critical(this, tr("Ошибка"), tr("Не удалось загрузить шаблон отчёта"));
        return;
    }
    connect(&report, &QtRPT::setValue, this, &InternalHistoryDialog::getValue);
    connect(&report, &QtRPT::setValueImage, this, &InternalHistoryDialog::getValueImage);
    report.recordCount.append(ui->historyTableWidget->rowCount());
    report.printExec(false, false, QString(), tr("Печать внутренней истории"));
}

void InternalHistoryDialog::getValue(const int recNo, const QString paramName, QVariant &paramValue,
                                     const int reportPage)
{
    Q_UNUSED(reportPage)
    if (paramName == QLatin1String("deviceName")) {
        if (const DeviceInfo *info = m_connection ? m_connection->info() : nullptr)
            paramValue = QStringLiteral("%1#%2").arg(info->name).arg(info->serialNumber);
    } else if (paramName == QLatin1String("details")) {
        paramValue = tr("Внутренняя история прибора");
    } else if (paramName == QLatin1String("date")) {
        paramValue = RussianFormat::period(ui->startDateEdit->date(), ui->endDateEdit->date());
    } else {
        static const QStringList columns {QStringLiteral("time"), QStringLiteral("event"),
                                          QStringLiteral("value"), QStringLiteral("channel")};
        const int column = columns.indexOf(paramName);
        QTableWidget *table = ui->historyTableWidget;
        if (column < 0 || recNo < 0 || recNo >= table->rowCount())
            return;
        // The rows as the operator sees them, in the table's current order.
        const int row = table->verticalHeader()->logicalIndex(recNo);
        if (const QTableWidgetItem *item = table->item(row, column))
            paramValue = item->text();
    }
}

void InternalHistoryDialog::getValueImage(int recNo, QString paramName, QImage &paramValue,
                                          int reportPage)
{
    Q_UNUSED(recNo)
    Q_UNUSED(reportPage)
    if (paramName == QLatin1String("graph"))
        paramValue = ui->chartWidget->reportImage(sender());
}

void InternalHistoryDialog::reject()
{
    if (m_reading) {
        m_closeRequested = true;
        m_stop->store(true);
        // Ends the transfer now rather than after its last packet.
        m_connection->interrupt();
        return;
    }
    QDialog::reject();
}

void InternalHistoryDialog::refresh()
{
    const QDateTime from(ui->startDateEdit->date(), QTime(0, 0));
    const QDateTime to(ui->endDateEdit->date().addDays(1), QTime(0, 0));

    const ChartData data = chartData(m_events, from, to);
    ui->chartWidget->setDoseData(data.doses, from, to);
    ui->chartWidget->setRateData(data.rates, from, to);

    QTableWidget *table = ui->historyTableWidget;
    const bool sorting = table->isSortingEnabled();
    table->setSortingEnabled(false);
    int count = 0;
    for (const VDB::Event &e : qAsConst(m_events)) {
        if (e.dateTime >= from && e.dateTime <= to)
            ++count;
    }
    table->clearContents();
    table->setRowCount(count);
    int row = 0;
    for (int i = m_events.size() - 1; i >= 0; --i) {
        const VDB::Event &e = m_events.at(i);
        if (e.dateTime < from || e.dateTime > to)
            continue;
        table->setItem(row, DateTimeColumn,
                       new SortableItem(RussianFormat::recordTime(e.dateTime), e.dateTime));
        table->setItem(row, DoseColumn,
                       new SortableItem(QString::number(e.value, 'f', 3), e.value));
        table->setItem(row, RateColumn,
                       new SortableItem(QString::number(e.medValue, 'f', 2), e.medValue));
        table->setItem(row, NumberColumn,
                       new SortableItem(QString::number(e.eventNumber), e.eventNumber));
        const QString state = stateText(e);
        table->setItem(row, StateColumn, new SortableItem(state, state));
        ++row;
    }
    table->setSortingEnabled(sorting);
    // Whole date-times and numbers; the state takes the rest.
    for (int column = DateTimeColumn; column < StateColumn; ++column)
        table->resizeColumnToContents(column);
}

void InternalHistoryDialog::setControlsEnabled(bool enabled)
{
    ui->printPushButton->setEnabled(enabled);
    ui->startDateEdit->setEnabled(enabled);
    ui->endDateEdit->setEnabled(enabled);
}
