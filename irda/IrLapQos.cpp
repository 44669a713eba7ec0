#include "irda/IrLapQos.h"

IrLapQos IrLapQos::negotiate(const IrLapParameters &ours, const IrLapParameters &theirs)
{
    IrLapQos qos;
    qos.baud = IrLapParameters::baudOf(ours.baudRates & theirs.baudRates);
    if (qos.baud == 0 || qos.baud > 115200)
        qos.baud = 9600;
    const quint8 disconnect = ours.linkDisconnect & theirs.linkDisconnect;
    qos.disconnectTime
        = IrLapParameters::disconnectSecondsOf(disconnect ? disconnect : quint8(0x01)) * IrSecond;
    qos.thresholdTime = qos.disconnectTime > 3 * IrSecond ? 3 * IrSecond : 0;
    qos.maxTurnaround = qMin(IrLapParameters::maxTurnaroundMicrosOf(ours.maxTurnaround),
                             IrLapParameters::maxTurnaroundMicrosOf(theirs.maxTurnaround));
    qos.peerDataSize = IrLapParameters::dataSizeOf(theirs.dataSizes);
    qos.peerWindow = IrLapParameters::windowSizeOf(theirs.windowSizes);
    qos.peerAdditionalBofs = IrLapParameters::additionalBofsOf(theirs.additionalBofs, qos.baud);
    qos.peerMinTurnaround = IrLapParameters::minTurnaroundMicrosOf(theirs.minTurnaround);
    return qos;
}
