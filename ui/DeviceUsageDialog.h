#pragma once

#include "db/DataBase.h"

#include <QDialog>

// Placeholder until the real dialog lands.
class DeviceUsageDialog : public QDialog
{
    Q_OBJECT
public:
    explicit DeviceUsageDialog(const SharedGroup &group, QWidget *parent = nullptr);
};
