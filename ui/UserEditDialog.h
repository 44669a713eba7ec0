#pragma once

#include "db/DataBase.h"

#include <QDialog>

// Placeholder until the real dialog lands.
class UserEditDialog : public QDialog
{
    Q_OBJECT
public:
    explicit UserEditDialog(const SharedUser &user, const SharedGroup &group,
                            QWidget *parent = nullptr);
};
