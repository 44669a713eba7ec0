#pragma once

#include "db/DataBase.h"

#include <QWidget>

// Placeholder until the real page lands.
class DeviceDetailsWidget : public QWidget
{
    Q_OBJECT
public:
    explicit DeviceDetailsWidget(QWidget *parent = nullptr);

    void setDevice(DeviceType *type) { m_device = type; }
    DeviceType *device() const { return m_device; }

signals:
    void userSelected(SharedUser user);

private:
    DeviceType *m_device = nullptr;
};
