#pragma once

#include <QtGlobal>

// What the emulator's IrDA mode has seen and done since it started
// (Tm4040Emulator::irdaCounters()). Frame counts are IrLAP frames.
struct Tm4040IrdaCounters
{
    qint64 framesReceived = 0; // from the host, whole and with a good FCS
    qint64 badFrames = 0; // from the host, dropped: bad FCS, bad escape, too long
    qint64 framesSent = 0; // put on the line by the devices (lost ones included)
    qint64 droppedToDevice = 0; // fault actions, per direction
    qint64 droppedFromDevice = 0;
    qint64 corruptedToDevice = 0;
    qint64 corruptedFromDevice = 0;
    qint64 hostSpeedMismatches = 0; // frames lost to a wrong host speed

    qint64 iFramesReceived = 0; // in sequence, taken by the device
    qint64 iFramesSent = 0; // first transmissions
    qint64 retransmissions = 0; // I-frames sent again
    qint64 rnrSent = 0;
    qint64 rejSent = 0;
    qint64 protocolErrors = 0; // frames that broke the rules (wrong Nr...)

    int discoveryAnswers = 0; // XID responses, all devices
    int linkConnections = 0; // SNRM answered with UA
    int refusals = 0; // SNRM answered with DM
    int disconnects = 0; // DISC answered with UA
    int linkLosses = 0; // links dropped by the WD-timer
    int iasQueries = 0;
    int commConnections = 0; // IrCOMM connections accepted

    int baud = 9600; // the link's speed now
};
