#include "dose/GroupDetailsWidget.h"
#include "ui_GroupDetailsWidget.h"

#include "app/AccessCheck.h"
#include "db/DoseUnits.h"
#include "dose/ChartWidget.h"
#include "dose/ThresholdEvaluator.h"
#include "dose/ThresholdsWidget.h"
#include "dose/UserDetailsWidget.h"
#include "report/QtRPT.h"
#include "report/RussianFormat.h"
#include "report/TableCsvExport.h"

#include <QAction>
#include <QCalendarWidget>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>

namespace {

// Table item that sorts by a hidden key instead of its text: names under the
// link labels, doses by value.
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
        if (mine.type() == QVariant::String)
            return mine.toString().localeAwareCompare(theirs.toString()) < 0;
        return mine.toDouble() < theirs.toDouble();
    }

private:
    static constexpr int KeyRole = Qt::UserRole + 1;
};

} // namespace

GroupDetailsWidget::GroupDetailsWidget(QAction *addUserAction, QAction *editGroupAction,
                                       QAction *delGroupAction, QAction *deviceUsageAction,
                                       QWidget *parent)
    : QWidget(parent)
    , m_ui(new Ui::GroupDetailsWidget)
    , m_addUserAction(addUserAction)
    , m_editGroupAction(editGroupAction)
    , m_delGroupAction(delGroupAction)
    , m_deviceUsageAction(deviceUsageAction)
{
    m_ui->setupUi(this);
    TableCsvExport::addContextAction(m_ui->usersTableWidget, tr("Члены группы"));
    // Month names and calendars in Russian, like the rest of the program.
    setLocale(RussianFormat::locale());

    VDB::DataBase *db = VDB::DataBase::instance();
    const QDate now = db->today();
    m_ui->monthDateEdit->setDate(now);
    m_ui->yearDateEdit->setDate(now);
    m_ui->endDateEdit->setDate(now);
    m_ui->startDateEdit->setDate(now.addDays(-db->options().interval));
    for (QDateEdit *edit : {m_ui->startDateEdit, m_ui->endDateEdit})
        RussianFormat::setUpDateEdit(edit);

    QHeaderView *header = m_ui->usersTableWidget->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // No sort column until the operator picks one: members stay in group order.
    header->setSortIndicator(-1, Qt::AscendingOrder);
    // The sex column holds one icon; the style's minimum would widen it.
    header->setMinimumSectionSize(24);
    // The widths suit the usual small dialog font; a larger font widens a
    // column to its header (and sort arrow) rather than clipping it.
    QTableWidget *table = m_ui->usersTableWidget;
    const int widths[] = {110, 110, 140, 65, 35, 150};
    for (int column = 0; column < 6; ++column) {
        const int needed
            = header->fontMetrics().horizontalAdvance(table->horizontalHeaderItem(column)->text())
            + 24;
        table->setColumnWidth(column, qMax(widths[column], needed));
    }
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 8);
    // The charts get two thirds of the height, the members one.
    m_ui->mainSplitter->setSizes({1000, 2000});

    for (ChartWidget *chart :
         {m_ui->monthChartWidget, m_ui->yearChartWidget, m_ui->rangeChartWidget})
        chart->setStyle(ChartWidget::DoseStatistics);

    m_groupMenu = new QMenu(this);
    if (m_editGroupAction)
        m_groupMenu->addAction(m_editGroupAction);
    if (m_delGroupAction)
        m_groupMenu->addAction(m_delGroupAction);
    m_groupMenu->addSeparator();
    if (m_addUserAction)
        m_groupMenu->addAction(m_addUserAction);
    if (m_deviceUsageAction)
        m_groupMenu->addAction(m_deviceUsageAction);
    m_ui->groupMenuButton->setMenu(m_groupMenu);

    m_ui->delUsersButton->setEnabled(false);
    m_ui->thresholdsListWidget->hide();

    connect(m_groupMenu, &QMenu::aboutToShow, this, &GroupDetailsWidget::beforeShowGroupMenu);
    connect(m_ui->delUsersButton, &QPushButton::clicked, this,
            &GroupDetailsWidget::dellUsersButtonClicked);
    connect(m_ui->usersTableWidget, &QTableWidget::itemSelectionChanged, this,
            &GroupDetailsWidget::selectionChanged);
    connect(m_ui->monthDateEdit, &QDateEdit::dateChanged, this,
            &GroupDetailsWidget::updateMonthChart);
    connect(m_ui->yearDateEdit, &QDateEdit::dateChanged, this,
            &GroupDetailsWidget::updateYearChart);
    connect(m_ui->startDateEdit, &QDateEdit::dateChanged, this,
            &GroupDetailsWidget::updateRangeChart);
    connect(m_ui->endDateEdit, &QDateEdit::dateChanged, this,
            &GroupDetailsWidget::updateRangeChart);
    for (QPushButton *button :
         {m_ui->printMonthButton, m_ui->printYearButton, m_ui->printPeriodButton})
        connect(button, &QPushButton::clicked, this, &GroupDetailsWidget::printReport);
    connect(db, &VDB::DataBase::thresholdsUpdated, this, &GroupDetailsWidget::updateThresholds);
    connect(db, &VDB::DataBase::optionsChanged, this, &GroupDetailsWidget::optionsChanged);
    // Another way of counting, or records another program stored: the same
    // refresh as a new unit.
    connect(db, &VDB::DataBase::doseRecordChanged, this, &GroupDetailsWidget::optionsChanged);
}

GroupDetailsWidget::~GroupDetailsWidget() = default;

double GroupDetailsWidget::monthDose(const SharedUser &user)
{
    // The dose window ends with today and reaches back `period` days, so a
    // period of (day of month - 1) starts on the first of the month.
    VDB::DataBase *db = VDB::DataBase::instance();
    return db->userDose(quint16(db->today().day() - 1), user);
}

void GroupDetailsWidget::setGroup(SharedGroup group)
{
    if (group != m_group)
        VDB::DataBase::instance()->refreshDoseRecord();
    const bool sameGroup = group == m_group;
    m_group = group;
    if (!m_group)
        return;

    m_ui->groupNameLabel->setText(m_group->name);
    m_ui->groupNameLabel->setToolTip(m_group->name);
    m_ui->groupDescriptionLabel->setText(m_group->description);
    m_ui->groupDescriptionLabel->setToolTip(m_group->description);
    m_ui->groupDescriptionLabel->setVisible(!m_group->description.isEmpty());
    m_ui->usersCountLabel->setText(QStringLiteral("%1").arg(m_group->users.size()));

    // A member of another group, or one who left this group, is no longer
    // charted; a refill of the same group keeps its member selected.
    const SharedUser keep
        = sameGroup && m_group->users.contains(m_selectedUser) ? m_selectedUser : SharedUser();
    fillUsersTable();
    if (keep) {
        for (int row = 0; row < m_ui->usersTableWidget->rowCount(); ++row) {
            if (userOfRow(row) == keep) {
                m_ui->usersTableWidget->selectRow(row);
                break;
            }
        }
    }
    showUserCharts(keep);
    updateThresholds();
}

void GroupDetailsWidget::fillUsersTable()
{
    QTableWidget *table = m_ui->usersTableWidget;
    const bool sorting = table->isSortingEnabled();
    table->setSortingEnabled(false);
    table->setRowCount(0);
    table->setRowCount(m_group->users.size());
    // One unit for the whole column, named in its heading.
    table->horizontalHeaderItem(MonthDoseColumn)
        ->setText(tr("Доза за месяц, %1").arg(DoseUnits::currentMilliUnitName()));
    int row = 0;
    for (const SharedUser &user : qAsConst(m_group->users)) {
        const QString name = user->fullName().toHtmlEscaped();
        const QString link = user->canUseDevice
            ? QStringLiteral("&nbsp;<a href=\"#user\">%1</a>").arg(name)
            : QStringLiteral("&nbsp;<s><a href=\"#user\">%1</a></s>").arg(name);
        auto *label = new QLabel(link);
        label->setTextFormat(Qt::RichText);
        label->setToolTip(user->fullName());
        connect(label, &QLabel::linkActivated, this, &GroupDetailsWidget::linkClicked);

        auto *nameItem = new SortKeyItem(QString(), user->fullName());
        nameItem->setData(Qt::UserRole, QVariant::fromValue(user));
        table->setItem(row, NameColumn, nameItem);
        table->setCellWidget(row, NameColumn, label);

        QString device;
        if (user->device)
            device = QStringLiteral("%1 #%2")
                         .arg(user->device->type ? user->device->type->name : QString())
                         .arg(user->device->serial);
        table->setItem(row, DeviceColumn, new QTableWidgetItem(device));

        const double dose = monthDose(user);
        table->setItem(row, MonthDoseColumn, new SortKeyItem(QString::number(dose, 'f', 3), dose));

        auto *operatorItem = new SortKeyItem(QString(), user->role == 1 || user->role == 2);
        if (user->role == 1 || user->role == 2)
            operatorItem->setIcon(QIcon(QStringLiteral(":/icons/tick")));
        table->setItem(row, OperatorColumn, operatorItem);

        auto *sexItem = new SortKeyItem(QString(), user->sex);
        sexItem->setIcon(QIcon(user->sex == 1 ? QStringLiteral(":/icons/male")
                                              : QStringLiteral(":/icons/female")));
        table->setItem(row, SexColumn, sexItem);

        table->setItem(row, CommentColumn, new QTableWidgetItem(user->comment));
        ++row;
    }
    table->setSortingEnabled(sorting);
}

SharedUser GroupDetailsWidget::userOfRow(int row) const
{
    const QTableWidgetItem *item = m_ui->usersTableWidget->item(row, NameColumn);
    return item ? item->data(Qt::UserRole).value<SharedUser>() : SharedUser();
}

void GroupDetailsWidget::beforeShowGroupMenu()
{
    const QVariant data = QVariant::fromValue(m_group);
    for (QAction *action :
         {m_editGroupAction, m_delGroupAction, m_addUserAction, m_deviceUsageAction}) {
        if (action)
            action->setData(data);
    }
}

void GroupDetailsWidget::linkClicked(const QString &)
{
    // The link's own row names the member: clicking a link does not make its
    // row current, so the current item may belong to another member.
    QTableWidget *table = m_ui->usersTableWidget;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->cellWidget(row, NameColumn) == sender()) {
            if (const SharedUser user = userOfRow(row))
                emit userSelected(user);
            return;
        }
    }
    if (const QTableWidgetItem *item = table->currentItem()) {
        if (const SharedUser user = userOfRow(item->row()))
            emit userSelected(user);
    }
}

void GroupDetailsWidget::selectionChanged()
{
    QList<QTableWidgetItem *> selected = m_ui->usersTableWidget->selectedItems();
    m_ui->delUsersButton->setEnabled(!selected.isEmpty());
    for (const QTableWidgetItem *item : qAsConst(selected)) {
        if (item->column() != NameColumn)
            continue;
        const SharedUser user = item->data(Qt::UserRole).value<SharedUser>();
        if (user != m_selectedUser)
            showUserCharts(user);
        return;
    }
}

void GroupDetailsWidget::showUserCharts(const SharedUser &user)
{
    m_selectedUser = user;
    // Empty charts say what fills them, until a member is chosen.
    for (ChartWidget *chart :
         {m_ui->monthChartWidget, m_ui->yearChartWidget, m_ui->rangeChartWidget})
        chart->setEmptyText(user ? QString() : tr("Выберите сотрудника в таблице"));
    refillCharts({m_ui->monthChartWidget, m_ui->yearChartWidget, m_ui->rangeChartWidget});
}

void GroupDetailsWidget::updateThresholds()
{
    ThresholdsWidget *bars = m_ui->thresholdsListWidget;
    if (!m_group || m_group->thresholds.isEmpty()) {
        bars->hide();
        return;
    }
    bars->clear();
    const Options &options = VDB::DataBase::instance()->options();
    for (const SharedThreshold &threshold : qAsConst(m_group->thresholds)) {
        const double sum = ThresholdEvaluator::groupSum(*threshold, m_group);
        bars->addBar(threshold->name, options.edColor(threshold->channel),
                     ThresholdEvaluator::fillPercentage(sum, threshold->value), sum,
                     threshold->value);
    }
    bars->show();
}

void GroupDetailsWidget::updateMonthChart()
{
    refillCharts({m_ui->monthChartWidget});
}

void GroupDetailsWidget::updateYearChart()
{
    refillCharts({m_ui->yearChartWidget});
}

void GroupDetailsWidget::updateRangeChart()
{
    refillCharts({m_ui->rangeChartWidget});
}

UserDetailsWidget::Window GroupDetailsWidget::windowOfTab(int tab) const
{
    ChartWidget *const charts[]
        = {m_ui->monthChartWidget, m_ui->yearChartWidget, m_ui->rangeChartWidget};
    return window(charts[qBound(0, tab, 2)]);
}

UserDetailsWidget::Window GroupDetailsWidget::window(const ChartWidget *chart) const
{
    if (chart == m_ui->monthChartWidget) {
        const QDate date = m_ui->monthDateEdit->date();
        const QDate first(date.year(), date.month(), 1);
        return {first, first.addMonths(1).addDays(-1)};
    }
    if (chart == m_ui->yearChartWidget) {
        const int year = m_ui->yearDateEdit->date().year();
        return {QDate(year, 1, 1), QDate(year, 12, 31)};
    }
    return {m_ui->startDateEdit->date(), m_ui->endDateEdit->date()};
}

void GroupDetailsWidget::refillCharts(const QList<ChartWidget *> &charts)
{
    // The member's dose of record per day, and its statistics over the days.
    QList<UserDetailsWidget::Window> windows;
    QDate first;
    QDate last;
    for (const ChartWidget *chart : charts) {
        const UserDetailsWidget::Window w = window(chart);
        windows.append(w);
        first = first.isValid() ? qMin(first, w.first) : w.first;
        last = last.isValid() ? qMax(last, w.last) : w.last;
    }
    QVector<DayDose> days;
    if (m_selectedUser)
        days = VDB::DataBase::instance()->userDailyDoses(m_selectedUser, first, last);
    for (int i = 0; i < charts.size(); ++i) {
        const UserDetailsWidget::Window &w = windows.at(i);
        ChartWidget::Series dose;
        for (const DayDose &day : qAsConst(days)) {
            if (day.day >= w.first && day.day <= w.last)
                dose.append({QDateTime(day.day, QTime(12, 0)), day.dose});
        }
        charts.at(i)->setDoseData(dose, QDateTime(w.first, QTime(0, 0)),
                                  QDateTime(w.last.addDays(1), QTime(0, 0)));
    }
}

void GroupDetailsWidget::optionsChanged()
{
    updateThresholds();
    // The month column and the member's charts hold doses in the display
    // unit; setGroup reads both again.
    if (m_group)
        setGroup(m_group);
}

void GroupDetailsWidget::dellUsersButtonClicked()
{
    if (!checkAccess(AccessOperation::DeleteUser, this))
        return;
    const QString question = tr("Удалить выбранное?");
    if (QMessageBox::question(this, question, question, QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No)
        != QMessageBox::Yes)
        return;

    QList<SharedUser> users;
    const QList<QTableWidgetItem *> selected = m_ui->usersTableWidget->selectedItems();
    for (const QTableWidgetItem *item : selected) {
        if (item->column() == NameColumn)
            users.append(item->data(Qt::UserRole).value<SharedUser>());
    }

    bool mainAdministrator = false;
    VDB::DataBase *db = VDB::DataBase::instance();
    for (const SharedUser &user : qAsConst(users)) {
        if (!user)
            continue;
        if (user->role == 1) {
            mainAdministrator = true;
            continue;
        }
        const OperationResult result = db->deleteUser(user);
        if (result.code == 2) {
            QMessageBox::warning(this, tr("Предупреждение"), result.message);
            return;
        }
        if (result.code != 0) {
            QMessageBox::warning(this, tr("Предупреждение"),
                                 tr("Не удалось удалить пользователя %1. Причина: \"%2\"")
                                     .arg(user->fullName(), result.message));
            return;
        }
    }
    if (mainAdministrator)
        QMessageBox::critical(this, tr("Внимание"),
                              tr("Невозможно удалить главного администратора"));
}

void GroupDetailsWidget::printReport()
{
    // The button pressed names the report; called otherwise, the tab shown.
    int tab = m_ui->tabWidget->currentIndex();
    const QObject *button = sender();
    if (button == m_ui->printMonthButton)
        tab = MonthTab;
    else if (button == m_ui->printYearButton)
        tab = YearTab;
    else if (button == m_ui->printPeriodButton)
        tab = PeriodTab;

    QtRPT report(this);
    if (!report.loadReport(QStringLiteral(":/text/resources/data/reports/group_dose.xml"))) {
        QMessageBox::critical(this, tr("Ошибка"), tr("Не удалось загрузить шаблон отчёта"));
        return;
    }
    // Every member with the dose of the tab's window, in the table's order.
    m_reportDoses
        = VDB::DataBase::instance()->userDoseTotals(windowOfTab(tab).first, windowOfTab(tab).last);
    report.recordCount.append(m_ui->usersTableWidget->rowCount());
    connect(&report, &QtRPT::setValue, this, &GroupDetailsWidget::getValue);
    connect(&report, &QtRPT::setValueImage, this, &GroupDetailsWidget::getValueImage);

    QString title = tr("Групповая доза ");
    switch (tab) {
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

void GroupDetailsWidget::getValue(const int recNo, const QString paramName, QVariant &paramValue,
                                  const int reportPage)
{
    Q_UNUSED(reportPage)
    const int tab = m_ui->tabWidget->currentIndex();
    QTableWidget *table = m_ui->usersTableWidget;
    if (paramName == QLatin1String("doseUnit")) {
        paramValue = DoseUnits::currentMilliUnitName();
    } else if (paramName == QLatin1String("groupTotal")) {
        double total = 0;
        for (int row = 0; row < table->rowCount(); ++row) {
            if (const SharedUser user = userOfRow(row))
                total += m_reportDoses.value(user->id);
        }
        paramValue = QString::number(total, 'f', 3);
    } else if (paramName.startsWith(QLatin1String("member"))) {
        if (recNo < 0 || recNo >= table->rowCount())
            return;
        // The rows as the operator sees them, in the table's current order.
        const SharedUser user = userOfRow(table->verticalHeader()->logicalIndex(recNo));
        if (!user)
            return;
        if (paramName == QLatin1String("memberName"))
            paramValue = user->fullName();
        else if (paramName == QLatin1String("memberDevice") && user->device)
            paramValue = QStringLiteral("%1 #%2")
                             .arg(user->device->type ? user->device->type->name : QString())
                             .arg(user->device->serial);
        else if (paramName == QLatin1String("memberDose"))
            paramValue = QString::number(m_reportDoses.value(user->id), 'f', 3);
    } else if (paramName == QLatin1String("groupName")) {
        if (m_group)
            paramValue = m_group->name;
    } else if (paramName == QLatin1String("details")) {
        switch (tab) {
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
        case MonthTab: {
            // The month on its own is named in the nominative ("март 2024").
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
    }
}

void GroupDetailsWidget::getValueImage(int recNo, QString paramName, QImage &paramValue,
                                       int reportPage)
{
    Q_UNUSED(recNo)
    Q_UNUSED(reportPage)
    if (paramName != QLatin1String("graph"))
        return;
    ChartWidget *const charts[]
        = {m_ui->monthChartWidget, m_ui->yearChartWidget, m_ui->rangeChartWidget};
    const int tab = m_ui->tabWidget->currentIndex();
    if (tab >= 0 && tab < 3)
        paramValue = charts[tab]->reportImage(sender());
}
