#include "Tm4040FrameSplitter.h"

namespace {

const QByteArray Prefix("RX3008M");
const int PrefixSize = 7;
const int LongestFrame = PrefixSize + 15 + 1;
const char Letters[] = {'p', 't', 'b', 'r', 'h', 'd', 'H'};

} // namespace

int Tm4040FrameSplitter::payloadLength(char letter)
{
    switch (letter) {
    case 'p':
    case 'd':
        return 0;
    case 't':
        return 6;
    case 'b':
    case 'H':
        return 3;
    case 'r':
        return 7;
    case 'h':
        return 15;
    default:
        return -1;
    }
}

bool Tm4040FrameSplitter::next(QByteArray *frame, bool quiet)
{
    for (;;) {
        // Skip anything before a prefix.
        const int start = m_buffer.indexOf(Prefix);
        if (start < 0) {
            if (m_buffer.size() > PrefixSize - 1)
                m_buffer.remove(0, m_buffer.size() - (PrefixSize - 1));
            return false;
        }
        m_buffer.remove(0, start);

        int exact = -1;
        int shortest = -1;
        for (char letter : Letters) {
            const int length = PrefixSize + payloadLength(letter) + 1;
            if (length > m_buffer.size() || m_buffer.at(length - 1) != letter)
                continue;
            if (length == m_buffer.size())
                exact = length;
            if (shortest < 0 || length < shortest)
                shortest = length;
        }
        int take = -1;
        if (exact == LongestFrame || (quiet && exact > 0))
            take = exact;
        else if (quiet && shortest > 0)
            take = shortest;
        else if (m_buffer.size() >= LongestFrame && shortest > 0)
            take = shortest;
        if (take > 0) {
            *frame = m_buffer.left(take);
            m_buffer.remove(0, take);
            return true;
        }
        // Garbage after a prefix that can no longer become a frame: look
        // for the next prefix.
        if (m_buffer.size() >= LongestFrame || (quiet && m_buffer.indexOf(Prefix, 1) > 0)) {
            m_buffer.remove(0, 1);
            continue;
        }
        return false;
    }
}
