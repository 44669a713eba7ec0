#include "ui/GroupDeleteDialog.h"
#include "ui_GroupDeleteDialog.h"

#include "db/DataBase.h"
#include "db/Group.h"
#include "db/User.h"

#include <QMessageBox>

GroupDeleteDialog::GroupDeleteDialog(const SharedGroup &group, QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::GroupDeleteDialog)
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &GroupDeleteDialog::accept);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &GroupDeleteDialog::reject);

    // No group is preset: the first one is "Администраторы", and one Enter
    // would give ordinary users every right. The first entry says so.
    m_ui->groupsComboBox->addItem(tr("Не выбрана"));
    const QList<SharedGroup> groups = VDB::DataBase::instance()->groups();
    for (const SharedGroup &other : groups) {
        if (other != group)
            m_ui->groupsComboBox->addItem(other->name, QVariant::fromValue(other));
    }
    m_ui->groupsComboBox->setCurrentIndex(0);
    if (group) {
        for (const SharedUser &user : qAsConst(group->users))
            m_leavesOrphans = m_leavesOrphans || user->groups == QList<SharedGroup> {group};
    }
}

GroupDeleteDialog::~GroupDeleteDialog() = default;

void GroupDeleteDialog::accept()
{
    const SharedGroup target = m_ui->groupsComboBox->currentData(Qt::UserRole).value<SharedGroup>();
    // Without any other group the caller explains why nothing can be done.
    if (!target && m_leavesOrphans && m_ui->groupsComboBox->count() > 1) {
        QMessageBox::warning(this, tr("Предупреждение"),
                             tr("Выберите группу, в которую перевести пользователей"));
        return;
    }
    m_target = target;
    QDialog::accept();
}
