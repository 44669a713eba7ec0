#pragma once

#include <QByteArray>

// Cuts the byte stream a host sends into TM4040 frames: "RX3008M", a
// payload whose length depends on the command, the command letter.
//
// A frame carries no length, so a short frame could be the start of a
// longer one whose payload happens to hold a command letter. A frame
// shorter than the longest is therefore taken only once the host has been
// quiet for a moment (the host writes a frame in one go).
class Tm4040FrameSplitter
{
public:
    void append(const QByteArray &bytes) { m_buffer.append(bytes); }
    void clear() { m_buffer.clear(); }
    bool isEmpty() const { return m_buffer.isEmpty(); }

    // Takes the next frame, if one is complete. `quiet` says that no byte
    // has come for a while.
    bool next(QByteArray *frame, bool quiet);

    // Payload length of a command letter, or -1 for an unknown letter.
    static int payloadLength(char letter);

private:
    QByteArray m_buffer;
};
