#pragma once

#include "db/DataBase.h"

#include <QDialog>

// Placeholder until the real dialog lands.
class GroupDeleteDialog : public QDialog
{
    Q_OBJECT
public:
    explicit GroupDeleteDialog(const SharedGroup &group, QWidget *parent = nullptr);

    SharedGroup targetGroup() const { return m_target; }

public slots:
    void accept() override;

private:
    SharedGroup m_group;
    SharedGroup m_target;
};
