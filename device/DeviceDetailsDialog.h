#pragma once

#include <QDialog>
#include <QScopedPointer>

struct DeviceInfo;

namespace Ui {
class DeviceDetailsDialog;
}

// Shows what a found device reported and asks the operator to confirm that
// it is the right one ("Продолжить").
class DeviceDetailsDialog : public QDialog
{
    Q_OBJECT
public:
    // `info` is read once here and not kept.
    explicit DeviceDetailsDialog(const DeviceInfo *info, QWidget *parent = nullptr);
    ~DeviceDetailsDialog() override;

private:
    QScopedPointer<Ui::DeviceDetailsDialog> ui;
};
