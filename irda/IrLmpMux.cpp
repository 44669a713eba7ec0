#include "irda/IrLmpMux.h"

#include "irda/IasMessage.h"

namespace {

constexpr int MaxQuerySize = 1024;

} // namespace

IrLmpMux::IrLmpMux(const QByteArray &deviceName)
    : m_deviceName(deviceName)
{ }

QList<QByteArray> IrLmpMux::takeOutgoing()
{
    QList<QByteArray> out;
    out.swap(m_out);
    return out;
}

QList<IrLmpMux::Indication> IrLmpMux::takeIndications()
{
    QList<Indication> indications;
    indications.swap(m_indications);
    return indications;
}

IrLmpMux::Connection *IrLmpMux::find(quint8 local, quint8 remote)
{
    for (Connection &connection : m_connections) {
        if (connection.local == local && connection.remote == remote)
            return &connection;
    }
    return nullptr;
}

IrLmpMux::Connection *IrLmpMux::findLocal(quint8 local)
{
    for (Connection &connection : m_connections) {
        if (connection.local == local && !connection.server)
            return &connection;
    }
    return nullptr;
}

bool IrLmpMux::isOpen(quint8 local) const
{
    for (const Connection &connection : m_connections) {
        if (connection.local == local && !connection.server)
            return connection.open;
    }
    return false;
}

void IrLmpMux::reset()
{
    m_connections.clear();
    m_out.clear();
}

bool IrLmpMux::connect(quint8 local, quint8 remote, const QByteArray &userData)
{
    if (local == IrLmpPdu::IasSelector || local > IrLmpPdu::MaxSelector
        || remote > IrLmpPdu::MaxSelector || findLocal(local)) {
        return false;
    }
    Connection connection;
    connection.local = local;
    connection.remote = remote;
    m_connections.append(connection);
    m_out.append(IrLmpPdu::controlPdu(remote, local, IrLmpPdu::Connect, 0x00, userData));
    return true;
}

bool IrLmpMux::send(quint8 local, const QByteArray &data)
{
    const Connection *connection = findLocal(local);
    if (!connection || !connection->open)
        return false;
    m_out.append(IrLmpPdu::dataPdu(connection->remote, local, data));
    return true;
}

void IrLmpMux::disconnect(quint8 local, quint8 reason)
{
    for (int i = 0; i < m_connections.size(); ++i) {
        const Connection &connection = m_connections.at(i);
        if (connection.local == local && !connection.server) {
            m_out.append(
                IrLmpPdu::controlPdu(connection.remote, local, IrLmpPdu::Disconnect, reason));
            m_connections.removeAt(i);
            return;
        }
    }
}

void IrLmpMux::receive(const QByteArray &bytes)
{
    IrLmpPdu pdu;
    if (!IrLmpPdu::parse(bytes, &pdu)) {
        ++m_rejected;
        return;
    }
    if (pdu.control)
        receiveControl(pdu);
    else
        receiveData(pdu);
}

void IrLmpMux::receiveControl(const IrLmpPdu &pdu)
{
    // Our LSAP is the PDU's destination, the peer's its source.
    Connection *connection = find(pdu.destination, pdu.source);
    switch (pdu.opcode) {
    case IrLmpPdu::Connect:
        if (pdu.destination == IrLmpPdu::IasSelector && !connection) {
            Connection server;
            server.local = IrLmpPdu::IasSelector;
            server.remote = pdu.source;
            server.open = true;
            server.server = true;
            m_connections.append(server);
            m_out.append(IrLmpPdu::controlPdu(pdu.source, pdu.destination,
                                              IrLmpPdu::Connect | IrLmpPdu::Confirm, 0x00));
        } else if (!connection || !connection->server) {
            // Nothing of ours listens there.
            m_out.append(IrLmpPdu::controlPdu(pdu.source, pdu.destination, IrLmpPdu::Disconnect,
                                              IrLmpPdu::NoClient));
        }
        break;
    case IrLmpPdu::Connect | IrLmpPdu::Confirm:
        if (connection && !connection->server && !connection->open) {
            connection->open = true;
            Indication indication;
            indication.kind = Indication::ConnectConfirm;
            indication.local = connection->local;
            indication.data = pdu.data;
            m_indications.append(indication);
        } else {
            ++m_rejected;
        }
        break;
    case IrLmpPdu::Disconnect:
        if (!connection) {
            ++m_rejected;
            break;
        }
        if (!connection->server) {
            Indication indication;
            indication.kind = Indication::Disconnect;
            indication.local = connection->local;
            indication.reason = pdu.parameter;
            indication.data = pdu.data;
            m_indications.append(indication);
        }
        m_connections.removeAt(int(connection - m_connections.data()));
        break;
    default:
        // Access mode and anything newer: not used here.
        ++m_rejected;
        break;
    }
}

void IrLmpMux::receiveData(const IrLmpPdu &pdu)
{
    Connection *connection = find(pdu.destination, pdu.source);
    if (!connection || !connection->open) {
        ++m_rejected;
        m_out.append(IrLmpPdu::controlPdu(pdu.source, pdu.destination, IrLmpPdu::Disconnect,
                                          IrLmpPdu::DataOnDisconnectedLsap));
        return;
    }
    if (connection->server) {
        answerQuery(*connection, pdu.data);
        return;
    }
    Indication indication;
    indication.kind = Indication::Data;
    indication.local = connection->local;
    indication.data = pdu.data;
    m_indications.append(indication);
}

void IrLmpMux::answerQuery(Connection &connection, const QByteArray &frame)
{
    if (frame.isEmpty()) {
        ++m_rejected;
        return;
    }
    const quint8 head = quint8(frame.at(0));
    if (head & IasMessage::AckFrame)
        return;
    // Frames of one query are joined; the last carries the bit.
    if (connection.query.isEmpty())
        connection.query = frame;
    else
        connection.query.append(frame.mid(1));
    if (connection.query.size() > MaxQuerySize) {
        connection.query.clear();
        ++m_rejected;
        return;
    }
    if (!(head & IasMessage::LastFrame)) {
        m_out.append(IrLmpPdu::dataPdu(connection.remote, connection.local,
                                       QByteArray(1, char(IasMessage::AckFrame | (head & 0x3F)))));
        return;
    }
    const QByteArray query = connection.query;
    connection.query.clear();
    const quint8 operation = quint8(query.at(0)) & 0x3F;
    QByteArray answer;
    QByteArray className;
    QByteArray attribute;
    if (operation != IasMessage::GetValueByClass) {
        answer = IasMessage::failure(operation, IasMessage::Unsupported);
    } else if (!IasMessage::parseGetValueByClass(query, &className, &attribute)) {
        ++m_rejected;
        answer = IasMessage::failure(operation, IasMessage::NoSuchClass);
    } else if (className != "Device") {
        answer = IasMessage::failure(operation, IasMessage::NoSuchClass);
    } else if (attribute != "DeviceName") {
        answer = IasMessage::failure(operation, IasMessage::NoSuchAttribute);
    } else {
        answer = IasMessage::stringAnswer(0, m_deviceName);
    }
    m_out.append(IrLmpPdu::dataPdu(connection.remote, connection.local, answer));
}
