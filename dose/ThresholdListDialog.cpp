#include "dose/ThresholdListDialog.h"
#include "ui_ThresholdListDialog.h"

#include "db/Channel.h"
#include "db/DataBase.h"
#include "db/DoseUnits.h"
#include "dose/ThresholdEditDialog.h"

#include <QMessageBox>
#include <QPushButton>

namespace {

ThresholdData dataOf(const Threshold &threshold)
{
    ThresholdData data;
    data.isUser = threshold.isUser;
    data.name = threshold.name;
    data.channel = threshold.channel;
    data.value = threshold.value;
    data.period = threshold.period;
    data.groups = threshold.groups;
    return data;
}

// Room for the names; the last column takes the rest.
void prepareTable(QTableWidget *table, const QVector<int> &widths)
{
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int column = 0; column < widths.size(); ++column)
        table->setColumnWidth(column, widths.at(column));
    QTableWidgetItem *unit = table->horizontalHeaderItem(2);
    unit->setText(unit->text().arg(DoseUnits::currentMilliUnitName()));
}

} // namespace

ThresholdListDialog::ThresholdListDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::ThresholdListDialog)
{
    ui->setupUi(this);
    ui->buttonBox->button(QDialogButtonBox::Ok)->setText(tr("Сохранить и закрыть"));
    prepareTable(ui->userThresholdsTableWidget, {220, 90, 110, 100});
    prepareTable(ui->groupsThresholdTableWidget, {170, 80, 100, 95});
    const QIcon add(QStringLiteral(":/icons/resources/icons/add.png"));
    const QIcon edit(QStringLiteral(":/icons/resources/icons/pencil.png"));
    const QIcon del(QStringLiteral(":/icons/resources/icons/cross.png"));
    ui->addUserThresholdButton->setIcon(add);
    ui->addGroupThresholdButton->setIcon(add);
    ui->editUserThresholdButton->setIcon(edit);
    ui->editGroupThresholdButton->setIcon(edit);
    ui->delUserThresholdButton->setIcon(del);
    ui->delGroupThresholdButton->setIcon(del);

    const QList<SharedThreshold> thresholds = VDB::DataBase::instance()->thresholds();
    for (const SharedThreshold &threshold : thresholds) {
        m_entries.push_back(std::make_unique<Entry>());
        m_entries.back()->threshold = threshold;
        appendRow(threshold->isUser ? ui->userThresholdsTableWidget
                                    : ui->groupsThresholdTableWidget,
                  m_entries.back().get());
    }

    connect(ui->userThresholdsTableWidget, &QTableWidget::itemSelectionChanged, this,
            &ThresholdListDialog::selectionChanged);
    connect(ui->groupsThresholdTableWidget, &QTableWidget::itemSelectionChanged, this,
            &ThresholdListDialog::selectionChanged);
    for (QPushButton *button : {ui->addUserThresholdButton, ui->addGroupThresholdButton})
        connect(button, &QPushButton::clicked, this, &ThresholdListDialog::addThreshold);
    for (QPushButton *button : {ui->editUserThresholdButton, ui->editGroupThresholdButton})
        connect(button, &QPushButton::clicked, this, &ThresholdListDialog::editThreshold);
    for (QPushButton *button : {ui->delUserThresholdButton, ui->delGroupThresholdButton})
        connect(button, &QPushButton::clicked, this, &ThresholdListDialog::deleteThreshold);
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &ThresholdListDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

ThresholdListDialog::~ThresholdListDialog() = default;

QList<ThresholdChange> ThresholdListDialog::pendingChanges() const
{
    QList<ThresholdChange> changes;
    for (const std::unique_ptr<Entry> &entry : m_entries) {
        ThresholdChange change;
        if (entry->deleted) {
            change.action = ThresholdChange::Delete;
            change.threshold = entry->threshold;
        } else if (!entry->data) {
            continue;
        } else if (!entry->threshold) {
            change.action = ThresholdChange::Add;
            change.data = *entry->data;
        } else {
            change.action = ThresholdChange::Update;
            change.data = *entry->data;
            change.threshold = entry->threshold;
        }
        changes.append(change);
    }
    return changes;
}

void ThresholdListDialog::accept()
{
    const QList<ThresholdChange> changes = pendingChanges();
    if (!changes.isEmpty()) {
        QList<int> actions;
        QList<ThresholdData> data;
        QList<SharedThreshold> thresholds;
        for (const ThresholdChange &change : changes) {
            actions.append(change.action);
            data.append(change.data);
            thresholds.append(change.threshold);
        }
        // A refused save must not look like a saved one: the changes stay
        // here to be saved again or dropped with Cancel.
        if (!VDB::DataBase::instance()->saveThresholds(actions, data, thresholds)) {
            QMessageBox::critical(this, tr("Ошибка"),
                                  tr("Не удалось сохранить изменения порогов."));
            return;
        }
    }
    QDialog::accept();
}

void ThresholdListDialog::selectionChanged()
{
    const bool user = !ui->userThresholdsTableWidget->selectedItems().isEmpty();
    const bool group = !ui->groupsThresholdTableWidget->selectedItems().isEmpty();
    ui->editUserThresholdButton->setEnabled(user);
    ui->delUserThresholdButton->setEnabled(user);
    ui->editGroupThresholdButton->setEnabled(group);
    ui->delGroupThresholdButton->setEnabled(group);
}

void ThresholdListDialog::addThreshold()
{
    const bool isUser = sender() == ui->addUserThresholdButton;
    auto entry = std::make_unique<Entry>();
    entry->data = std::make_unique<ThresholdData>();
    entry->data->isUser = isUser;
    ThresholdEditDialog dialog(entry->data.get(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    appendRow(isUser ? ui->userThresholdsTableWidget : ui->groupsThresholdTableWidget, entry.get());
    m_entries.push_back(std::move(entry));
}

void ThresholdListDialog::editThreshold()
{
    QTableWidget *table = tableOf(sender());
    Entry *entry = entryOfCurrentRow(table);
    if (!entry)
        return;
    const int row = table->currentRow();
    // An edit that is cancelled leaves no working copy behind, so it never
    // turns into an update on saving.
    const bool madeHere = !entry->data;
    if (madeHere)
        entry->data = std::make_unique<ThresholdData>(dataOf(*entry->threshold));
    ThresholdEditDialog dialog(entry->data.get(), this);
    if (dialog.exec() != QDialog::Accepted) {
        if (madeHere)
            entry->data.reset();
        return;
    }
    writeRow(table, row, entry);
}

void ThresholdListDialog::deleteThreshold()
{
    QTableWidget *table = tableOf(sender());
    Entry *entry = entryOfCurrentRow(table);
    if (!entry)
        return;
    const int row = table->currentRow();
    table->removeRow(row);
    if (entry->threshold) {
        entry->deleted = true;
        return;
    }
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->get() == entry) {
            m_entries.erase(it);
            break;
        }
    }
}

QTableWidget *ThresholdListDialog::tableOf(QObject *button) const
{
    if (button == ui->editGroupThresholdButton || button == ui->delGroupThresholdButton)
        return ui->groupsThresholdTableWidget;
    return ui->userThresholdsTableWidget;
}

ThresholdListDialog::Entry *ThresholdListDialog::entryOfCurrentRow(QTableWidget *table) const
{
    const int row = table->currentRow();
    if (row < 0)
        return nullptr;
    const QTableWidgetItem *item = table->item(row, 0);
    return item ? static_cast<Entry *>(item->data(Qt::UserRole).value<void *>()) : nullptr;
}

void ThresholdListDialog::appendRow(QTableWidget *table, Entry *entry)
{
    const int row = table->rowCount();
    table->insertRow(row);
    writeRow(table, row, entry);
}

void ThresholdListDialog::writeRow(QTableWidget *table, int row, const Entry *entry)
{
    const ThresholdData data = entry->data ? *entry->data : dataOf(*entry->threshold);
    // The limit as the edit dialog shows it, four decimals.
    QStringList cells {data.name, VDB::channelName(data.channel),
                       QString::number(data.value, 'f', 4), QString::number(data.period)};
    if (table == ui->groupsThresholdTableWidget) {
        QStringList names;
        for (const SharedGroup &group : data.groups)
            names.append(group->name);
        cells.append(names.join(QStringLiteral("; ")));
    }
    for (int column = 0; column < cells.size(); ++column)
        table->setItem(row, column, new QTableWidgetItem(cells.at(column)));
    table->item(row, 0)->setData(
        Qt::UserRole, QVariant::fromValue(static_cast<void *>(const_cast<Entry *>(entry))));
}
