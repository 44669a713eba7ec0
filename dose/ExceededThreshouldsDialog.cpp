#include "dose/ExceededThreshouldsDialog.h"
#include "ui_ExceededThreshouldsDialog.h"

#include "db/DoseUnits.h"
#include "db/Group.h"
#include "db/Threshold.h"
#include "db/User.h"
#include "dose/ThresholdEvaluator.h"
#include "report/TableCsvExport.h"

#include <algorithm>

namespace {

// A dose cell: shows the prefixed text, sorts by the dose itself.
class DoseItem : public QTableWidgetItem
{
public:
    explicit DoseItem(double dose)
        : QTableWidgetItem(DoseUnits::formatScaled(dose, 4))
    {
        setData(Qt::UserRole, dose);
    }

    bool operator<(const QTableWidgetItem &other) const override
    {
        if (other.data(Qt::UserRole).isValid())
            return data(Qt::UserRole).toDouble() < other.data(Qt::UserRole).toDouble();
        return QTableWidgetItem::operator<(other);
    }
};

} // namespace

ExceededThreshouldsDialog::ExceededThreshouldsDialog(bool showContinueButton, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::ExceededThreshouldsDialog)
{
    ui->setupUi(this);
    TableCsvExport::addContextAction(ui->thresholdsTable, tr("Превышение порогов"));
    QHeaderView *header = ui->thresholdsTable->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    const int widths[] = {250, 170, 100, 100};
    for (int column = 0; column < 4; ++column)
        ui->thresholdsTable->setColumnWidth(column, widths[column]);
    ui->continueButton->setStyleSheet(QStringLiteral("color: red"));
    ui->continueButton->setVisible(showContinueButton);
    connect(ui->continueButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->closeButton, &QPushButton::clicked, this, &QDialog::reject);
    fillTable();
}

ExceededThreshouldsDialog::~ExceededThreshouldsDialog() = default;

void ExceededThreshouldsDialog::fillTable()
{
    const QList<ThresholdEvaluator::Exceedance> rows = ThresholdEvaluator::scan();
    QTableWidget *table = ui->thresholdsTable;
    const bool sorting = table->isSortingEnabled();
    table->setSortingEnabled(false);
    for (const ThresholdEvaluator::Exceedance &row : rows) {
        const QString subject = row.user ? tr("Пользователь: %1").arg(row.user->fullName())
                                         : tr("Группа: %1").arg(row.group->name);
        const int index = table->rowCount();
        table->insertRow(index);
        table->setItem(index, 0, new QTableWidgetItem(subject));
        table->setItem(index, 1, new QTableWidgetItem(row.threshold->name));
        table->setItem(index, 2, new DoseItem(row.threshold->value));
        table->setItem(index, 3, new DoseItem(row.sum));
    }
    // The rows stay in the order of the scan until a header is clicked.
    table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    table->setSortingEnabled(sorting);

    // Dose cells are never cut short: their columns and the dialog grow.
    int grown = 0;
    for (int column : {2, 3}) {
        const int before = table->columnWidth(column);
        table->resizeColumnToContents(column);
        const int after = std::max(before, table->columnWidth(column));
        table->setColumnWidth(column, after);
        grown += after - before;
    }
    resize(width() + grown, height());
}
