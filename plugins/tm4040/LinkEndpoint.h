#pragma once

#include <QString>

// Where the link to the dosimeter goes, as written in TM4040_LINK:
// "irda:/dev/ttyUSB0" (an infrared dongle; "irda:/dev/ttyUSB0:9600" caps
// the speed offered), "serial:/dev/ttyUSB0", "serial:/dev/ttyUSB0:115200"
// or "tcp:HOST:PORT".
struct LinkEndpoint
{
    enum Kind { Invalid, Serial, Tcp, IrDA };

    Kind kind = Invalid;
    QString path; // serial device
    int baud = 9600; // serial speed, 8N1; for IrDA the highest speed offered
    QString host;
    quint16 port = 0;

    static constexpr int DefaultBaud = 9600;
    static constexpr int DefaultIrDABaud = 115200;

    bool isValid() const { return kind != Invalid; }
    static LinkEndpoint parse(const QString &text);
    static LinkEndpoint serial(const QString &path, int baud = DefaultBaud);
};
