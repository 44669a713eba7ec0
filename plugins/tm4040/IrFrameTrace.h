#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The log lines of one direction of the infrared frame trace. A connected
// link with nothing to say polls many times a second with the same frame;
// a line for each would push the rest of the diagnostics log out within
// minutes. A frame that repeats the one before is counted instead, and the
// count is logged when the run ends.
class IrFrameTrace
{
public:
    explicit IrFrameTrace(const QString &direction);

    // The lines to log for `frame`: none while it repeats the last one.
    QStringList take(const QByteArray &frame);
    // The count of a run of repeats still open, if any; then starts afresh.
    QStringList finish();

private:
    QString m_direction;
    QByteArray m_last;
    int m_repeats = 0;
};
