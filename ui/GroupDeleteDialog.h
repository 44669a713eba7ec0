#pragma once

#include "db/SharedTypes.h"

#include <QDialog>
#include <QScopedPointer>

namespace Ui {
class GroupDeleteDialog;
}

// Asks which group receives the users who would be left without a group when
// a group is deleted.
class GroupDeleteDialog : public QDialog
{
    Q_OBJECT
public:
    // `group` is the group about to be deleted; it is not offered as target.
    explicit GroupDeleteDialog(const SharedGroup &group, QWidget *parent = nullptr);
    ~GroupDeleteDialog() override;

    // The chosen group after exec() returned Accepted; empty when none was
    // chosen (the first entry), which is allowed only when every member
    // keeps another group (or no other group exists).
    SharedGroup targetGroup() const { return m_target; }

public slots:
    void accept() override;

private:
    QScopedPointer<Ui::GroupDeleteDialog> m_ui;
    SharedGroup m_target;
    // Whether a member of the group belongs to no other group.
    bool m_leavesOrphans = false;
};
