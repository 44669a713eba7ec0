#pragma once

#include <QString>

// The raw serial port under both links: 8N1 without flow control or line
// discipline, non-blocking, at a speed that can change while open.
class SerialLine
{
public:
    static bool isSupportedSpeed(int baud);
    // Opens `path` raw at `baud` with DTR and RTS raised (they feed many
    // infrared dongles); the descriptor, or -1 with `error` set.
    static int openRaw(const QString &path, int baud, QString *error);
    // Waits until what was written has left, then changes the speed.
    static bool setSpeed(int fd, int baud);
};
