#include "dose/AnnualDoseDialog.h"
#include "ui_AnnualDoseDialog.h"

#include "db/DataBase.h"
#include "db/DoseUnits.h"
#include "dose/AnnualBandsReport.h"
#include "dose/AnnualDosesReport.h"
#include "dose/DoseTableItem.h"
#include "dose/DoseText.h"
#include "report/TableCsvExport.h"
#include "report/RussianFormat.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>

namespace {

const QColor OverAnnualColor(255, 243, 176);
const QColor OverLimitColor(255, 200, 200);

} // namespace

AnnualDoseDialog::AnnualDoseDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::AnnualDoseDialog)
    , m_summary(VDB::DataBase::instance()->today().year())
{
    m_ui->setupUi(this);
    setLocale(RussianFormat::locale());
    m_ui->buttonBox->button(QDialogButtonBox::Close)->setText(tr("Закрыть"));

    VDB::DataBase *db = VDB::DataBase::instance();
    m_ui->yearSpinBox->setValue(m_summary.year());
    m_ui->groupComboBox->addItem(tr("Все пользователи"));
    for (const SharedGroup &group : db->groups())
        m_ui->groupComboBox->addItem(group->name, QVariant::fromValue(group));

    QTableWidget *annual = m_ui->annualTable;
    annual->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_ui->bandsTable->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_ui->bandsTable->setColumnCount(3);
    // Thirteen columns of doses want the whole width of a small screen.
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        resize(qMin(1340, screen->availableGeometry().width() - 20), height());

    connect(m_ui->yearSpinBox, qOverload<int>(&QSpinBox::valueChanged), this,
            &AnnualDoseDialog::refill);
    connect(m_ui->groupComboBox, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &AnnualDoseDialog::refill);
    connect(m_ui->printButton, &QPushButton::clicked, this, &AnnualDoseDialog::printReport);
    connect(m_ui->exportButton, &QPushButton::clicked, this, &AnnualDoseDialog::exportTable);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(annual, &QTableWidget::cellDoubleClicked, this, &AnnualDoseDialog::rowActivated);
    connect(db, &VDB::DataBase::doseRecordChanged, this, &AnnualDoseDialog::refill);
    connect(db, &VDB::DataBase::historyAdded, this, &AnnualDoseDialog::refill);
    connect(db, &VDB::DataBase::optionsChanged, this, &AnnualDoseDialog::refill);
    fillAnnualTable();
    fillBandsTable();
}

AnnualDoseDialog::~AnnualDoseDialog() = default;

SharedGroup AnnualDoseDialog::chosenGroup() const
{
    return m_ui->groupComboBox->currentData().value<SharedGroup>();
}

void AnnualDoseDialog::refill()
{
    m_summary = AnnualDoseSummary(m_ui->yearSpinBox->value(), chosenGroup());
    fillAnnualTable();
    fillBandsTable();
}

void AnnualDoseDialog::fillAnnualTable()
{
    QTableWidget *table = m_ui->annualTable;
    const bool sorting = table->isSortingEnabled();
    table->setSortingEnabled(false);
    table->clear();
    const int year = m_summary.year();
    QStringList headers {tr("Пользователь")};
    for (int month = 1; month <= 12; ++month)
        headers << DoseText::shortMonth(month);
    headers << tr("За год") << tr("%1–%2").arg(year - 4).arg(year) << tr("Всего")
            << tr("Превышение");
    table->setColumnCount(headers.size());
    table->setHorizontalHeaderLabels(headers);
    table->setRowCount(m_summary.rows().size());
    int row = 0;
    for (const AnnualDoseSummary::Row &data : m_summary.rows()) {
        auto *name = new QTableWidgetItem(data.user->fullName());
        name->setData(Qt::UserRole, QVariant::fromValue(data.user));
        table->setItem(row, NameColumn, name);
        for (int month = 0; month < 12; ++month)
            table->setItem(
                row, month + 1,
                new DoseTableItem(DoseText::number(data.months.at(month)), data.months.at(month)));
        table->setItem(row, YearColumn, new DoseTableItem(DoseText::number(data.year), data.year));
        table->setItem(row, FiveYearsColumn,
                       new DoseTableItem(DoseText::number(data.fiveYears), data.fiveYears));
        table->setItem(row, LifetimeColumn,
                       new DoseTableItem(DoseText::number(data.lifetime), data.lifetime));
        table->setItem(row, MarkColumn,
                       new QTableWidgetItem(AnnualDoseSummary::markText(data.marks)));
        if (data.marks) {
            const QColor color
                = data.marks == AnnualDoseSummary::OverAnnual ? OverAnnualColor : OverLimitColor;
            for (int column = 0; column < table->columnCount(); ++column)
                table->item(row, column)->setBackground(color);
        }
        ++row;
    }
    table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    table->setSortingEnabled(sorting);
    table->resizeColumnsToContents();
    table->setColumnWidth(NameColumn, qMax(table->columnWidth(NameColumn), 180));

    m_ui->summaryLabel->setText(
        tr("Дозы в %1. Лиц с дозой за %2 год: %3, коллективная доза %4. %5.")
            .arg(DoseUnits::currentMilliUnitName())
            .arg(year)
            .arg(m_summary.wearers())
            .arg(DoseText::withUnit(m_summary.collectiveDose()), AnnualDoseSummary::limitsText()));
}

void AnnualDoseDialog::fillBandsTable()
{
    QTableWidget *table = m_ui->bandsTable;
    table->setHorizontalHeaderLabels(
        {tr("Годовая доза, мЗв"), tr("Число лиц"),
         tr("Коллективная доза, чел.·%1").arg(DoseUnits::currentMilliUnitName())});
    const QList<AnnualDoseSummary::Band> &bands = m_summary.bands();
    table->setRowCount(bands.size() + 1);
    for (int row = 0; row <= bands.size(); ++row) {
        const bool total = row == bands.size();
        const QString name = total ? tr("Всего") : bands.at(row).name;
        const int persons = total ? m_summary.wearers() : bands.at(row).persons;
        const double dose = total ? m_summary.collectiveDose() : bands.at(row).collectiveDose;
        table->setItem(row, 0, new QTableWidgetItem(name));
        table->setItem(row, 1, new DoseTableItem(QString::number(persons), persons));
        table->setItem(row, 2, new DoseTableItem(DoseText::number(dose), dose));
        if (total) {
            for (int column = 0; column < 3; ++column) {
                QFont font = table->item(row, column)->font();
                font.setBold(true);
                table->item(row, column)->setFont(font);
            }
        }
    }
    table->resizeColumnsToContents();
    table->setColumnWidth(0, qMax(table->columnWidth(0), 160));
    table->setColumnWidth(2, qMax(table->columnWidth(2), 240));
}

void AnnualDoseDialog::printReport()
{
    if (m_ui->tabWidget->currentIndex() == BandsTab) {
        AnnualBandsReport report(m_summary);
        report.preview(this);
    } else {
        AnnualDosesReport report(m_summary);
        report.preview(this);
    }
}

void AnnualDoseDialog::exportTable()
{
    const bool bands = m_ui->tabWidget->currentIndex() == BandsTab;
    const QString name = bands ? tr("Распределение по дозам %1").arg(m_summary.year())
                               : tr("Дозы за %1 год").arg(m_summary.year());
    TableCsvExport::save(bands ? m_summary.bandsCsv() : m_summary.annualCsv(), this, name);
}

void AnnualDoseDialog::rowActivated(int row)
{
    const QTableWidgetItem *item = m_ui->annualTable->item(row, NameColumn);
    const SharedUser user = item ? item->data(Qt::UserRole).value<SharedUser>() : SharedUser();
    if (!user)
        return;
    emit userSelected(user);
    accept();
}
