#pragma once

#include "db/DataBase.h"

#include <QScopedPointer>
#include <QWidget>

namespace Ui {
class GroupsAndUsersSummaryWidget;
}

// The page of the tree's root "Пользователи и группы": every group with its
// number of users and the rights it grants. Adding and deleting is left to
// the main window, which makes the access checks.
class GroupsAndUsersSummaryWidget : public QWidget
{
    Q_OBJECT
public:
    explicit GroupsAndUsersSummaryWidget(QWidget *parent = nullptr);
    ~GroupsAndUsersSummaryWidget() override;

signals:
    void addGroup();
    void delGroup(const SharedGroup &group);

public slots:
    void btnDelClicked();
    void selectionChanged();
    void userAdded(SharedUser user);
    void userUpdated(SharedUser user);
    void userDeleted(SharedUser user);
    void groupAdded(SharedGroup group);
    void groupUpdated(SharedGroup group);
    void groupDeleted(SharedGroup group);

private:
    void refillSummary();

    QScopedPointer<Ui::GroupsAndUsersSummaryWidget> ui;
};
