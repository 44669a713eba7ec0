#include "IrFrameTrace.h"

#include "Tm4040Log.h"

IrFrameTrace::IrFrameTrace(const QString &direction)
    : m_direction(direction)
{ }

QStringList IrFrameTrace::take(const QByteArray &frame)
{
    if (!m_last.isNull() && frame == m_last) {
        ++m_repeats;
        return {};
    }
    QStringList lines = finish();
    m_last = frame;
    lines << QStringLiteral("irda %1 = %2").arg(m_direction, hexBytes(frame));
    return lines;
}

QStringList IrFrameTrace::finish()
{
    QStringList lines;
    if (m_repeats > 0)
        lines << QStringLiteral("irda %1: the same frame %2 more times")
                     .arg(m_direction)
                     .arg(m_repeats);
    m_last = QByteArray();
    m_repeats = 0;
    return lines;
}
