#pragma once

#include "Tm4040IrIasServer.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>

// The emulated dosimeter's IrLMP multiplexer over one IrLAP link, without
// I/O. An LM-PDU starts with the destination LSAP selector (bit 7: control
// frame) and the source selector; a control frame then has an operation
// (bit 7: confirm; 1 connect, 2 disconnect, 3 access mode) and a parameter
// byte (reserved, the disconnect reason, or a status).
//
// The IAS server (LSAP 0) is served here; connection requests to the
// service selectors and data on their connections come out as events for
// the layer above, which accepts or refuses. Requests to other selectors
// are refused with reason 8 (no LM-MUX client there), data on a
// connection that does not exist with reason 6.
class Tm4040IrLmp
{
public:
    struct Event
    {
        enum class Type { Connect, Data, Disconnect };
        Type type;
        quint8 local;
        quint8 peer;
        QByteArray data; // connect user data, or the data
    };

    Tm4040IrLmp(const Tm4040IrIasServer &ias, const QList<quint8> &serviceSelectors);

    void receive(const QByteArray &pdu);
    QList<Event> takeEvents();
    // LM-PDUs for the link, in order.
    QList<QByteArray> takeOutgoing();

    void acceptConnect(quint8 local, quint8 peer, const QByteArray &userData);
    void disconnect(quint8 local, quint8 peer, quint8 reason);
    void sendData(quint8 local, quint8 peer, const QByteArray &data);
    // The link is gone: every connection with it.
    void reset();

    int iasQueries() const { return m_iasQueries; }
    qint64 protocolErrors() const { return m_protocolErrors; }

private:
    using Connection = QPair<quint8, quint8>; // local, peer
    void receiveControl(quint8 local, quint8 peer, const QByteArray &pdu);
    void receiveIas(quint8 peer, const QByteArray &data);
    void control(quint8 local, quint8 peer, quint8 operation, quint8 parameter,
                 const QByteArray &userData = QByteArray());

    Tm4040IrIasServer m_ias;
    QList<quint8> m_services;
    QMap<Connection, QByteArray> m_connections; // IAS: the request being joined
    QList<Event> m_events;
    QList<QByteArray> m_outgoing;
    int m_iasQueries = 0;
    qint64 m_protocolErrors = 0;
};
