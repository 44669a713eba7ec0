#pragma once

#include "db/Channel.h"
#include "device/WorkerThread.h"

#include <QDialog>
#include <QScopedPointer>

class DeviceConnection;

namespace Ui {
class ResetDoseDialog;
}

// Shows the accumulated dose held by a found device and lets an
// administrator, after confirming the login, reset it. The device calls run
// on a ResetDoseWorker thread.
class ResetDoseDialog : public QDialog
{
    Q_OBJECT
public:
    // `connection` belongs to the finder dialog and holds the found device.
    explicit ResetDoseDialog(DeviceConnection *connection, QWidget *parent = nullptr);
    // Waits for a running worker.
    ~ResetDoseDialog() override;

    bool isBusy() const { return m_busy; }

public slots:
    void readDose();
    void resetClicked();
    void channelChanged();
    void processDose(VDB::Channel channel, double doseLevel);
    void finish(bool result);
    // Refused while the worker uses the connection.
    void reject() override;

signals:
    void formLoaded();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void startWorker(bool read);

    QScopedPointer<Ui::ResetDoseDialog> ui;
    DeviceConnection *m_connection;
    bool m_busy = false;
    bool m_shown = false;
    // The dose shown when a reset began, for the audit trail.
    bool m_resetting = false;
    QString m_doseBeforeReset;
    WorkerThread m_worker;
};
