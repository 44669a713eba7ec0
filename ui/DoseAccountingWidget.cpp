#include "ui/DoseAccountingWidget.h"
#include "ui_DoseAccountingWidget.h"

#include "db/DataBase.h"
#include "db/DoseUnits.h"
#include "report/RussianFormat.h"

DoseAccountingWidget::DoseAccountingWidget(QWidget *parent)
    : QWidget(parent)
    , m_ui(new Ui::DoseAccountingWidget)
{
    m_ui->setupUi(this);
    setLocale(RussianFormat::locale());
    setSettings(VDB::DataBase::instance()->doseSettings());
}

DoseAccountingWidget::~DoseAccountingWidget() = default;

void DoseAccountingWidget::setSettings(const DoseRecordSettings &settings)
{
    m_units = DoseUnits::currentCode();
    const QString suffix = QLatin1Char(' ') + DoseUnits::milliUnitName(m_units);
    m_ui->countReadingsCheckBox->setChecked(settings.countReadings);
    const QPair<QDoubleSpinBox *, double> limits[] = {
        {m_ui->annualLimitSpinBox, settings.annualLimit},
        {m_ui->fiveYearLimitSpinBox, settings.fiveYearLimit},
        {m_ui->singleYearLimitSpinBox, settings.singleYearLimit},
    };
    for (const auto &limit : limits) {
        limit.first->setSuffix(suffix);
        limit.first->setValue(DoseUnits::toDisplay(limit.second, m_units));
    }
}

DoseRecordSettings DoseAccountingWidget::settings() const
{
    DoseRecordSettings settings;
    settings.countReadings = m_ui->countReadingsCheckBox->isChecked();
    settings.annualLimit = DoseUnits::toStored(m_ui->annualLimitSpinBox->value(), m_units);
    settings.fiveYearLimit = DoseUnits::toStored(m_ui->fiveYearLimitSpinBox->value(), m_units);
    settings.singleYearLimit = DoseUnits::toStored(m_ui->singleYearLimitSpinBox->value(), m_units);
    return settings;
}

bool DoseAccountingWidget::store() const
{
    VDB::DataBase *db = VDB::DataBase::instance();
    const DoseRecordSettings changed = settings();
    return changed == db->doseSettings() || db->updateDoseSettings(changed);
}
