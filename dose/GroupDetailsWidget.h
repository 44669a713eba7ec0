#pragma once

#include "db/DataBase.h"

#include <QWidget>

class QAction;

// Placeholder until the real page lands.
class GroupDetailsWidget : public QWidget
{
    Q_OBJECT
public:
    GroupDetailsWidget(QAction *addUserAction, QAction *editGroupAction, QAction *delGroupAction,
                       QAction *deviceUsageAction, QWidget *parent = nullptr);

    SharedGroup group() const { return m_group; }
    void setGroup(SharedGroup group);

signals:
    void userSelected(SharedUser user);

private:
    SharedGroup m_group;
};
