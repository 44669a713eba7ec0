#pragma once

#include <QByteArray>
#include <QList>

// Finds the frames in the bytes of a serial infrared line. Only frames whose
// FCS holds come out; bytes outside a frame, frames with a bad FCS, frames
// shorter than address, control and FCS, frames longer than the limit and
// frames cut off by a new BOF or a bad escape are dropped and counted.
class SirDeframer
{
public:
    // Address and control, 2048 information bytes and the FCS.
    static constexpr int DefaultMaxFrameSize = 2 + 2048 + 2;

    explicit SirDeframer(int maxFrameSize = DefaultMaxFrameSize);

    void receive(const char *data, int size);
    void receive(const QByteArray &bytes) { receive(bytes.constData(), bytes.size()); }
    // Good frames since the last call, without FCS, oldest first.
    QList<QByteArray> takeFrames();
    // True while a frame has begun and not ended.
    bool inFrame() const { return m_state != Hunting; }
    int droppedFrames() const { return m_dropped; }
    void reset();

private:
    enum State { Hunting, InFrame, Escaped };

    void append(char byte);
    void finish();
    void drop();

    const int m_maxFrameSize;
    State m_state = Hunting;
    QByteArray m_frame;
    QList<QByteArray> m_frames;
    int m_dropped = 0;
};
