#include "irda/SirFrame.h"

#include "irda/IrFcs.h"

namespace {

void appendEscaped(QByteArray &line, const QByteArray &bytes)
{
    for (const char byte : bytes) {
        if (byte == SirFrame::Bof || byte == SirFrame::Eof || byte == SirFrame::Escape) {
            line.append(SirFrame::Escape);
            line.append(char(byte ^ SirFrame::EscapeXor));
        } else {
            line.append(byte);
        }
    }
}

} // namespace

QByteArray SirFrame::encode(const QByteArray &frame, int additionalBofs)
{
    QByteArray line;
    line.reserve(qMax(0, additionalBofs) + frame.size() * 2 + 6);
    if (additionalBofs > 0)
        line.append(additionalBofs, Xbof);
    line.append(Bof);
    appendEscaped(line, frame);
    appendEscaped(line, IrFcs::bytesFor(frame));
    line.append(Eof);
    return line;
}
