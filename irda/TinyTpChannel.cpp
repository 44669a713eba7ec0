#include "irda/TinyTpChannel.h"

TinyTpChannel::TinyTpChannel(int receiveCredit, int maxSduSize)
    : m_receiveCredit(qBound(1, receiveCredit, MaxCreditField))
    , m_maxSduSize(qMax(1, maxSduSize))
    , m_peerCredit(m_receiveCredit)
{ }

QByteArray TinyTpChannel::connectHeader() const
{
    return QByteArray(1, char(m_receiveCredit));
}

bool TinyTpChannel::acceptConnect(const QByteArray &pdu, QByteArray *userData)
{
    if (pdu.isEmpty())
        return false;
    const quint8 head = quint8(pdu.at(0));
    m_sendCredit = head & 0x7F;
    if (!(head & ParameterBit)) {
        *userData = pdu.mid(1);
        return true;
    }
    if (pdu.size() < 2)
        return false;
    const int length = quint8(pdu.at(1));
    if (2 + length > pdu.size())
        return false;
    int at = 2;
    while (at < 2 + length) {
        if (at + 2 > 2 + length)
            return false;
        const quint8 identifier = quint8(pdu.at(at));
        const int valueLength = quint8(pdu.at(at + 1));
        at += 2;
        if (at + valueLength > 2 + length)
            return false;
        if (identifier == MaxSduSizeParameter && valueLength >= 1 && valueLength <= 4) {
            quint32 value = 0;
            for (int i = 0; i < valueLength; ++i)
                value = (value << 8) | quint8(pdu.at(at + i));
            m_peerMaxSdu = value;
        }
        at += valueLength;
    }
    *userData = pdu.mid(2 + length);
    return true;
}

bool TinyTpChannel::receive(const QByteArray &pdu)
{
    if (pdu.isEmpty())
        return false;
    const quint8 head = quint8(pdu.at(0));
    m_sendCredit = qMin(m_sendCredit + (head & 0x7F), 4096);
    if (pdu.size() == 1)
        return !(head & MoreBit); // a flow PDU: credit only
    // A data PDU uses one of the credits we gave; the buffer is ours at once,
    // so the credit is owed back.
    m_peerCredit = qMax(0, m_peerCredit - 1);
    ++m_owed;
    if (!m_discarding) {
        m_partial.append(pdu.constData() + 1, pdu.size() - 1);
        if (m_partial.size() > m_maxSduSize) {
            // Larger than we take: the whole SDU goes, not a piece of it.
            m_partial.clear();
            m_discarding = true;
            ++m_discarded;
        }
    }
    if (!(head & MoreBit)) {
        if (!m_discarding)
            m_sdus.append(m_partial);
        m_partial.clear();
        m_discarding = false;
    }
    return true;
}

QList<QByteArray> TinyTpChannel::takeSdus()
{
    QList<QByteArray> sdus;
    sdus.swap(m_sdus);
    return sdus;
}

bool TinyTpChannel::queue(const QByteArray &sdu, int maxPduSize)
{
    const int room = maxPduSize - 1;
    if (sdu.isEmpty() || room < 1)
        return false;
    if (sdu.size() <= room) {
        m_queue.append(QByteArray(1, '\0') + sdu);
        return true;
    }
    if (quint32(sdu.size()) > m_peerMaxSdu)
        return false;
    for (int at = 0; at < sdu.size(); at += room) {
        const bool more = at + room < sdu.size();
        m_queue.append(QByteArray(1, char(more ? MoreBit : 0)) + sdu.mid(at, room));
    }
    return true;
}

quint8 TinyTpChannel::grant()
{
    const int delta = qMin(m_owed, MaxCreditField);
    m_owed -= delta;
    m_peerCredit += delta;
    return quint8(delta);
}

QList<QByteArray> TinyTpChannel::takePdus()
{
    QList<QByteArray> pdus;
    while (!m_queue.isEmpty() && m_sendCredit > 0) {
        QByteArray pdu = m_queue.takeFirst();
        pdu[0] = char(quint8(pdu.at(0)) | grant());
        --m_sendCredit;
        pdus.append(pdu);
    }
    // Top the peer up before it has to stop.
    if (m_owed > 0 && m_peerCredit <= m_receiveCredit / 2)
        pdus.append(QByteArray(1, char(grant())));
    return pdus;
}
