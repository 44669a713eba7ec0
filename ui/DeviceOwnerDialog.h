#pragma once

#include "db/SharedTypes.h"

#include <QDialog>
#include <QList>
#include <QScopedPointer>

namespace Ui {
class DeviceOwnerDialog;
}

// Picks the user who is to receive a found device that is assigned to
// nobody. Offered are the users who may use devices and have none, after a
// first entry that stands for nobody chosen.
class DeviceOwnerDialog : public QDialog
{
    Q_OBJECT
public:
    // `device` names the found device for the operator.
    explicit DeviceOwnerDialog(const QString &device, QWidget *parent = nullptr);
    ~DeviceOwnerDialog() override;

    // The chosen user; empty until one is picked.
    SharedUser owner() const;

    // The users of the store who may get a device now, in store order.
    static QList<SharedUser> candidates();

private:
    QScopedPointer<Ui::DeviceOwnerDialog> m_ui;
};
