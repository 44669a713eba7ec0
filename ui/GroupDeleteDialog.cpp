#include "ui/GroupDeleteDialog.h"
#include "ui_GroupDeleteDialog.h"

#include "db/DataBase.h"
#include "db/Group.h"

GroupDeleteDialog::GroupDeleteDialog(const SharedGroup &group, QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::GroupDeleteDialog)
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &GroupDeleteDialog::accept);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &GroupDeleteDialog::reject);

    const QList<SharedGroup> groups = VDB::DataBase::instance()->groups();
    for (const SharedGroup &other : groups) {
        if (other != group)
            m_ui->groupsComboBox->addItem(other->name, QVariant::fromValue(other));
    }
    if (m_ui->groupsComboBox->count() > 0)
        m_ui->groupsComboBox->setCurrentIndex(0);
}

GroupDeleteDialog::~GroupDeleteDialog() = default;

void GroupDeleteDialog::accept()
{
    m_target = m_ui->groupsComboBox->currentData(Qt::UserRole).value<SharedGroup>();
    QDialog::accept();
}
