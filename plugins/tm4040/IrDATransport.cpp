#include "IrDATransport.h"

#include "Tm4040Log.h"

#include <QMutex>
#include <QSerialPortInfo>
#include <QThread>

#include <atomic>

namespace {

std::atomic<int> answerTimeoutOverride {0};

QMutex discoveryPortsMutex;
QStringList discoveryPortsOverride;

QStringList discoveryPorts()
{
    {
        QMutexLocker locker(&discoveryPortsMutex);
        if (!discoveryPortsOverride.isEmpty())
            return discoveryPortsOverride;
    }
    QStringList ports;
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos)
        ports.append(info.systemLocation());
    return ports;
}

} // namespace

void IrDATransport::setAnswerTimeoutMs(int ms)
{
    answerTimeoutOverride = ms;
}

int IrDATransport::answerTimeoutMs()
{
    const int override = answerTimeoutOverride;
    if (override > 0)
        return override;
    const int fromEnvironment = qEnvironmentVariableIntValue("TM4040_ANSWER_TIMEOUT_MS");
    return fromEnvironment > 0 ? fromEnvironment : DefaultAnswerTimeoutMs;
}

void IrDATransport::setDiscoveryPorts(const QStringList &ports)
{
    QMutexLocker locker(&discoveryPortsMutex);
    discoveryPortsOverride = ports;
}

void IrDATransport::setDiscoveryProbe(const QByteArray &request, int answerSize, AnswerCheck check)
{
    m_probeRequest = request;
    m_probeAnswerSize = answerSize;
    m_probeCheck = check;
}

bool IrDATransport::connectTo(const QString &deviceName, const QString &serviceName, bool nineWire)
{
    // The device name is not compared (any device in range will do); the
    // service is looked up by its class name over IrDA.
    Q_UNUSED(deviceName)
    m_serviceName = serviceName.isEmpty() ? QStringLiteral("IrDA:IrCOMM") : serviceName;
    m_nineWire = nineWire;
    close();
    const QString link = qEnvironmentVariable("TM4040_LINK");
    if (link.isEmpty())
        return discover();
    const LinkEndpoint endpoint = LinkEndpoint::parse(link);
    if (!endpoint.isValid()) {
        qCDebug(lcTm4040).noquote() << "Connect error = bad TM4040_LINK" << link;
        return false;
    }
    return open(endpoint);
}

bool IrDATransport::openIrDA(const QString &path, int maxBaud, int rounds)
{
    QStringList refusals;
    QString error;
    IrDALink::Service service;
    service.className = m_serviceName.toUtf8();
    service.nineWire = m_nineWire;
    const bool ok = m_irda.open(path, maxBaud, rounds, service, &refusals, &error);
    for (const QString &refusal : qAsConst(refusals))
        qCDebug(lcTm4040).noquote() << "Connect error =" << refusal;
    if (!ok)
        qCDebug(lcTm4040).noquote() << "IrDA link on" << path << "not open:" << error;
    return ok;
}

bool IrDATransport::open(const LinkEndpoint &endpoint)
{
    if (endpoint.kind == LinkEndpoint::IrDA)
        return openIrDA(endpoint.path, endpoint.baud, DiscoveryRounds);

    QString error;
    const bool ok = endpoint.kind == LinkEndpoint::Tcp
        ? m_channel.openTcp(endpoint.host, endpoint.port, qMin(answerTimeoutMs(), WriteTimeoutMs),
                            &error)
        : m_channel.openSerial(endpoint.path, endpoint.baud, &error);
    if (!ok) {
        const QString where = endpoint.kind == LinkEndpoint::Tcp
            ? QStringLiteral("%1:%2").arg(endpoint.host).arg(endpoint.port)
            : endpoint.path;
        qCDebug(lcTm4040).noquote() << "Connect error =" << error << where;
    }
    return ok;
}

bool IrDATransport::discover()
{
    const unsigned closes = m_closes;
    for (int round = 0; round < DiscoveryRounds; ++round) {
        if (round > 0)
            QThread::msleep(DiscoveryPauseMs);
        const QStringList ports = discoveryPorts();
        // A dongle answers discovery; an adapter that passes the stream
        // through answers the parameter request.
        for (const QString &port : ports) {
            if (m_closes != closes)
                return false;
            if (openIrDA(port, LinkEndpoint::DefaultIrDABaud, 1))
                return true;
        }
        for (const QString &port : ports) {
            if (m_closes != closes)
                return false;
            if (probe(port))
                return true;
        }
    }
    return false;
}

bool IrDATransport::probe(const QString &path)
{
    if (m_probeRequest.isEmpty())
        return false;
    QString error;
    if (!m_channel.openSerial(path, LinkEndpoint::DefaultBaud, &error)) {
        qCDebug(lcTm4040).noquote() << "Connect error =" << error << path;
        return false;
    }
    QByteArray answer;
    if (m_channel.writeAll(m_probeRequest, WriteTimeoutMs)
        && m_channel.readExact(answer, m_probeAnswerSize,
                               qMin(answerTimeoutMs(), ProbeTimeoutMs))) {
        // Enough bytes alone are no proof: a GPS receiver or a modem that
        // streams data sends them too.
        if (!m_probeCheck || m_probeCheck(answer))
            return true;
        qCDebug(lcTm4040).noquote()
            << "Connect error = not a device answer" << path << hexBytes(answer);
    }
    m_channel.close();
    return false;
}

bool IrDATransport::write(const QByteArray &frame)
{
    const bool irda = m_irda.isOpen();
    if (!irda && !m_channel.isOpen())
        return false;
    // Every frame starts a new exchange: what is left of an answer that
    // came too late must not be taken for the answer to this frame.
    const int stale = irda ? m_irda.discardInput() : m_channel.discardInput();
    if (stale > 0)
        qCDebug(lcTm4040) << "discarded stale bytes =" << stale;
    return irda ? m_irda.write(frame, WriteTimeoutMs) : m_channel.writeAll(frame, WriteTimeoutMs);
}

bool IrDATransport::read(QByteArray &out, int size)
{
    if (m_channel.isOpen())
        return m_channel.readExact(out, size, answerTimeoutMs());
    return m_irda.read(out, size, answerTimeoutMs());
}

void IrDATransport::close()
{
    ++m_closes;
    m_channel.close();
    m_irda.close();
}
