#include "Tm4040IrLmp.h"

#include <utility>

namespace {

const quint8 ControlBit = 0x80;
const quint8 ConfirmBit = 0x80;
const quint8 ConnectOperation = 0x01;
const quint8 DisconnectOperation = 0x02;
const quint8 AccessModeOperation = 0x03;
const quint8 IasSelector = 0x00;
const quint8 NoClient = 0x08;
const quint8 DataOnDisconnected = 0x06;
const quint8 Unsupported = 0xFF;
// Requests longer than this are not joined further.
const int LongestIasRequest = 1024;

} // namespace

Tm4040IrLmp::Tm4040IrLmp(const Tm4040IrIasServer &ias, const QList<quint8> &serviceSelectors)
    : m_ias(ias)
    , m_services(serviceSelectors)
{ }

void Tm4040IrLmp::control(quint8 local, quint8 peer, quint8 operation, quint8 parameter,
                          const QByteArray &userData)
{
    QByteArray pdu;
    pdu.append(char(ControlBit | peer));
    pdu.append(char(local));
    pdu.append(char(operation));
    pdu.append(char(parameter));
    m_outgoing.append(pdu + userData);
}

void Tm4040IrLmp::receive(const QByteArray &pdu)
{
    if (pdu.size() < 2) {
        ++m_protocolErrors;
        return;
    }
    const quint8 local = quint8(pdu.at(0)) & 0x7F;
    const quint8 peer = quint8(pdu.at(1)) & 0x7F;
    if (quint8(pdu.at(0)) & ControlBit) {
        receiveControl(local, peer, pdu);
        return;
    }
    const Connection connection(local, peer);
    if (!m_connections.contains(connection)) {
        control(local, peer, DisconnectOperation, DataOnDisconnected);
        return;
    }
    if (local == IasSelector)
        receiveIas(peer, pdu.mid(2));
    else
        m_events.append({Event::Type::Data, local, peer, pdu.mid(2)});
}

void Tm4040IrLmp::receiveControl(quint8 local, quint8 peer, const QByteArray &pdu)
{
    if (pdu.size() < 4) {
        ++m_protocolErrors;
        return;
    }
    const quint8 operation = quint8(pdu.at(2));
    const Connection connection(local, peer);
    switch (operation) {
    case ConnectOperation:
        if (local == IasSelector) {
            m_connections.insert(connection, QByteArray());
            control(local, peer, ConnectOperation | ConfirmBit, 0x00);
        } else if (m_services.contains(local)) {
            // A repeated request starts the connection again.
            if (m_connections.remove(connection) > 0)
                m_events.append({Event::Type::Disconnect, local, peer, QByteArray()});
            m_events.append({Event::Type::Connect, local, peer, pdu.mid(4)});
        } else {
            control(local, peer, DisconnectOperation, NoClient);
        }
        break;
    case DisconnectOperation:
        if (m_connections.remove(connection) > 0 && local != IasSelector)
            m_events.append({Event::Type::Disconnect, local, peer, pdu.mid(4)});
        break;
    case AccessModeOperation:
        // No exclusive mode here.
        control(local, peer, AccessModeOperation | ConfirmBit, Unsupported, pdu.mid(4, 1));
        break;
    default:
        ++m_protocolErrors;
        break;
    }
}

void Tm4040IrLmp::receiveIas(quint8 peer, const QByteArray &data)
{
    if (data.isEmpty())
        return;
    QByteArray &request = m_connections[Connection(IasSelector, peer)];
    const quint8 header = quint8(data.at(0));
    if (header & 0x40) // an acknowledgement of ours: nothing to answer
        return;
    // Frames of a long request carry the control byte each; join the rest.
    if (request.isEmpty())
        request = data;
    else if (request.size() < LongestIasRequest)
        request.append(data.mid(1));
    if (!(header & 0x80))
        return;
    const QByteArray answer = m_ias.answer(request);
    request.clear();
    ++m_iasQueries;
    sendData(IasSelector, peer, answer);
}

void Tm4040IrLmp::acceptConnect(quint8 local, quint8 peer, const QByteArray &userData)
{
    m_connections.insert(Connection(local, peer), QByteArray());
    control(local, peer, ConnectOperation | ConfirmBit, 0x00, userData);
}

void Tm4040IrLmp::disconnect(quint8 local, quint8 peer, quint8 reason)
{
    m_connections.remove(Connection(local, peer));
    control(local, peer, DisconnectOperation, reason);
}

void Tm4040IrLmp::sendData(quint8 local, quint8 peer, const QByteArray &data)
{
    QByteArray pdu;
    pdu.append(char(peer));
    pdu.append(char(local));
    m_outgoing.append(pdu + data);
}

void Tm4040IrLmp::reset()
{
    m_connections.clear();
    m_outgoing.clear();
}

QList<Tm4040IrLmp::Event> Tm4040IrLmp::takeEvents()
{
    return std::exchange(m_events, {});
}

QList<QByteArray> Tm4040IrLmp::takeOutgoing()
{
    return std::exchange(m_outgoing, {});
}
