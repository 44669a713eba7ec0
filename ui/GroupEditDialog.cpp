#include "ui/GroupEditDialog.h"

GroupEditDialog::GroupEditDialog(const SharedGroup &, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("GroupEditDialog"));
}
