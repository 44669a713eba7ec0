#include "dose/UserDetailsWidget.h"

UserDetailsWidget::UserDetailsWidget(QAction *, QAction *, QWidget *parent)
    : QWidget(parent)
{ }

void UserDetailsWidget::setUser(SharedUser user)
{
    m_user = user;
}
