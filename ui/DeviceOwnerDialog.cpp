#include "ui/DeviceOwnerDialog.h"
#include "ui_DeviceOwnerDialog.h"

#include "db/DataBase.h"
#include "db/User.h"

#include <QPushButton>

DeviceOwnerDialog::DeviceOwnerDialog(const QString &device, QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::DeviceOwnerDialog)
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    m_ui->deviceLabel->setText(tr("Кому назначить прибор %1?").arg(device));
    // Nobody is preset; the first entry says so.
    m_ui->usersComboBox->addItem(tr("Не выбран"));
    const QList<SharedUser> users = candidates();
    for (const SharedUser &user : users)
        m_ui->usersComboBox->addItem(user->fullName(), QVariant::fromValue(user));

    QPushButton *ok = m_ui->buttonBox->button(QDialogButtonBox::Ok);
    ok->setEnabled(false);
    connect(m_ui->usersComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), ok,
            [ok](int index) { ok->setEnabled(index > 0); });
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &DeviceOwnerDialog::accept);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &DeviceOwnerDialog::reject);
}

DeviceOwnerDialog::~DeviceOwnerDialog() = default;

SharedUser DeviceOwnerDialog::owner() const
{
    return m_ui->usersComboBox->currentData().value<SharedUser>();
}

QList<SharedUser> DeviceOwnerDialog::candidates()
{
    QList<SharedUser> users;
    const QList<SharedUser> all = VDB::DataBase::instance()->users();
    for (const SharedUser &user : all) {
        if (user->canUseDevice && !user->device)
            users.append(user);
    }
    return users;
}
