#pragma once

#include "db/DataBase.h"

#include <QDialog>

// Placeholder until the real dialog lands.
class ExceededThreshouldsDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ExceededThreshouldsDialog(bool showContinue, QWidget *parent = nullptr);
};
