#include "ui/AuditDialog.h"
#include "ui_AuditDialog.h"

#include "db/AuditOperation.h"
#include "db/DataBase.h"
#include "report/TableCsvExport.h"
#include "ui/AuditReport.h"

#include <QAction>
#include <QHeaderView>
#include <QIcon>
#include <QMenu>
#include <QMessageBox>

AuditDialog::AuditDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::AuditDialog)
{
    m_ui->setupUi(this);
    VDB::DataBase *db = VDB::DataBase::instance();
    const QDate today = db->today();
    m_ui->fromDateEdit->setDate(today.addMonths(-1));
    m_ui->toDateEdit->setDate(today);
    m_ui->loginComboBox->addItem(tr("Все"));
    m_ui->loginComboBox->addItems(db->auditLogins());
    m_ui->operationComboBox->addItem(tr("Все"));
    for (const QString &code : VDB::AuditOperation::codes())
        m_ui->operationComboBox->addItem(VDB::AuditOperation::name(code), code);

    QTableWidget *table = m_ui->auditTableWidget;
    table->setColumnCount(ColumnCount);
    table->setHorizontalHeaderLabels({tr("Время"), tr("Оператор"), tr("Рабочее место"),
                                      tr("Операция"), tr("Объект"), tr("Подробности")});
    // One line a row: more of the trail in sight; the rest is in the tool tip.
    table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    const int widths[]
        = {fontMetrics().horizontalAdvance(QStringLiteral("00.00.0000 00:00:00")) + 16, 90, 110,
           190, 200};
    for (int column = 0; column < DetailsColumn; ++column)
        table->setColumnWidth(column, widths[column]);

    connect(m_ui->fromDateEdit, &QDateEdit::dateChanged, this, &AuditDialog::refill);
    connect(m_ui->toDateEdit, &QDateEdit::dateChanged, this, &AuditDialog::refill);
    connect(m_ui->loginComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &AuditDialog::refill);
    connect(m_ui->operationComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &AuditDialog::refill);
    connect(m_ui->moreButton, &QPushButton::clicked, this, &AuditDialog::loadMore);
    connect(m_ui->printButton, &QPushButton::clicked, this, &AuditDialog::printReport);
    connect(m_ui->exportButton, &QPushButton::clicked, this, &AuditDialog::exportCsv);
    connect(m_ui->closeButton, &QPushButton::clicked, this, &AuditDialog::accept);
    refill();
}

AuditDialog::~AuditDialog() = default;

bool AuditDialog::isAllowed()
{
    const SharedUser user = VDB::DataBase::instance()->currentUser();
    return user && user->isAdministrator();
}

void AuditDialog::showTrail(QWidget *parent)
{
    if (!isAllowed()) {
        QMessageBox::critical(parent, tr("Сообщение системы безопасности"),
                              tr("У вас нет прав на выполнение операции"));
        return;
    }
    AuditDialog dialog(parent);
    dialog.exec();
}

QAction *AuditDialog::addMenuEntry(QMenu *menu, QWidget *parent)
{
    menu->addSeparator();
    QAction *action = menu->addAction(tr("Журнал действий..."));
    action->setObjectName(QStringLiteral("actionAuditLog"));
    action->setIcon(QIcon(QStringLiteral(":/icons/resources/icons/book_open.png")));
    action->setVisible(isAllowed());
    connect(action, &QAction::triggered, parent, [parent] { showTrail(parent); });
    return action;
}

VDB::AuditFilter AuditDialog::filter() const
{
    VDB::AuditFilter filter;
    filter.from = m_ui->fromDateEdit->date();
    filter.to = m_ui->toDateEdit->date();
    if (m_ui->loginComboBox->currentIndex() > 0)
        filter.login = m_ui->loginComboBox->currentText();
    filter.operation = m_ui->operationComboBox->currentData().toString();
    return filter;
}

QString AuditDialog::filterText() const
{
    return tr("С %1 по %2; оператор: %3; операция: %4; записей: %5 из %6")
        .arg(m_ui->fromDateEdit->date().toString(QStringLiteral("dd.MM.yyyy")),
             m_ui->toDateEdit->date().toString(QStringLiteral("dd.MM.yyyy")),
             m_ui->loginComboBox->currentText(), m_ui->operationComboBox->currentText())
        .arg(m_entries.size())
        .arg(m_total);
}

void AuditDialog::refill()
{
    m_entries.clear();
    m_ui->auditTableWidget->setRowCount(0);
    m_total = VDB::DataBase::instance()->auditCount(filter());
    loadMore();
}

void AuditDialog::loadMore()
{
    const QList<VDB::AuditEntry> page
        = VDB::DataBase::instance()->auditEntries(filter(), PageSize, m_entries.size());
    for (const VDB::AuditEntry &entry : page)
        addRow(entry);
    m_entries << page;
    m_ui->countLabel->setText(tr("Показано записей: %1 из %2").arg(m_entries.size()).arg(m_total));
    m_ui->moreButton->setEnabled(m_entries.size() < m_total);
}

void AuditDialog::addRow(const VDB::AuditEntry &entry)
{
    QTableWidget *table = m_ui->auditTableWidget;
    const int row = table->rowCount();
    table->insertRow(row);
    const QString texts[ColumnCount] = {
        entry.dateTime.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")),
        entry.login,
        entry.workstation,
        VDB::AuditOperation::name(entry.operation),
        entry.object,
        entry.details,
    };
    for (int column = 0; column < ColumnCount; ++column) {
        auto *item = new QTableWidgetItem(texts[column]);
        item->setToolTip(texts[column]);
        table->setItem(row, column, item);
    }
}

CsvWriter AuditDialog::csv() const
{
    CsvWriter csv;
    csv.addRow({tr("Время"), tr("Оператор"), tr("Рабочее место"), tr("Код операции"),
                tr("Операция"), tr("Объект"), tr("Подробности")});
    for (const VDB::AuditEntry &entry : VDB::DataBase::instance()->auditEntries(filter())) {
        csv.addRow({entry.dateTime.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")), entry.login,
                    entry.workstation, entry.operation, VDB::AuditOperation::name(entry.operation),
                    entry.object, entry.details});
    }
    return csv;
}

void AuditDialog::printReport()
{
    AuditReport report(m_entries, filterText());
    report.preview(this);
}

void AuditDialog::exportCsv()
{
    TableCsvExport::save(csv(), this, tr("Журнал действий"));
}
