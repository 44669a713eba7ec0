#pragma once

#include "db/DataBase.h"

#include <QDialog>

// Placeholder until the real dialog lands.
class ProgrammSettingsDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ProgrammSettingsDialog(QWidget *parent = nullptr);
};
