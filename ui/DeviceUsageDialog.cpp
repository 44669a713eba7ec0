#include "ui/DeviceUsageDialog.h"
#include "ui_DeviceUsageDialog.h"

#include "db/DataBase.h"
#include "db/Group.h"

DeviceUsageDialog::DeviceUsageDialog(const SharedGroup &group, QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::DeviceUsageDialog)
    , m_group(group)
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &DeviceUsageDialog::accept);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &DeviceUsageDialog::reject);
    // A reason is typed only for a ban; switching back keeps what was typed.
    connect(m_ui->enableRadioButton, &QRadioButton::toggled, m_ui->reasonTextEdit,
            &QWidget::setDisabled);

    if (m_group)
        setWindowTitle(tr("Использование приборов (%1)").arg(m_group->name));
}

DeviceUsageDialog::~DeviceUsageDialog() = default;

void DeviceUsageDialog::accept()
{
    if (m_group)
        VDB::DataBase::instance()->setDeviceUsage(m_group, m_ui->enableRadioButton->isChecked(),
                                                  m_ui->reasonTextEdit->toPlainText());
    QDialog::accept();
}
