#include "ui/GroupDeleteDialog.h"

GroupDeleteDialog::GroupDeleteDialog(const SharedGroup &group, QWidget *parent)
    : QDialog(parent)
    , m_group(group)
{
    setWindowTitle(QStringLiteral("GroupDeleteDialog"));
}

void GroupDeleteDialog::accept()
{
    for (const SharedGroup &other : VDB::DataBase::instance()->groups()) {
        if (other != m_group) {
            m_target = other;
            break;
        }
    }
    QDialog::accept();
}
