#pragma once

#include "db/SharedTypes.h"

#include <QDialog>
#include <QScopedPointer>

namespace Ui {
class DeviceUsageDialog;
}

// Allows or forbids device use for every user of one group at once.
class DeviceUsageDialog : public QDialog
{
    Q_OBJECT
public:
    explicit DeviceUsageDialog(const SharedGroup &group, QWidget *parent = nullptr);
    ~DeviceUsageDialog() override;

public slots:
    void accept() override;

private:
    QScopedPointer<Ui::DeviceUsageDialog> m_ui;
    SharedGroup m_group;
};
