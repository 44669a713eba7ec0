#pragma once

#include "irda/IrLapParameters.h"
#include "irda/IrTime.h"

// The terms of a connection after SNRM and UA, as the primary keeps them.
struct IrLapQos
{
    int baud = 9600;
    IrMicros maxTurnaround = 500 * IrMillisecond; // longest a station may send
    int peerDataSize = 64; // largest information field the peer takes
    int peerWindow = 1; // frames the peer takes before it must answer
    int peerAdditionalBofs = 10; // extra BOFs before each frame to the peer
    IrMicros peerMinTurnaround = 10 * IrMillisecond; // pause before sending to the peer
    IrMicros disconnectTime = 3 * IrSecond;
    IrMicros thresholdTime = 0;

    static IrLapQos negotiate(const IrLapParameters &ours, const IrLapParameters &theirs);
};
