#include "irda/SirDeframer.h"

#include "irda/IrFcs.h"
#include "irda/SirFrame.h"

SirDeframer::SirDeframer(int maxFrameSize)
    : m_maxFrameSize(qMax(4, maxFrameSize))
{ }

void SirDeframer::reset()
{
    m_state = Hunting;
    m_frame.clear();
    m_frames.clear();
}

QList<QByteArray> SirDeframer::takeFrames()
{
    QList<QByteArray> frames;
    frames.swap(m_frames);
    return frames;
}

void SirDeframer::drop()
{
    ++m_dropped;
    m_frame.clear();
}

void SirDeframer::append(char byte)
{
    if (m_frame.size() >= m_maxFrameSize) {
        // Oversized: drop it and wait for the next BOF.
        drop();
        m_state = Hunting;
        return;
    }
    m_frame.append(byte);
}

void SirDeframer::finish()
{
    // Address, control and the two FCS bytes at least.
    if (m_frame.size() < 4 || !IrFcs::holds(m_frame.constData(), m_frame.size())) {
        drop();
        return;
    }
    m_frame.chop(2);
    m_frames.append(m_frame);
    m_frame.clear();
}

void SirDeframer::receive(const char *data, int size)
{
    for (int i = 0; i < size; ++i) {
        const char byte = data[i];
        switch (m_state) {
        case Hunting:
            if (byte == SirFrame::Bof) {
                m_frame.clear();
                m_state = InFrame;
            }
            break;
        case InFrame:
            if (byte == SirFrame::Bof) {
                // Repeated BOFs open a frame; a BOF inside one cuts it off.
                if (!m_frame.isEmpty())
                    drop();
            } else if (byte == SirFrame::Eof) {
                finish();
                m_state = Hunting;
            } else if (byte == SirFrame::Escape) {
                m_state = Escaped;
            } else {
                append(byte);
            }
            break;
        case Escaped:
            if (byte == SirFrame::Bof) {
                drop();
                m_state = InFrame;
            } else if (byte == SirFrame::Eof || byte == SirFrame::Escape) {
                drop();
                m_state = Hunting;
            } else {
                m_state = InFrame;
                append(char(byte ^ SirFrame::EscapeXor));
            }
            break;
        }
    }
}
