#pragma once

#include <QByteArray>
#include <QList>

// Finds SIR frames in the bytes a host sends: skips everything outside
// BOF ... EOF, undoes the escapes and hands out each frame with its FCS
// still attached, unchecked (the caller checks it, after any fault it
// plays). Frames cut short by a new BOF, ended by an escaped EOF, shorter
// than address, control and FCS, or longer than `maxFrame` are dropped
// and counted.
class Tm4040IrSirDeframer
{
public:
    explicit Tm4040IrSirDeframer(int maxFrame = 2 + 2048 + 2)
        : m_maxFrame(maxFrame)
    { }

    void feed(const char *data, int size);
    bool takeFrame(QByteArray *frameWithFcs);
    void clear();

    qint64 droppedFrames() const { return m_dropped; }

private:
    enum class State { Hunt, Frame, Escaped };

    void drop();

    int m_maxFrame;
    State m_state = State::Hunt;
    QByteArray m_frame;
    QList<QByteArray> m_ready;
    qint64 m_dropped = 0;
};
