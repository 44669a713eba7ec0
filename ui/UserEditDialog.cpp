#include "ui/UserEditDialog.h"

UserEditDialog::UserEditDialog(const SharedUser &, const SharedGroup &, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("UserEditDialog"));
}
