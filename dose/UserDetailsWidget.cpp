#include "dose/UserDetailsWidget.h"
#include "ui_UserDetailsWidget.h"

#include "app/AccessCheck.h"
#include "db/DoseUnits.h"
#include "device/DeviceAssignmentDialog.h"
#include "device/DeviceConnection.h"
#include "device/FindDeviceDialog.h"
#include "device/ReadHistoryDialog.h"
#include "dose/ChartWidget.h"
#include "dose/DoseCardReport.h"
#include "dose/DoseText.h"
#include "dose/EventStateText.h"
#include "dose/ExceededThreshouldsDialog.h"
#include "dose/ThresholdEvaluator.h"
#include "dose/ThresholdsWidget.h"
#include "report/QtRPT.h"
#include "report/RussianFormat.h"
#include "report/TableCsvExport.h"

#include <QAction>
#include <QCalendarWidget>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QPixmap>
#include <algorithm>

namespace {

// Table item that sorts by a hidden key instead of its text, so numbers and
// date-times sort by value.
class SortKeyItem : public QTableWidgetItem
{
public:
    SortKeyItem(const QString &text, const QVariant &key)
        : QTableWidgetItem(text)
    {
        setData(KeyRole, key);
    }
    bool operator<(const QTableWidgetItem &other) const override
    {
        const QVariant mine = data(KeyRole);
        const QVariant theirs = other.data(KeyRole);
        if (!mine.isValid() || !theirs.isValid())
            return QTableWidgetItem::operator<(other);
        if (mine.type() == QVariant::DateTime)
            return mine.toDateTime() < theirs.toDateTime();
        return mine.toDouble() < theirs.toDouble();
    }

private:
    static constexpr int KeyRole = Qt::UserRole + 1;
};

} // namespace

QString UserDetailsWidget::stateText(const VDB::Event &event)
{
    return eventStateText(event, "UserDetailsWidget");
}

UserDetailsWidget::UserDetailsWidget(QAction *editUserAction, QAction *delUserAction,
                                     QWidget *parent)
    : QWidget(parent)
    , m_ui(new Ui::UserDetailsWidget)
    , m_editUserAction(editUserAction)
    , m_delUserAction(delUserAction)
{
    m_ui->setupUi(this);
    TableCsvExport::addContextAction(m_ui->historyTableWidget, tr("События дня"));
    // Month names and calendars in Russian, like the rest of the program.
    setLocale(RussianFormat::locale());

    VDB::DataBase *db = VDB::DataBase::instance();
    const QDate now = db->today();
    m_ui->dayDateEdit->setDate(now);
    m_ui->monthDateEdit->setDate(now);
    m_ui->yearDateEdit->setDate(now);
    m_ui->endDateEdit->setDate(now);
    m_ui->startDateEdit->setDate(now.addDays(-db->options().interval));
    for (QDateEdit *edit : {m_ui->dayDateEdit, m_ui->startDateEdit, m_ui->endDateEdit})
        RussianFormat::setUpDateEdit(edit);

    QHeaderView *header = m_ui->historyTableWidget->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Newest first, whatever order the store returns; the operator may sort
    // by another column, and the report follows what the table shows.
    header->setSortIndicator(TimeColumn, Qt::DescendingOrder);
    // The widths suit the usual small dialog font; a larger font widens a
    // column to its header and to a typical cell rather than clipping them.
    QTableWidget *table = m_ui->historyTableWidget;
    updateUnitHeadings();
    // Narrow enough that all seven fit a 1366-pixel screen beside the tree;
    // the comment takes what is left.
    const int widths[] = {105, 100, 90, 90, 60, 130};
    const QString samples[]
        = {RussianFormat::recordTime(QDateTime(QDate(2000, 12, 28), QTime(20, 58, 58))),
           QStringLiteral("КВР-ТМ4040 #00000000")};
    for (int column = 0; column < 6; ++column) {
        int width = qMax(
            widths[column],
            header->fontMetrics().horizontalAdvance(table->horizontalHeaderItem(column)->text())
                + 12);
        if (column < 2)
            width = qMax(width, table->fontMetrics().horizontalAdvance(samples[column]) + 12);
        table->setColumnWidth(column, width);
    }
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 8);
    header->setStretchLastSection(true);
    // Table and day chart share the tab equally; neither shrinks to a sliver.
    m_ui->daySplitter->setSizes({1000, 1000});
    table->setMinimumHeight(table->horizontalHeader()->sizeHint().height()
                            + 4 * table->verticalHeader()->defaultSectionSize());
    for (ChartWidget *chart : {m_ui->dayChartWidget, m_ui->monthChartWidget, m_ui->yearChartWidget,
                               m_ui->rangeChartWidget})
        chart->setMinimumHeight(ChartWidget::readableHeight(chart->font()));

    m_ui->dayChartWidget->setStyle(ChartWidget::DoseAndRate);
    for (ChartWidget *chart :
         {m_ui->monthChartWidget, m_ui->yearChartWidget, m_ui->rangeChartWidget})
        chart->setStyle(ChartWidget::DosePerPeriodAndRate);
    m_ui->yearChartWidget->setSeriesNames(tr("ЭД за месяц"), tr("МЭД, максимум за месяц"));

    m_userMenu = new QMenu(this);
    if (m_editUserAction)
        m_userMenu->addAction(m_editUserAction);
    if (m_delUserAction)
        m_userMenu->addAction(m_delUserAction);
    m_ui->userMenuButton->setMenu(m_userMenu);

    connect(m_userMenu, &QMenu::aboutToShow, this, &UserDetailsWidget::beforeShowUserMenu);
    connect(m_ui->deviceButton, &QPushButton::clicked, this,
            &UserDetailsWidget::deviceButtonClicked);
    connect(m_ui->prevDayPushButton, &QPushButton::clicked, this, &UserDetailsWidget::changeDay);
    connect(m_ui->nextDayPushButton, &QPushButton::clicked, this, &UserDetailsWidget::changeDay);
    connect(m_ui->dayDateEdit, &QDateEdit::dateChanged, this, &UserDetailsWidget::refillDayHistory);
    connect(m_ui->monthDateEdit, &QDateEdit::dateChanged, this,
            &UserDetailsWidget::updateMonthChart);
    connect(m_ui->yearDateEdit, &QDateEdit::dateChanged, this, &UserDetailsWidget::updateYearChart);
    connect(m_ui->startDateEdit, &QDateEdit::dateChanged, this,
            &UserDetailsWidget::updateRangeChart);
    connect(m_ui->endDateEdit, &QDateEdit::dateChanged, this, &UserDetailsWidget::updateRangeChart);
    for (QPushButton *button : {m_ui->printDayButton, m_ui->printMonthButton, m_ui->printYearButton,
                                m_ui->printPeriodButton})
        connect(button, &QPushButton::clicked, this, &UserDetailsWidget::printReport);

    connect(db, &VDB::DataBase::thresholdsUpdated, this, &UserDetailsWidget::updateThresholds);
    connect(db, &VDB::DataBase::optionsChanged, this, &UserDetailsWidget::optionsChanged);
    // New history changes everything but the period chart, which keeps what
    // the operator chose until one of its dates changes.
    connect(db, &VDB::DataBase::historyAdded, this, &UserDetailsWidget::refreshAfterHistory);
    connect(db, &VDB::DataBase::doseRecordChanged, this, &UserDetailsWidget::refreshDoseRecord);
    connect(m_ui->exportDayButton, &QPushButton::clicked, this, &UserDetailsWidget::exportDayTable);
    connect(m_ui->doseCardButton, &QPushButton::clicked, this, &UserDetailsWidget::printDoseCard);

    m_unitsShown = db->options().units;
    m_ui->thresholdsListWidget->hide();
}

UserDetailsWidget::~UserDetailsWidget() = default;

void UserDetailsWidget::setUser(SharedUser user)
{
    // Takes in what another program stored meanwhile, before anything is shown.
    VDB::DataBase::instance()->refreshDoseRecord();
    m_user = user;
    m_unitsShown = VDB::DataBase::instance()->options().units;
    fillHead();
    updateThresholds();
    refill(DayPart | MonthPart | YearPart | PeriodPart);
}

void UserDetailsWidget::refreshAfterHistory()
{
    updateThresholds();
    refill(DayPart | MonthPart | YearPart);
}

void UserDetailsWidget::refreshDoseRecord()
{
    updateThresholds();
    refill(MonthPart | YearPart | PeriodPart);
}

void UserDetailsWidget::fillHead()
{
    if (!m_user)
        return;
    const QString name = m_user->fullName().toHtmlEscaped();
    m_ui->userName->setText(m_user->canUseDevice ? QStringLiteral("%1").arg(name)
                                                 : QStringLiteral("<s>%1</s>").arg(name));
    m_ui->userName->setToolTip(m_user->fullName());

    QPixmap photo = m_user->photo;
    if (photo.isNull())
        photo = QPixmap(QStringLiteral(":/images/resources/pics/blank_user.png"));
    if (!photo.isNull())
        photo = photo.scaled(m_ui->userPicture->size() - QSize(4, 4), Qt::KeepAspectRatio,
                             Qt::SmoothTransformation);
    m_ui->userPicture->setPixmap(photo);

    m_ui->isOperatorLabel->setVisible(m_user->role == 1 || m_user->role == 2);

    m_ui->commentLabel->setText(m_user->comment);
    m_ui->commentLabel->setToolTip(m_user->comment);
    m_ui->commentLabel->setVisible(!m_user->comment.isEmpty());

    if (m_user->device) {
        const QString typeName = m_user->device->type ? m_user->device->type->name : QString();
        const QString device = QStringLiteral("%1 #%2").arg(typeName).arg(m_user->device->serial);
        // A long device name is shortened on the button, not the tree beside
        // the page; the serial number always shows whole, the whole caption
        // stays in the tool tip.
        const QFontMetrics metrics(m_ui->deviceButton->font());
        const QString shortName
            = metrics.elidedText(typeName, Qt::ElideMiddle, 24 * metrics.averageCharWidth());
        const QString caption = tr("Обработать данные для '%1 #%2'");
        m_ui->deviceButton->setText(caption.arg(shortName).arg(m_user->device->serial));
        m_ui->deviceButton->setToolTip(caption.arg(typeName).arg(m_user->device->serial));
        m_ui->deviceButton->setIcon(QIcon(QStringLiteral(":/icons/device")));
        m_ui->deviceDescriptionlabel->setText(device);
    } else {
        m_ui->deviceButton->setText(tr("Назначить прибор"));
        m_ui->deviceButton->setToolTip(QString());
        m_ui->deviceButton->setIcon(QIcon(QStringLiteral(":/icons/device_add")));
        m_ui->deviceDescriptionlabel->setText(tr("Не назначен"));
    }
    m_ui->deviceButton->setEnabled(m_user->canUseDevice);
}

void UserDetailsWidget::beforeShowUserMenu()
{
    const QVariant data = QVariant::fromValue(m_user);
    if (m_editUserAction)
        m_editUserAction->setData(data);
    if (m_delUserAction)
        m_delUserAction->setData(data);
}

void UserDetailsWidget::deviceButtonClicked()
{
    if (!m_user)
        return;
    if (m_user->device) {
        ReadHistoryDialog dialog(m_user, this);
        dialog.exec();
        return;
    }
    if (!checkAccess(AccessOperation::AssignDevice, this))
        return;
    // A user over a limit gets a device only when the operator goes on anyway.
    if (ThresholdEvaluator::userExceedsAny(m_user)) {
        ExceededThreshouldsDialog exceeded(true, this);
        if (exceeded.exec() != QDialog::Accepted)
            return;
    }
    FindDeviceDialog finder(this);
    if (finder.exec() != QDialog::Accepted || !finder.connection()
        || !finder.connection()->hasDevice())
        return;
    DeviceAssignmentDialog assignment(finder.connection(), m_user, this);
    assignment.exec();
}

void UserDetailsWidget::changeDay()
{
    const int step = sender() == m_ui->nextDayPushButton ? 1 : -1;
    m_ui->dayDateEdit->setDate(m_ui->dayDateEdit->date().addDays(step));
}

void UserDetailsWidget::updateUnitHeadings()
{
    // The doses are in the unit of the options; the rates stay in µSv/h, as
    // the dosimeter gives them.
    m_ui->historyTableWidget->horizontalHeaderItem(DoseColumn)
        ->setText(tr("ЭД, %1").arg(DoseUnits::currentMilliUnitName()));
}

void UserDetailsWidget::optionsChanged()
{
    updateThresholds();
    updateUnitHeadings();
    // The day table and the totals hold doses in the display unit: after a
    // unit change they are read again, or they show old numbers under the
    // new unit.
    const int units = VDB::DataBase::instance()->options().units;
    if (units == m_unitsShown)
        return;
    m_unitsShown = units;
    refill(DayPart | MonthPart | YearPart | PeriodPart);
}

void UserDetailsWidget::updateThresholds()
{
    ThresholdsWidget *bars = m_ui->thresholdsListWidget;
    bars->clear();
    bars->hide();
    if (!m_user)
        return;
    VDB::DataBase *db = VDB::DataBase::instance();
    const QList<SharedThreshold> thresholds = db->thresholds();
    for (const SharedThreshold &threshold : thresholds) {
        if (!threshold->isUser)
            continue;
        bars->show();
        const double sum = ThresholdEvaluator::userSum(*threshold, m_user);
        bars->addBar(threshold->name, db->options().edColor(threshold->channel),
                     ThresholdEvaluator::fillPercentage(sum, threshold->value), sum,
                     threshold->value);
    }
}

void UserDetailsWidget::refillDayHistory()
{
    refill(DayPart);
}

void UserDetailsWidget::fillHistoryTable(const QList<VDB::Event> &events)
{
    QTableWidget *table = m_ui->historyTableWidget;
    const bool sorting = table->isSortingEnabled();
    table->setSortingEnabled(false);
    table->clearContents();
    table->setRowCount(events.size());
    int row = 0;
    for (const VDB::Event &event : events) {
        const QString typeName = event.deviceType ? event.deviceType->name : QString();
        table->setItem(row, 0,
                       new SortKeyItem(RussianFormat::recordTime(event.dateTime), event.dateTime));
        table->setItem(
            row, 1,
            new QTableWidgetItem(QStringLiteral("%1 #%2").arg(typeName).arg(event.deviceSerial)));
        if (event.eventType == VDB::EventDeviceAssigned
            || event.eventType == VDB::EventDeviceReleased) {
            // Not a reading: no dose, rate or record number to show.
            for (int column = 2; column <= 4; ++column)
                table->setItem(row, column, new SortKeyItem(QString(), -1));
            table->setItem(row, 5,
                           new QTableWidgetItem(event.eventType == VDB::EventDeviceAssigned
                                                    ? tr("Прибор назначен")
                                                    : tr("Прибор снят")));
        } else {
            table->setItem(row, 2,
                           new SortKeyItem(QString::number(event.value, 'f', 3), event.value));
            table->setItem(
                row, 3, new SortKeyItem(QString::number(event.medValue, 'f', 2), event.medValue));
            table->setItem(row, 4,
                           new SortKeyItem(QString::number(event.eventNumber), event.eventNumber));
            table->setItem(row, 5, new QTableWidgetItem(stateText(event)));
        }
        table->setItem(row, 6, new QTableWidgetItem(event.comment));
        ++row;
    }
    table->setSortingEnabled(sorting);
}

void UserDetailsWidget::updateMonthChart()
{
    refill(MonthPart);
}

void UserDetailsWidget::updateYearChart()
{
    refill(YearPart);
}

void UserDetailsWidget::updateRangeChart()
{
    refill(PeriodPart);
}

UserDetailsWidget::Window UserDetailsWidget::window(Part part) const
{
    switch (part) {
    case DayPart:
        return {m_ui->dayDateEdit->date(), m_ui->dayDateEdit->date()};
    case MonthPart: {
        const QDate date = m_ui->monthDateEdit->date();
        const QDate first(date.year(), date.month(), 1);
        return {first, first.addMonths(1).addDays(-1)};
    }
    case YearPart: {
        const int year = m_ui->yearDateEdit->date().year();
        return {QDate(year, 1, 1), QDate(year, 12, 31)};
    }
    case PeriodPart:
        break;
    }
    return {m_ui->startDateEdit->date(), m_ui->endDateEdit->date()};
}

void UserDetailsWidget::refill(int parts)
{
    if (!m_user)
        return;
    VDB::DataBase *db = VDB::DataBase::instance();
    if (parts & DayPart) {
        const Window day = window(DayPart);
        QList<VDB::Event> events;
        db->userEvents(events, day.first, day.last, m_user);
        fillHistoryTable(events);
        feedChart(m_ui->dayChartWidget, events, day.first, day.last);
    }

    // The other tabs chart the dose of record per day or month: one read for
    // the span of their windows, shared out in memory.
    QList<Part> chosen;
    for (Part part : {MonthPart, YearPart, PeriodPart}) {
        if (parts & part)
            chosen.append(part);
    }
    if (chosen.isEmpty())
        return;
    QDate first = window(chosen.first()).first;
    QDate last = window(chosen.first()).last;
    for (Part part : qAsConst(chosen)) {
        first = qMin(first, window(part).first);
        last = qMax(last, window(part).last);
    }
    const QVector<DayDose> days = db->userDailyDoses(m_user, first, last);
    for (Part part : qAsConst(chosen)) {
        const Window w = window(part);
        const QVector<DayDose> shown = w.last < w.first
            ? QVector<DayDose>()
            : days.mid(int(first.daysTo(w.first)), int(w.first.daysTo(w.last)) + 1);
        switch (part) {
        case MonthPart:
            feedDoseChart(m_ui->monthChartWidget, m_ui->monthTotalLabel, shown, w, false);
            break;
        case YearPart:
            feedDoseChart(m_ui->yearChartWidget, m_ui->yearTotalLabel, shown, w, true);
            break;
        default:
            feedDoseChart(m_ui->rangeChartWidget, m_ui->periodTotalLabel, shown, w, false);
            break;
        }
    }
}

void UserDetailsWidget::feedDoseChart(ChartWidget *chart, QLabel *totalLabel,
                                      const QVector<DayDose> &days, const Window &w, bool perMonth)
{
    ChartWidget::Series doses;
    ChartWidget::Series rates;
    double total = 0;
    double width = 86400;
    if (!perMonth) {
        for (const DayDose &day : days) {
            const QDateTime noon(day.day, QTime(12, 0));
            doses.append({noon, day.dose});
            if (day.maxRate >= 0)
                rates.append({noon, day.maxRate});
            total += day.dose;
        }
    } else {
        width = 28 * 86400.0;
        for (int i = 0; i < days.size();) {
            const QDate month(days.at(i).day.year(), days.at(i).day.month(), 1);
            double dose = 0;
            double rate = -1;
            for (; i < days.size() && days.at(i).day < month.addMonths(1); ++i) {
                dose += days.at(i).dose;
                rate = qMax(rate, days.at(i).maxRate);
            }
            const QDateTime start(month, QTime(0, 0));
            const QDateTime middle
                = start.addSecs(start.secsTo(QDateTime(month.addMonths(1), QTime(0, 0))) / 2);
            doses.append({middle, dose});
            if (rate >= 0)
                rates.append({middle, rate});
            total += dose;
        }
    }
    const QDateTime from(w.first, QTime(0, 0));
    const QDateTime to(w.last.addDays(1), QTime(0, 0));
    chart->setBarData(doses, width, from, to);
    chart->setRateData(rates, from, to);
    totalLabel->setText(tr("Итого: %1").arg(DoseText::withUnit(total)));
}

void UserDetailsWidget::feedChart(ChartWidget *chart, const QList<VDB::Event> &events,
                                  const QDate &first, const QDate &last)
{
    ChartWidget::Series dose;
    ChartWidget::Series rate;
    dose.reserve(events.size());
    rate.reserve(events.size());
    // The list comes newest first; the chart wants the oldest first.
    for (auto it = events.crbegin(); it != events.crend(); ++it) {
        if (it->eventType == VDB::EventMeasurement) {
            dose.append({it->dateTime, it->value});
            // The rate as the device gave it, in µSv/h; the chart shows it in
            // the display milli-unit per hour. A record stored without a rate
            // reads back as 0 and would draw false drops to zero.
            if (it->medValue > 0)
                rate.append({it->dateTime, it->medValue});
        } else if (it->eventType == VDB::EventDose) {
            // A dose record puts its dose on the rate axis as it is.
            rate.append({it->dateTime, ChartWidget::microSvPerHour(it->value)});
        }
    }
    const QDateTime from(first, QTime(0, 0));
    const QDateTime to(last.addDays(1), QTime(0, 0));
    chart->setDoseData(dose, from, to);
    chart->setRateData(rate, from, to);
}

void UserDetailsWidget::printReport()
{
    // The button pressed picks the report; called otherwise, the tab shown.
    int tab = m_ui->tabWidget->currentIndex();
    const QObject *button = sender();
    if (button == m_ui->printDayButton)
        tab = DayTab;
    else if (button == m_ui->printMonthButton)
        tab = MonthTab;
    else if (button == m_ui->printYearButton)
        tab = YearTab;
    else if (button == m_ui->printPeriodButton)
        tab = PeriodTab;

    QtRPT report(this);
    const bool events = tab == DayTab;
    if (!report.loadReport(events
                               ? QStringLiteral(":/text/resources/data/reports/user_events.xml")
                               : QStringLiteral(":/text/resources/data/reports/user_dose.xml"))) {
        QMessageBox::critical(this, tr("Ошибка"), tr("Не удалось загрузить шаблон отчёта"));
        return;
    }
    if (events)
        report.recordCount.append(m_ui->historyTableWidget->rowCount());
    connect(&report, &QtRPT::setValue, this, &UserDetailsWidget::getValue);
    connect(&report, &QtRPT::setValueImage, this, &UserDetailsWidget::getValueImage);

    QString title = tr("Отчёт по пользователю ");
    switch (tab) {
    case DayTab:
        title += tr("(за день)");
        break;
    case MonthTab:
        title += tr("(за месяц)");
        break;
    case YearTab:
        title += tr("(за год)");
        break;
    default:
        title += tr("(за период)");
        break;
    }
    report.printExec(false, false, QString(), title);
}

void UserDetailsWidget::getValue(const int recNo, const QString paramName, QVariant &paramValue,
                                 const int reportPage)
{
    Q_UNUSED(reportPage)
    const int tab = m_ui->tabWidget->currentIndex();
    if (paramName == QLatin1String("doseUnit")) {
        paramValue = DoseUnits::currentMilliUnitName();
    } else if (paramName == QLatin1String("total")) {
        // The dose of the tab's window, as the page says it beside the chart.
        const QLabel *totals[]
            = {nullptr, m_ui->monthTotalLabel, m_ui->yearTotalLabel, m_ui->periodTotalLabel};
        if (tab > DayTab && tab <= PeriodTab)
            paramValue = totals[tab]->text();
    } else if (paramName == QLatin1String("userName")) {
        if (m_user)
            paramValue = m_user->fullName();
    } else if (paramName == QLatin1String("details")) {
        switch (tab) {
        case DayTab:
            paramValue = tr("Отчёт за день");
            break;
        case MonthTab:
            paramValue = tr("Месячная доза");
            break;
        case YearTab:
            paramValue = tr("Годовая доза");
            break;
        case PeriodTab:
            paramValue = tr("Доза за период");
            break;
        }
    } else if (paramName == QLatin1String("date")) {
        switch (tab) {
        case DayTab:
            paramValue = RussianFormat::date(m_ui->dayDateEdit->date());
            break;
        case MonthTab: {
            paramValue = RussianFormat::month(m_ui->monthDateEdit->date());
            break;
        }
        case YearTab:
            paramValue = QString::number(m_ui->yearDateEdit->date().year());
            break;
        case PeriodTab:
            paramValue
                = RussianFormat::period(m_ui->startDateEdit->date(), m_ui->endDateEdit->date());
            break;
        }
    } else if (tab == DayTab) {
        static const QStringList columns {QStringLiteral("time"), QStringLiteral("device"),
                                          QStringLiteral("event"), QStringLiteral("value"),
                                          QStringLiteral("channel")};
        const int column = columns.indexOf(paramName);
        QTableWidget *table = m_ui->historyTableWidget;
        if (column < 0 || recNo < 0 || recNo >= table->rowCount())
            return;
        // The rows as the operator sees them, in the table's current order.
        const int row = table->verticalHeader()->logicalIndex(recNo);
        if (const QTableWidgetItem *item = table->item(row, column))
            paramValue = item->text();
    }
}

void UserDetailsWidget::getValueImage(int recNo, QString paramName, QImage &paramValue,
                                      int reportPage)
{
    Q_UNUSED(recNo)
    Q_UNUSED(reportPage)
    if (paramName != QLatin1String("graph"))
        return;
    ChartWidget *const charts[] = {m_ui->dayChartWidget, m_ui->monthChartWidget,
                                   m_ui->yearChartWidget, m_ui->rangeChartWidget};
    const int tab = m_ui->tabWidget->currentIndex();
    if (tab >= 0 && tab < 4)
        paramValue = charts[tab]->reportImage(sender());
}

void UserDetailsWidget::exportDayTable()
{
    const QString name = m_user ? m_user->fullName() : QString();
    TableCsvExport::exportTable(
        m_ui->historyTableWidget, this,
        QStringLiteral("%1 %2").arg(name, m_ui->dayDateEdit->date().toString(Qt::ISODate)));
}

void UserDetailsWidget::printDoseCard()
{
    if (!m_user)
        return;
    DoseCardReport report {DoseCard(m_user)};
    report.preview(this);
}
