#include "Tm4040Log.h"

Q_LOGGING_CATEGORY(lcTm4040, "orvane.tm4040")

QString hexBytes(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}
