#pragma once

#include "irda/IrLmpPdu.h"

#include <QByteArray>
#include <QList>
#include <QVector>
#include <QtGlobal>

// Link management over one link connection: LSAP connections of ours
// (connect, data, disconnect) and the minimal information access service
// that answers the peer's queries on LSAP 0 with our device name and "no
// such class" for anything else. PDUs from the link go in (receive); PDUs
// for the link come out (takeOutgoing); the users of our LSAPs get
// indications (takeIndications).
class IrLmpMux
{
public:
    struct Indication
    {
        enum Kind { ConnectConfirm, Disconnect, Data };
        Kind kind = Data;
        quint8 local = 0;
        quint8 reason = 0;
        QByteArray data;
    };

    explicit IrLmpMux(const QByteArray &deviceName = QByteArray());

    // One information field from the link.
    void receive(const QByteArray &pdu);
    QList<QByteArray> takeOutgoing();
    QList<Indication> takeIndications();

    bool connect(quint8 local, quint8 remote, const QByteArray &userData = QByteArray());
    bool send(quint8 local, const QByteArray &data);
    void disconnect(quint8 local, quint8 reason);
    bool isOpen(quint8 local) const;
    // The link went away: every connection ends without a word.
    void reset();
    int rejected() const { return m_rejected; }

private:
    struct Connection
    {
        quint8 local = 0;
        quint8 remote = 0;
        bool open = false;
        bool server = false; // the peer's query connection to our IAS
        QByteArray query; // an IAS query arriving in several frames
    };

    Connection *find(quint8 local, quint8 remote);
    Connection *findLocal(quint8 local);
    void receiveControl(const IrLmpPdu &pdu);
    void receiveData(const IrLmpPdu &pdu);
    void answerQuery(Connection &connection, const QByteArray &frame);

    QByteArray m_deviceName;
    QVector<Connection> m_connections; // contiguous: found entries are erased by position
    QList<QByteArray> m_out;
    QList<Indication> m_indications;
    int m_rejected = 0;
};
