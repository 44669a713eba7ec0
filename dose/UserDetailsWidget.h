#pragma once

#include "db/DataBase.h"

#include <QWidget>

class QAction;

// Placeholder until the real page lands.
class UserDetailsWidget : public QWidget
{
    Q_OBJECT
public:
    UserDetailsWidget(QAction *editUserAction, QAction *delUserAction, QWidget *parent = nullptr);

    SharedUser user() const { return m_user; }
    void setUser(SharedUser user);

private:
    SharedUser m_user;
};
