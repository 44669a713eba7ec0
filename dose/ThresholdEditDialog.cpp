#include "dose/ThresholdEditDialog.h"
#include "ui_ThresholdEditDialog.h"

#include "db/DataBase.h"
#include "db/DoseUnits.h"

#include <QMessageBox>
#include <QPushButton>

ThresholdEditDialog::ThresholdEditDialog(ThresholdData *data, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::ThresholdEditDialog)
    , m_data(data)
{
    ui->setupUi(this);
    setWindowTitle(data->isUser ? tr("Добавить/редактировать порог для пользователей")
                                : tr("Добавить/редактировать порог для группы"));
    ui->labelUnit->setText(ui->labelUnit->text().arg(DoseUnits::currentMilliUnitName()));

    ui->nameLineEdit->setText(data->name);
    // A channel without an item (neutron) leaves the combo box empty and is
    // kept on accept.
    ui->comboBox->setCurrentIndex(
        data->channel >= 0 && data->channel < ui->comboBox->count() ? data->channel : -1);
    ui->thresholdSpinBox->setValue(data->value);
    ui->daysSpinBox->setValue(data->period);
    m_shownValue = ui->thresholdSpinBox->value();
    m_shownDays = ui->daysSpinBox->value();

    if (data->isUser) {
        ui->linkedGroupsLabel->hide();
        ui->groupsListWidget->hide();
        resize(width(), 160);
    } else {
        const QList<SharedGroup> groups = VDB::DataBase::instance()->groups();
        for (const SharedGroup &group : groups) {
            auto *item = new QListWidgetItem(group->name, ui->groupsListWidget);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setData(Qt::UserRole, QVariant::fromValue(group));
            item->setCheckState(data->groups.contains(group) ? Qt::Checked : Qt::Unchecked);
        }
    }

    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &ThresholdEditDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

ThresholdEditDialog::~ThresholdEditDialog() = default;

void ThresholdEditDialog::accept()
{
    // Lists, warnings and reports name a threshold by this text alone.
    if (ui->nameLineEdit->text().trimmed().isEmpty()) {
        QMessageBox::warning(this, tr("Предупреждение"), tr("Необходимо задать название порога"));
        ui->nameLineEdit->setFocus();
        return;
    }
    m_data->name = ui->nameLineEdit->text();
    if (ui->comboBox->currentIndex() >= 0)
        m_data->channel = ui->comboBox->currentIndex();
    if (ui->thresholdSpinBox->value() != m_shownValue)
        m_data->value = ui->thresholdSpinBox->value();
    if (ui->daysSpinBox->value() != m_shownDays)
        m_data->period = quint16(ui->daysSpinBox->value());
    m_data->groups.clear();
    if (!ui->groupsListWidget->isHidden()) {
        for (int row = 0; row < ui->groupsListWidget->count(); ++row) {
            const QListWidgetItem *item = ui->groupsListWidget->item(row);
            if (item->checkState() == Qt::Checked)
                m_data->groups.append(item->data(Qt::UserRole).value<SharedGroup>());
        }
    }
    QDialog::accept();
}
