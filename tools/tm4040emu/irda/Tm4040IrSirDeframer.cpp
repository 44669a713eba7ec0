#include "Tm4040IrSirDeframer.h"

#include "Tm4040IrSirFramer.h"

namespace {

// Address, control and the two FCS bytes.
const int ShortestFrame = 4;

} // namespace

void Tm4040IrSirDeframer::drop()
{
    ++m_dropped;
    m_frame.clear();
    m_state = State::Hunt;
}

void Tm4040IrSirDeframer::feed(const char *data, int size)
{
    for (int i = 0; i < size; ++i) {
        const char byte = data[i];
        if (byte == Tm4040IrSirFramer::Bof) {
            // A BOF inside a frame cuts it short; the new frame starts here.
            if (m_state != State::Hunt && !m_frame.isEmpty())
                drop();
            m_frame.clear();
            m_state = State::Frame;
            continue;
        }
        if (m_state == State::Hunt)
            continue; // extra BOFs and noise between frames
        if (byte == Tm4040IrSirFramer::Eof) {
            if (m_state == State::Escaped || m_frame.size() < ShortestFrame) {
                drop();
                continue;
            }
            m_ready.append(m_frame);
            m_frame.clear();
            m_state = State::Hunt;
            continue;
        }
        if (m_state == State::Frame && byte == Tm4040IrSirFramer::Escape) {
            m_state = State::Escaped;
            continue;
        }
        m_frame.append(m_state == State::Escaped ? char(byte ^ 0x20) : byte);
        m_state = State::Frame;
        if (m_frame.size() > m_maxFrame)
            drop();
    }
}

bool Tm4040IrSirDeframer::takeFrame(QByteArray *frameWithFcs)
{
    if (m_ready.isEmpty())
        return false;
    *frameWithFcs = m_ready.takeFirst();
    return true;
}

void Tm4040IrSirDeframer::clear()
{
    m_frame.clear();
    m_ready.clear();
    m_state = State::Hunt;
}
