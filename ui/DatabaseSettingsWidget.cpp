#include "ui/DatabaseSettingsWidget.h"
#include "ui_DatabaseSettingsWidget.h"

#include "db/ConnectionString.h"
#include "db/DataBase.h"

#include <QSettings>

namespace {

const char SettingKey[] = "database/connection";

} // namespace

DatabaseSettingsWidget::DatabaseSettingsWidget(QWidget *parent)
    : QWidget(parent)
    , m_ui(new Ui::DatabaseSettingsWidget)
{
    m_ui->setupUi(this);
    m_ui->connectionLineEdit->setText(QSettings().value(QLatin1String(SettingKey)).toString());
    m_ui->connectionLineEdit->setPlaceholderText(VDB::DataBase::defaultFileName());
    m_ui->currentLabel->setText(VDB::DataBase::instance()->displayName());
    connect(m_ui->connectionLineEdit, &QLineEdit::textChanged, this,
            &DatabaseSettingsWidget::updateHint);
    updateHint();
}

DatabaseSettingsWidget::~DatabaseSettingsWidget() = default;

QString DatabaseSettingsWidget::connection() const
{
    return m_ui->connectionLineEdit->text().trimmed();
}

QString DatabaseSettingsWidget::problem() const
{
    return VDB::ConnectionString::settingProblem(connection());
}

bool DatabaseSettingsWidget::save() const
{
    if (!problem().isEmpty())
        return false;
    QSettings settings;
    if (connection().isEmpty())
        settings.remove(QLatin1String(SettingKey));
    else
        settings.setValue(QLatin1String(SettingKey), connection());
    return true;
}

void DatabaseSettingsWidget::updateHint()
{
    const QString fault = problem();
    if (!fault.isEmpty())
        m_ui->hintLabel->setText(fault);
    else if (!qEnvironmentVariableIsEmpty("ORVANE_DATABASE"))
        m_ui->hintLabel->setText(tr("Сейчас базу данных выбирает переменная ORVANE_DATABASE"));
    else
        m_ui->hintLabel->setText(tr("Выбор действует со следующего запуска программы"));
}
