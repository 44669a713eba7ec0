#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// A device that answered a discovery: its 32-bit device address and the
// discovery information of its XID response (service hint bytes, character
// set and nickname).
struct IrDiscoveredDevice
{
    static constexpr quint8 HintIrComm = 0x04; // in the second hint byte

    quint32 address = 0;
    QByteArray hints;
    quint8 charset = 0;
    QByteArray nickname;

    // Reads the discovery information; false when its hint bytes run out.
    static bool parseInfo(const QByteArray &info, IrDiscoveredDevice *device);
    QString name() const;
    bool offersIrComm() const;
    // "0x1234abcd \"name\"" for the log.
    QString describe() const;
};
