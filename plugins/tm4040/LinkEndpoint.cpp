#include "LinkEndpoint.h"

LinkEndpoint LinkEndpoint::serial(const QString &path, int baud)
{
    LinkEndpoint endpoint;
    endpoint.kind = Serial;
    endpoint.path = path;
    endpoint.baud = baud;
    return endpoint;
}

LinkEndpoint LinkEndpoint::parse(const QString &text)
{
    const QString value = text.trimmed();
    const bool irda = value.startsWith(QLatin1String("irda:"));
    if (irda || value.startsWith(QLatin1String("serial:"))) {
        QString path = value.mid(irda ? 5 : 7);
        int baud = irda ? DefaultIrDABaud : DefaultBaud;
        // A trailing ":digits" is the speed; device paths hold no colon.
        const int colon = path.lastIndexOf(QLatin1Char(':'));
        if (colon >= 0) {
            bool ok = false;
            baud = path.mid(colon + 1).toInt(&ok);
            if (!ok || baud <= 0)
                return LinkEndpoint();
            path.truncate(colon);
        }
        if (path.isEmpty())
            return LinkEndpoint();
        LinkEndpoint endpoint = serial(path, baud);
        if (irda)
            endpoint.kind = IrDA;
        return endpoint;
    }
    if (value.startsWith(QLatin1String("tcp:"))) {
        const QString rest = value.mid(4);
        const int colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon <= 0)
            return LinkEndpoint();
        bool ok = false;
        const int port = rest.mid(colon + 1).toInt(&ok);
        if (!ok || port <= 0 || port > 65535)
            return LinkEndpoint();
        LinkEndpoint endpoint;
        endpoint.kind = Tcp;
        endpoint.host = rest.left(colon);
        // Allow "[::1]" for IPv6 literals.
        if (endpoint.host.startsWith(QLatin1Char('[')) && endpoint.host.endsWith(QLatin1Char(']')))
            endpoint.host = endpoint.host.mid(1, endpoint.host.size() - 2);
        endpoint.port = quint16(port);
        return endpoint;
    }
    return LinkEndpoint();
}
