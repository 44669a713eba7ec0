#pragma once

#include "db/DataBase.h"

#include <QDialog>

// Placeholder until the real dialog lands.
class ThresholdListDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ThresholdListDialog(QWidget *parent = nullptr);
};
