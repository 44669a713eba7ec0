#include "dose/GroupDetailsWidget.h"

GroupDetailsWidget::GroupDetailsWidget(QAction *, QAction *, QAction *, QAction *, QWidget *parent)
    : QWidget(parent)
{ }

void GroupDetailsWidget::setGroup(SharedGroup group)
{
    m_group = group;
}
