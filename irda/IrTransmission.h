#pragma once

#include <QByteArray>

// Bytes for the line and the speed to send them at.
struct IrTransmission
{
    QByteArray line; // ready for the port: BOFs, escaped frame, FCS, EOF
    QByteArray frame; // the frame itself, for the log
    int baud = 9600;
};
