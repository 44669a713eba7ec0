#pragma once

#include <QByteArray>

// Moves whole frames to and from a device; knows nothing of their contents.
class AbstractTransport
{
public:
    // True when the whole frame was written.
    virtual bool write(const QByteArray &frame) = 0;
    // True only when exactly `size` bytes were read into `out`.
    virtual bool read(QByteArray &out, int size) = 0;

protected:
    ~AbstractTransport() = default;
};
