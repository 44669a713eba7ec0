#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

// Tiny TP on one LSAP connection: credit-based flow control and reassembly.
// Every data PDU starts with a byte holding the "more" bit (segments of one
// SDU follow) and the credit it grants the other side; a data PDU uses one
// credit of the sender, a PDU without data (a flow PDU) none. The connect
// PDUs carry the initial credit and, with the P bit, a parameter block
// (length, then identifier, length, value; MaxSduSize is 0x01).
class TinyTpChannel
{
public:
    static constexpr int MaxCreditField = 127;
    static constexpr quint8 MoreBit = 0x80;
    static constexpr quint8 ParameterBit = 0x80;
    static constexpr quint8 MaxSduSizeParameter = 0x01;

    explicit TinyTpChannel(int receiveCredit = 20, int maxSduSize = 8192);

    // Our connect header: the initial credit, no parameters (we ask for no
    // segmentation from the peer, but reassemble it when it comes).
    QByteArray connectHeader() const;
    // Reads the peer's connect header; the user data behind it goes to
    // `userData`. False when it is malformed.
    bool acceptConnect(const QByteArray &pdu, QByteArray *userData);

    // One data PDU from the peer; false (and nothing passed on) when it is
    // malformed.
    bool receive(const QByteArray &pdu);
    // Whole SDUs received since the last call, in order.
    QList<QByteArray> takeSdus();

    // Queues an SDU; false when it would need segments the peer does not take.
    bool queue(const QByteArray &sdu, int maxPduSize);
    // The PDUs that may go now: data while the peer gave credit, each
    // granting what we owe, and a flow PDU when the peer runs low.
    QList<QByteArray> takePdus();

    int sendCredit() const { return m_sendCredit; }
    int peerCredit() const { return m_peerCredit; }
    int queuedPdus() const { return m_queue.size(); }
    quint32 peerMaxSduSize() const { return m_peerMaxSdu; }
    int discardedSdus() const { return m_discarded; }

private:
    quint8 grant();

    const int m_receiveCredit;
    const int m_maxSduSize;
    int m_sendCredit = 0; // data PDUs we may send
    int m_peerCredit = 0; // data PDUs the peer may send
    int m_owed = 0; // credit we can give back
    quint32 m_peerMaxSdu = 0;
    QList<QByteArray> m_queue; // PDU bodies with the more bit, credit byte to be filled
    QByteArray m_partial;
    bool m_discarding = false;
    QList<QByteArray> m_sdus;
    int m_discarded = 0;
};
