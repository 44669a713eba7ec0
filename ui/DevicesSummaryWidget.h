#pragma once

#include "db/DataBase.h"

#include <QWidget>

// Placeholder until the real page lands.
class DevicesSummaryWidget : public QWidget
{
    Q_OBJECT
public:
    explicit DevicesSummaryWidget(QWidget *parent = nullptr);

signals:
    void userSelected(SharedUser user);
};
