#pragma once

#include "db/SharedTypes.h"

#include <QDialog>
#include <QScopedPointer>

class DeviceConnection;

namespace Ui {
class DeviceAssignmentDialog;
}

// Gives a found device to a user: optionally with a chosen assignment time
// and after setting the device clock, with a comment. The assignment is
// recorded as event 100 by the data store.
class DeviceAssignmentDialog : public QDialog
{
    Q_OBJECT
public:
    // `connection` belongs to the finder dialog and holds the found device.
    DeviceAssignmentDialog(DeviceConnection *connection, const SharedUser &user,
                           QWidget *parent = nullptr);
    ~DeviceAssignmentDialog() override;

public slots:
    void accept() override;

private:
    QScopedPointer<Ui::DeviceAssignmentDialog> ui;
    DeviceConnection *m_connection;
    SharedUser m_user;
};
