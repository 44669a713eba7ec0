#include "ui/GroupsAndUsersSummaryWidget.h"

#include "report/TableCsvExport.h"
#include "ui_GroupsAndUsersSummaryWidget.h"

#include <QHeaderView>
#include <QLabel>
#include <QPixmap>
#include <QStyle>

namespace {

enum Column { NameColumn, UsersColumn, DeviceLinkColumn, DeviceSettingsColumn, SettingsColumn };

// Group rights shown as ticks, by column.
const int rightColumns[] = {DeviceLinkColumn, DeviceSettingsColumn, SettingsColumn};
const int rightBits[] = {1, 2, 4};

} // namespace

GroupsAndUsersSummaryWidget::GroupsAndUsersSummaryWidget(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::GroupsAndUsersSummaryWidget)
{
    ui->setupUi(this);
    TableCsvExport::addContextAction(ui->summaryTableWidget, tr("Группы"));
    QTableWidget *table = ui->summaryTableWidget;
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Never narrower than the header text, whose width depends on the platform's font.
    const int widths[] = {140, 105, 135, 130, 140};
    QHeaderView *header = table->horizontalHeader();
    const int margins = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) + 4;
    for (int column = 0; column < 5; ++column) {
        const QString text = table->horizontalHeaderItem(column)->text();
        const int textWidth = header->fontMetrics().horizontalAdvance(text) + margins;
        table->setColumnWidth(column, qMax(widths[column], textWidth));
    }

    refillSummary();

    connect(ui->addGroupButton, &QPushButton::clicked, this,
            &GroupsAndUsersSummaryWidget::addGroup);
    connect(ui->removeGroupButton, &QPushButton::clicked, this,
            &GroupsAndUsersSummaryWidget::btnDelClicked);
    connect(table, &QTableWidget::itemSelectionChanged, this,
            &GroupsAndUsersSummaryWidget::selectionChanged);

    VDB::DataBase *db = VDB::DataBase::instance();
    connect(db, &VDB::DataBase::userAdded, this, &GroupsAndUsersSummaryWidget::userAdded);
    connect(db, &VDB::DataBase::userUpdated, this, &GroupsAndUsersSummaryWidget::userUpdated);
    connect(db, &VDB::DataBase::userDeleted, this, &GroupsAndUsersSummaryWidget::userDeleted);
    connect(db, &VDB::DataBase::groupAdded, this, &GroupsAndUsersSummaryWidget::groupAdded);
    connect(db, &VDB::DataBase::groupUpdated, this, &GroupsAndUsersSummaryWidget::groupUpdated);
    connect(db, &VDB::DataBase::groupDeleted, this, &GroupsAndUsersSummaryWidget::groupDeleted);
}

GroupsAndUsersSummaryWidget::~GroupsAndUsersSummaryWidget() = default;

void GroupsAndUsersSummaryWidget::btnDelClicked()
{
    QTableWidget *table = ui->summaryTableWidget;
    const int row = table->currentRow();
    if (row < 0)
        return;
    const QTableWidgetItem *item = table->item(row, NameColumn);
    if (!item)
        return;
    emit delGroup(item->data(Qt::UserRole).value<SharedGroup>());
}

void GroupsAndUsersSummaryWidget::selectionChanged()
{
    ui->removeGroupButton->setEnabled(ui->summaryTableWidget->currentItem() != nullptr);
}

void GroupsAndUsersSummaryWidget::userAdded(SharedUser)
{
    refillSummary();
}

void GroupsAndUsersSummaryWidget::userUpdated(SharedUser)
{
    refillSummary();
}

void GroupsAndUsersSummaryWidget::userDeleted(SharedUser)
{
    refillSummary();
}

void GroupsAndUsersSummaryWidget::groupAdded(SharedGroup)
{
    refillSummary();
}

void GroupsAndUsersSummaryWidget::groupUpdated(SharedGroup)
{
    refillSummary();
}

void GroupsAndUsersSummaryWidget::groupDeleted(SharedGroup)
{
    refillSummary();
}

void GroupsAndUsersSummaryWidget::refillSummary()
{
    const QPixmap tick(QStringLiteral(":/icons/tick"));
    QTableWidget *table = ui->summaryTableWidget;
    const bool sorting = table->isSortingEnabled();
    table->setSortingEnabled(false);

    // Dropping the old rows also drops their tick widgets.
    const QList<SharedGroup> groups = VDB::DataBase::instance()->groups();
    table->setRowCount(0);
    table->setRowCount(groups.size());
    for (int row = 0; row < groups.size(); ++row) {
        const SharedGroup &group = groups.at(row);
        auto *name = new QTableWidgetItem(group->name);
        name->setData(Qt::UserRole, QVariant::fromValue(group));
        table->setItem(row, NameColumn, name);

        // Held as a number so that the column sorts by count; shown as "%1".
        auto *count = new QTableWidgetItem;
        count->setData(Qt::DisplayRole, group->users.size());
        table->setItem(row, UsersColumn, count);

        for (int right = 0; right < 3; ++right) {
            if (!(group->access & rightBits[right]))
                continue;
            auto *label = new QLabel;
            label->setPixmap(tick);
            label->setAlignment(Qt::AlignCenter);
            table->setCellWidget(row, rightColumns[right], label);
        }
    }

    table->setSortingEnabled(sorting);
    selectionChanged();
}
