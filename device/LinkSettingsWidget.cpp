#include "device/LinkSettingsWidget.h"
#include "ui_LinkSettingsWidget.h"

#include <QLineEdit>
#include <QSerialPortInfo>

namespace {

const int speeds[] = {9600, 19200, 38400, 57600, 115200};

} // namespace

LinkSettingsWidget::LinkSettingsWidget(QWidget *parent)
    : QWidget(parent)
    , m_ui(new Ui::LinkSettingsWidget)
{
    m_ui->setupUi(this);
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports) {
        const QString description = port.description().isEmpty()
            ? port.systemLocation()
            : QStringLiteral("%1 (%2)").arg(port.systemLocation(), port.description());
        m_ui->linkPortComboBox->addItem(description, port.systemLocation());
    }
    m_ui->linkBaudComboBox->addItem(tr("По умолчанию"), 0);
    for (const int speed : speeds)
        m_ui->linkBaudComboBox->addItem(QString::number(speed), speed);
    connect(m_ui->linkKindComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &LinkSettingsWidget::updateFields);
    connect(m_ui->linkPortComboBox, &QComboBox::currentTextChanged, this,
            &LinkSettingsWidget::updateFields);
    connect(m_ui->linkHostLineEdit, &QLineEdit::textChanged, this,
            &LinkSettingsWidget::updateFields);
    setSettings(LinkSettings::load());
}

LinkSettingsWidget::~LinkSettingsWidget() = default;

LinkSettings LinkSettingsWidget::settings() const
{
    LinkSettings settings;
    settings.kind = LinkSettings::Kind(m_ui->linkKindComboBox->currentIndex());
    // A listed port stands for its device path; a typed one is taken as it is.
    const int listed = m_ui->linkPortComboBox->findText(m_ui->linkPortComboBox->currentText());
    settings.port = listed >= 0 ? m_ui->linkPortComboBox->itemData(listed).toString()
                                : m_ui->linkPortComboBox->currentText().trimmed();
    settings.baud = m_ui->linkBaudComboBox->currentData().toInt();
    settings.host = m_ui->linkHostLineEdit->text().trimmed();
    settings.tcpPort = m_ui->linkTcpPortSpinBox->value();
    return settings;
}

void LinkSettingsWidget::setSettings(const LinkSettings &settings)
{
    m_ui->linkKindComboBox->setCurrentIndex(int(settings.kind));
    const int port = m_ui->linkPortComboBox->findData(settings.port);
    if (port >= 0)
        m_ui->linkPortComboBox->setCurrentIndex(port);
    else
        m_ui->linkPortComboBox->setCurrentText(settings.port);
    const int baud = m_ui->linkBaudComboBox->findData(settings.baud);
    m_ui->linkBaudComboBox->setCurrentIndex(baud >= 0 ? baud : 0);
    m_ui->linkHostLineEdit->setText(settings.host);
    m_ui->linkTcpPortSpinBox->setValue(settings.tcpPort);
    updateFields();
}

void LinkSettingsWidget::save() const
{
    settings().save();
    LinkSettings::applyToEnvironment();
}

void LinkSettingsWidget::updateFields()
{
    const auto kind = LinkSettings::Kind(m_ui->linkKindComboBox->currentIndex());
    const bool onPort = kind == LinkSettings::IrDA || kind == LinkSettings::Serial;
    m_ui->linkPortComboBox->setEnabled(onPort);
    m_ui->linkBaudComboBox->setEnabled(onPort);
    m_ui->linkHostLineEdit->setEnabled(kind == LinkSettings::Tcp);
    m_ui->linkTcpPortSpinBox->setEnabled(kind == LinkSettings::Tcp);
    const QString user = LinkSettings::userLink();
    if (!user.isEmpty()) {
        m_ui->linkHintLabel->setText(
            tr("Программа запущена с переменной окружения TM4040_LINK=%1, она действует "
               "вместо этой настройки.")
                .arg(user));
        return;
    }
    switch (kind) {
    case LinkSettings::Automatic:
        m_ui->linkHintLabel->setText(
            tr("Прибор ищется на всех последовательных портах: сначала через ИК-адаптер, "
               "затем напрямую."));
        break;
    case LinkSettings::IrDA:
    case LinkSettings::Serial:
        if (m_ui->linkPortComboBox->currentText().trimmed().isEmpty()) {
            m_ui->linkHintLabel->setText(
                tr("Порт не указан: прибор будет искаться автоматически."));
            break;
        }
        m_ui->linkHintLabel->setText(kind == LinkSettings::IrDA
                                         ? tr("ИК-адаптер (SIR) на выбранном порту. Скорость "
                                              "ограничивает предлагаемую прибору, для адаптеров, "
                                              "не меняющих скорость.")
                                         : tr("Порт, передающий команды прибора без "
                                              "инфракрасного протокола."));
        break;
    case LinkSettings::Tcp:
        if (m_ui->linkHostLineEdit->text().trimmed().isEmpty()) {
            m_ui->linkHintLabel->setText(
                tr("Адрес не указан: прибор будет искаться автоматически."));
            break;
        }
        m_ui->linkHintLabel->setText(tr("Сетевой шлюз или эмулятор прибора."));
        break;
    }
}
