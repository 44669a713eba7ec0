#pragma once

#include <QByteArray>
#include <QList>

#include <deque>

// One TinyTP connection of the emulated dosimeter, without I/O.
//
// A data PDU is one byte, M (bit 7: more segments of this SDU follow) and
// the delta credit (bits 0 to 6), then the data. A PDU with data uses one
// credit of its sender; one without data only gives credit and may always
// be sent. The connect PDU is one byte, P (bit 7: parameters follow) and
// the initial credit, then, with P, the length of the parameter list and
// the parameters (identifier 1: MaxSduSize, the largest SDU the sender
// takes whole, most significant byte first; 0 or none: no segmentation).
class Tm4040IrTinyTp
{
public:
    explicit Tm4040IrTinyTp(int initialCredit = 8, int maxSduSize = 4096);

    // Reads the peer's connect PDU; what follows the TinyTP header goes to
    // `userData`. False when the PDU is malformed.
    bool takeConnect(const QByteArray &pdu, QByteArray *userData);
    // Our connect PDU with the credit we give and our MaxSduSize.
    QByteArray connectPdu(const QByteArray &userData) const;

    void receive(const QByteArray &pdu);
    // The next SDU received whole.
    bool takeSdu(QByteArray *sdu);

    // Queues an SDU to send; one larger than a PDU goes in segments (a
    // caller whose peer takes no segmented SDUs keeps each within a PDU).
    void send(const QByteArray &sdu);
    // The next PDU to send within `maxPdu` bytes: data while we have
    // credit, or credit alone when the peer runs short. False: none now.
    bool takePdu(QByteArray *pdu, int maxPdu);
    bool hasData() const { return !m_outgoing.empty(); }

    // While busy, no credit is given back.
    void setBusy(bool busy) { m_busy = busy; }
    int sendCredit() const { return m_sendCredit; }
    int peerMaxSduSize() const { return m_peerMaxSdu; }
    qint64 protocolErrors() const { return m_protocolErrors; }

private:
    int takeCreditToGive();

    int m_initialCredit;
    int m_maxSdu;
    int m_peerMaxSdu = 0;
    int m_sendCredit = 0; // data PDUs we may send
    int m_peerCredit; // data PDUs the peer may still send
    int m_creditToGive = 0; // freed buffers not yet announced
    bool m_busy = false;
    QByteArray m_assembly;
    bool m_discarding = false;
    QList<QByteArray> m_sdus;
    std::deque<QByteArray> m_outgoing;
    int m_outgoingOffset = 0; // of the front SDU, when it goes in segments
    qint64 m_protocolErrors = 0;
};
