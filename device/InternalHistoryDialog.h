#pragma once

#include "db/Event.h"
#include "device/HistoryReader.h"
#include "device/WorkerThread.h"
#include "dose/ChartWidget.h"

#include <QDate>
#include <QDialog>
#include <QList>
#include <QScopedPointer>

class DeviceConnection;

namespace Ui {
class InternalHistoryDialog;
}

// Downloads a found device's history and shows the part of it that falls in
// a chosen period as a table and a chart, without storing anything.
class InternalHistoryDialog : public QDialog
{
    Q_OBJECT
public:
    // `connection` belongs to the finder dialog and holds the found device.
    explicit InternalHistoryDialog(DeviceConnection *connection, QWidget *parent = nullptr);
    // Stops a running download and waits for its worker.
    ~InternalHistoryDialog() override;

    bool isReading() const { return m_reading; }
    const QList<VDB::Event> &events() const { return m_events; }

    // The state column's text for an event's flags, e.g. "ЭД↑ МЭД↑ " or "Норма".
    static QString stateText(const VDB::Event &event);

    // The chart's series for the events of [from, to], in list order: the
    // dose in the display milli-unit, the rate in µSv/h (the chart converts
    // it as on the dose pages).
    struct ChartData
    {
        ChartWidget::Series doses;
        ChartWidget::Series rates;
    };
    static ChartData chartData(const QList<VDB::Event> &events, const QDateTime &from,
                               const QDateTime &to);

public slots:
    void intervalChanged();
    void historyReaded();
    void addEvent(VDB::Event event);
    void printReport();
    // The report's fields and images, asked for while it is laid out.
    void getValue(const int recNo, const QString paramName, QVariant &paramValue,
                  const int reportPage);
    void getValueImage(int recNo, QString paramName, QImage &paramValue, int reportPage);
    // While the download runs the window closes only once it has ended.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private slots:
    void showProgress(int percent);
    void showDownload(int received, int total);

private:
    void startReading();
    void refresh();
    void setControlsEnabled(bool enabled);

    QScopedPointer<Ui::InternalHistoryDialog> ui;
    DeviceConnection *m_connection;
    QList<VDB::Event> m_events;
    bool m_started = false;
    bool m_reading = false;
    bool m_closeRequested = false;
    HistoryReader::StopFlag m_stop;
    WorkerThread m_worker;
};
