#pragma once

#include "device/WorkerThread.h"

#include <QDialog>
#include <QScopedPointer>

class DeviceConnection;

namespace Ui {
class FindDeviceDialog;
}

// Lets the operator pick a device type, looks for a device of that type on a
// worker thread, shows what it found and, once confirmed, leaves a live
// DeviceConnection for the dialog that does the actual work. The connection
// is closed when this dialog is destroyed.
class FindDeviceDialog : public QDialog
{
    Q_OBJECT
public:
    explicit FindDeviceDialog(QWidget *parent = nullptr);
    ~FindDeviceDialog() override;

    // The connection of the last search; holds a DeviceInfo after an
    // accepted dialog. Null before the first search.
    DeviceConnection *connection() const { return m_connection; }
    // Whether a search is running.
    bool isSearching() const { return m_searching; }

public slots:
    // Starts a search (the " Найти прибор " button).
    void accept() override;
    // Cancel and Escape: while a search runs, it is stopped (the plug-in's
    // link is closed under the worker) and the dialog closes once the
    // worker has ended.
    void reject() override;
    void connected(bool found);

private:
    void setSearching(bool searching);

    QScopedPointer<Ui::FindDeviceDialog> ui;
    DeviceConnection *m_connection = nullptr;
    bool m_searching = false;
    bool m_cancelled = false;
    // Declared after the connection it uses, so it is joined first.
    WorkerThread m_worker;
};
