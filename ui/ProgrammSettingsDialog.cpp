#include "ui/ProgrammSettingsDialog.h"
#include "ui_ProgrammSettingsDialog.h"

#include "db/Channel.h"
#include "db/DataBase.h"
#include "db/DoseUnits.h"
#include "db/Options.h"
#include "device/LinkSettingsWidget.h"
#include "ui/DatabaseSettingsWidget.h"
#include "ui/DoseAccountingWidget.h"

#include <QColorDialog>
#include <QMessageBox>

namespace {

const char *const colorProperty = "color";

} // namespace

ProgrammSettingsDialog::ProgrammSettingsDialog(QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::ProgrammSettingsDialog)
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    connect(m_ui->closeButton, &QPushButton::clicked, this, &ProgrammSettingsDialog::accept);
    m_doseAccounting = new DoseAccountingWidget(this);
    m_doseAccounting->setObjectName(QStringLiteral("doseAccountingTab"));
    m_ui->tabWidget->addTab(m_doseAccounting, tr("Учёт дозы"));
    // The workstation's own settings, beside the shared options.
    m_databaseSettings = new DatabaseSettingsWidget(this);
    m_ui->tabWidget->addTab(m_databaseSettings, tr("База данных"));
    m_linkSettings = new LinkSettingsWidget(this);
    m_ui->tabWidget->addTab(m_linkSettings, tr("Связь"));

    const Options &options = VDB::DataBase::instance()->options();
    m_ui->delHistoryCheckBox->setChecked(options.delHistory);
    m_ui->synchronizeDateCheckBox->setChecked(options.synchronizeDate);
    m_ui->turnOffDeviceCheckBox->setChecked(options.turnOffDevice);
    m_ui->undockDeviceCheckBox->setChecked(options.undockDevice);
    m_ui->daysSpinBox->setValue(options.interval);

    m_ui->rRadioButton->setText(DoseUnits::milliUnitName(DoseUnits::Roentgen));
    m_ui->svRadioButton->setText(DoseUnits::milliUnitName(DoseUnits::Sievert));
    m_ui->remRadioButton->setText(DoseUnits::milliUnitName(DoseUnits::Rem));
    if (options.units == DoseUnits::Roentgen)
        m_ui->rRadioButton->setChecked(true);
    else if (options.units == DoseUnits::Rem)
        m_ui->remRadioButton->setChecked(true);
    else
        m_ui->svRadioButton->setChecked(true);

    const struct
    {
        QPushButton *button;
        QColor color;
    } colorButtons[] = {
        {m_ui->edAlfaButton, options.edColor(VDB::Alpha)},
        {m_ui->edBetaButton, options.edColor(VDB::Beta)},
        {m_ui->edGammaButton, options.edColor(VDB::Gamma)},
        {m_ui->medAlfaButton, options.medColor(VDB::Alpha)},
        {m_ui->medBetaButton, options.medColor(VDB::Beta)},
        {m_ui->medGammaButton, options.medColor(VDB::Gamma)},
    };
    for (const auto &entry : colorButtons) {
        setButtonColor(entry.button, entry.color);
        connect(entry.button, &QPushButton::clicked, this,
                &ProgrammSettingsDialog::colorButtonClicked);
    }
}

ProgrammSettingsDialog::~ProgrammSettingsDialog() = default;

void ProgrammSettingsDialog::setButtonColor(QPushButton *button, const QColor &color)
{
    button->setStyleSheet(QStringLiteral("background-color: rgb(%1, %2, %3)")
                              .arg(color.red())
                              .arg(color.green())
                              .arg(color.blue()));
    button->setProperty(colorProperty, color);
}

QColor ProgrammSettingsDialog::buttonColor(const QPushButton *button)
{
    return button->property(colorProperty).value<QColor>();
}

void ProgrammSettingsDialog::colorButtonClicked()
{
    auto *button = qobject_cast<QPushButton *>(sender());
    if (!button)
        return;
    const QColor color = QColorDialog::getColor(buttonColor(button), this, tr("Цвет"));
    if (color.isValid())
        setButtonColor(button, color);
}

void ProgrammSettingsDialog::accept()
{
    // Nothing is stored while the database text cannot be kept.
    if (!m_databaseSettings->save()) {
        m_ui->tabWidget->setCurrentWidget(m_databaseSettings);
        QMessageBox::warning(this, tr("Ошибка"), m_databaseSettings->problem());
        return;
    }
    Options options;
    options.delHistory = m_ui->delHistoryCheckBox->isChecked();
    options.synchronizeDate = m_ui->synchronizeDateCheckBox->isChecked();
    options.turnOffDevice = m_ui->turnOffDeviceCheckBox->isChecked();
    options.undockDevice = m_ui->undockDeviceCheckBox->isChecked();
    if (m_ui->rRadioButton->isChecked())
        options.units = DoseUnits::Roentgen;
    else if (m_ui->remRadioButton->isChecked())
        options.units = DoseUnits::Rem;
    else
        options.units = DoseUnits::Sievert;
    options.interval = m_ui->daysSpinBox->value();

    // The neutron colours are not edited and keep their defaults.
    options.edColors[VDB::Alpha] = buttonColor(m_ui->edAlfaButton);
    options.edColors[VDB::Beta] = buttonColor(m_ui->edBetaButton);
    options.edColors[VDB::Gamma] = buttonColor(m_ui->edGammaButton);
    options.medColors[VDB::Alpha] = buttonColor(m_ui->medAlfaButton);
    options.medColors[VDB::Beta] = buttonColor(m_ui->medBetaButton);
    options.medColors[VDB::Gamma] = buttonColor(m_ui->medGammaButton);

    VDB::DataBase::instance()->updateOptions(options);
    m_linkSettings->save();
    m_doseAccounting->store();
    QDialog::accept();
}
