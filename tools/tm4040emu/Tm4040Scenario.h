#pragma once

#include "Tm4040IrdaFaults.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// Faults the emulated device can show. They may be changed while the
// emulator runs (Tm4040Emulator::setFaults).
struct Tm4040Faults
{
    // Command letters the device does not answer at all, e.g. "p" or "rH".
    QByteArray silentCommands;
    // Command letters whose answer comes in two halves with a pause between.
    QByteArray splitCommands;
    int splitPauseMs = 300;
    // Command letters answered with only `shortAnswerBytes` bytes.
    QByteArray shortCommands;
    int shortAnswerBytes = 20;
    // Pause before every answer.
    int answerDelayMs = 0;
    // Speed of the emulated link in baud (10 bits a byte, like 8N1);
    // 0 sends as fast as the stream takes it.
    int baudRate = 0;
    // History transfer: the 1-based packet the device leaves out.
    int missingHistoryPacket = 0;
    // History transfer: the link drops after this many packets (1-based).
    int dropLinkAfterPacket = 0;
    // History memory: the 1-based record whose month reads 13.
    int impossibleDateRecord = 0;
    // IrDA mode only: lost and damaged frames, a busy or refusing device,
    // a second device, the speed limit and byte timing.
    Tm4040IrdaFaults irda;
};

// What the emulated dosimeter holds when it starts.
struct Tm4040Scenario
{
    quint32 serialNumber = 12345678; // up to 8 decimal digits
    quint8 firmwareVersion = 0x21;
    // The device clock. Null: the machine's clock. The clock runs unless
    // clockRunning is false; a frozen clock makes answers repeatable.
    QDateTime clock;
    bool clockRunning = true;
    int alarmHour = 7;
    int alarmMinute = 30;
    bool alarmEnabled = false;
    quint32 medThresholdRaw = 1000; // 6 digits, value x 100
    quint32 edThresholdRaw = 20000; // 8 digits, mSv x 1000
    int nextRecordHours = 0, nextRecordMinutes = 4, nextRecordSeconds = 59;
    int historyStepHours = 0, historyStepMinutes = 5, historyStepSeconds = 0;
    // Byte 26: bit 7 cyclic; bits 0 to 6 belong to the device.
    quint8 historyMode = 0x85;
    quint32 accumulatedDoseRaw = 123456; // unit 0.00001 mSv
    // The history memory, 16 bytes a record, oldest first.
    QList<QByteArray> records;
    // The record count the device reports in bytes 12 to 13; -1: the
    // number of records held.
    int reportedCount = -1;
    Tm4040Faults faults;

    // IrDA mode: the dosimeter's 32-bit device address (0: one drawn from
    // faults.irda.seed), the nickname it gives in discovery and the LSAP
    // selector of its IrCOMM service.
    quint32 irdaAddress = 0;
    QByteArray irdaNickname = "Watch RX4040 v0.1";
    quint8 irdaCommLsap = 0x0B;

    // A record laid out byte for byte as the device stores it: number
    // 0..999, flag byte, effective dose in 0.001 mSv (7 digits), dose rate
    // in 0.01 uSv/h (6 digits), local date-time.
    static QByteArray makeRecord(int number, quint8 flags, quint32 ed, quint32 med,
                                 const QDateTime &dateTime);
    // `count` records `stepSeconds` apart from `start`, numbered from 1,
    // with a rising dose.
    static QList<QByteArray> generateRecords(int count, const QDateTime &start,
                                             int stepSeconds = 300);
    // Reads records from a text file: one record a line as 16 hexadecimal
    // bytes (spaces allowed); empty lines and lines starting with '#' are
    // skipped.
    static bool loadRecords(const QString &path, QList<QByteArray> *records, QString *error);
};
