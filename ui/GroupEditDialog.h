#pragma once

#include "db/SharedTypes.h"

#include <QDialog>
#include <QScopedPointer>

namespace Ui {
class GroupEditDialog;
}

// Creates a group or edits its name, description and the rights it gives.
class GroupEditDialog : public QDialog
{
    Q_OBJECT
public:
    // `group` empty to create a new group.
    explicit GroupEditDialog(const SharedGroup &group, QWidget *parent = nullptr);
    ~GroupEditDialog() override;

public slots:
    void accept() override;

private:
    QScopedPointer<Ui::GroupEditDialog> m_ui;
    SharedGroup m_group;
};
