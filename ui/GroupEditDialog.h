#pragma once

#include "db/DataBase.h"

#include <QDialog>

// Placeholder until the real dialog lands.
class GroupEditDialog : public QDialog
{
    Q_OBJECT
public:
    explicit GroupEditDialog(const SharedGroup &group, QWidget *parent = nullptr);
};
