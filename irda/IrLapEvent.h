#pragma once

#include "irda/IrDiscoveredDevice.h"

#include <QByteArray>
#include <QList>
#include <QString>

// What the link layer tells the layer above.
struct IrLapEvent
{
    enum Kind {
        DiscoveryDone, // devices: who answered; reason set when the medium stayed busy
        Connected,
        ConnectFailed, // reason: refused or not answered
        Data, // data: one information field, in order, never damaged
        Threshold, // no answer for the threshold time; still trying
        Disconnected, // after our DISC (reason empty) or the peer's DM/RD
        LinkLost, // no answer within the disconnect time
    };

    Kind kind = Data;
    QByteArray data;
    QList<IrDiscoveredDevice> devices;
    QString reason;
};
