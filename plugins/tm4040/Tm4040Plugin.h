#pragma once

#include "BaseIrDAPlugin.h"

#include <QByteArray>

#include <mutex>

// The TM4040 command set: every operation is one or more frames, each
// answered by a 56-byte block (history: by 48-byte packets).
class Tm4040Plugin final : public BaseIrDAPlugin
{
public:
    Tm4040Plugin();
    ~Tm4040Plugin() = default;

    bool isSingleChannel() override;
    bool connectDevice() override;
    bool readDeviceInfo(DeviceInfo *info) override;
    QDateTime readDeviceTime() override;
    bool writeTime(const QDateTime &dateTime) override;
    bool readHistory(QList<HistoryEvent *> &events, bool restart) override;
    bool clearHistory() override;
    bool readSettings(DeviceSettings *settings) override;
    bool writeSettings(DeviceSettings *settings, bool flag) override;
    bool readAccumulatedED(double *doseMSv) override;
    bool resetAccumulatedED() override;

    // Who hears how far a history download has come (null: nobody).
    void setProgressCallback(ProgressCallback callback, void *context);

    // The steps the operations are made of.
    bool readAllParams(QByteArray &block);
    bool writeThresholds(double rate, double dose);
    bool writeAlarm(int minute, int hour, bool enabled);
    bool writeHistorySettings(const Tm4040Settings &settings);

private:
    // Logs "<name> cmd =", writes the frame and reads the 56-byte answer.
    bool command(const char *name, const QByteArray &frame);
    void reportProgress(int received, int total);

    std::mutex m_progressMutex;
    ProgressCallback m_progress = nullptr;
    void *m_progressContext = nullptr;
};
