#pragma once

#include "db/Event.h"
#include "db/EventBatchReport.h"
#include "device/DeviceConnection.h"
#include "device/HistoryReader.h"
#include "device/WorkerThread.h"

#include <QDialog>
#include <QList>
#include <QScopedPointer>

namespace Ui {
class ReadHistoryDialog;
}

// Reads the history of the device assigned to one user into the data store:
// connects to that very device (type and serial number of the assignment),
// downloads the history on a worker thread, stores it in one batch and then
// clears the device history, unlinks the device and sets its clock as the
// check boxes say.
//
// The device history is cleared only after its records were stored, and only
// when the download brought as many records as the device reported; in every
// other case the device keeps its history and the operator is told so.
//
// A finished import stays on screen with its summary (records read, new,
// already stored; memory cleared, device released, clock set) until the
// operator closes it; the dialog's result is Accepted from then on.
class ReadHistoryDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ReadHistoryDialog(const SharedUser &user, QWidget *parent = nullptr);
    // Stops a running download and waits for its worker.
    ~ReadHistoryDialog() override;

    // What the dialog is doing now.
    enum State { Idle, Connecting, Reading, Cancelling };
    State state() const { return m_state; }
    const QList<VDB::Event> &events() const { return m_events; }
    // Whether the history was stored and the summary is shown.
    bool isFinished() const { return m_finished; }
    // What the dialog last told the operator below the progress bar.
    QString summary() const;

public slots:
    // "Чтение истории" starts the reading; pressed again ("Отмена") it
    // cancels it.
    void accept() override;
    // Never closes while a worker uses the connection; during a download the
    // window button and Escape cancel it, as "Отмена" does.
    void reject() override;
    void addEvent(VDB::Event event);
    void historyReaded();

signals:
    void stopReading();

private slots:
    void connected(bool found);
    void showProgress(int percent);
    void showDownload(int received, int total);

private:
    enum ClockResult { ClockLeft, ClockSet, ClockFailed };

    void startReading();
    void cancelReading();
    void setState(State state);
    void storeHistory();
    // Says what the operator is asked to confirm when going on without the
    // device's history.
    QString operationWithoutHistory() const;
    void showSummary(const QString &text);
    QString summaryText(const EventBatchReport &stored, HistoryReader::Completeness completeness,
                        bool cleared, bool released) const;

    QScopedPointer<Ui::ReadHistoryDialog> ui;
    SharedUser m_user;
    DeviceConnection m_connection;
    State m_state = Idle;
    bool m_reading = false;
    bool m_finished = false;
    ClockResult m_clock = ClockLeft;
    QList<VDB::Event> m_events;
    HistoryReader::StopFlag m_stop;
    // After the connection it uses, so it is joined before the connection goes.
    WorkerThread m_worker;
};
