#include "Tm4040IrTinyTp.h"

namespace {

const quint8 MoreBit = 0x80;
const quint8 ParametersBit = 0x80;
const quint8 MaxSduSizeParameter = 0x01;
const int LargestCredit = 0x7F;

} // namespace

Tm4040IrTinyTp::Tm4040IrTinyTp(int initialCredit, int maxSduSize)
    : m_initialCredit(qBound(1, initialCredit, LargestCredit))
    , m_maxSdu(maxSduSize)
    , m_peerCredit(m_initialCredit)
{ }

bool Tm4040IrTinyTp::takeConnect(const QByteArray &pdu, QByteArray *userData)
{
    if (pdu.isEmpty())
        return false;
    const quint8 header = quint8(pdu.at(0));
    int at = 1;
    int peerMaxSdu = 0;
    if (header & ParametersBit) {
        if (at >= pdu.size())
            return false;
        const int end = at + 1 + quint8(pdu.at(at));
        if (end > pdu.size())
            return false;
        at += 1;
        while (at < end) {
            if (at + 2 > end)
                return false;
            const quint8 identifier = quint8(pdu.at(at));
            const int length = quint8(pdu.at(at + 1));
            if (at + 2 + length > end)
                return false;
            if (identifier == MaxSduSizeParameter && length <= 4) {
                quint32 value = 0;
                for (int i = 0; i < length; ++i)
                    value = value << 8 | quint8(pdu.at(at + 2 + i));
                peerMaxSdu = int(qMin<quint32>(value, 0x7FFFFFFF));
            }
            at += 2 + length;
        }
    }
    m_sendCredit = header & LargestCredit;
    m_peerMaxSdu = peerMaxSdu;
    *userData = pdu.mid(at);
    return true;
}

QByteArray Tm4040IrTinyTp::connectPdu(const QByteArray &userData) const
{
    QByteArray pdu;
    pdu.append(char(ParametersBit | m_initialCredit));
    pdu.append(char(4)); // the parameter list: one parameter of 2 bytes
    pdu.append(char(MaxSduSizeParameter));
    pdu.append(char(2));
    pdu.append(char(m_maxSdu >> 8));
    pdu.append(char(m_maxSdu));
    return pdu + userData;
}

void Tm4040IrTinyTp::receive(const QByteArray &pdu)
{
    if (pdu.isEmpty()) {
        ++m_protocolErrors;
        return;
    }
    const quint8 header = quint8(pdu.at(0));
    const bool more = header & MoreBit;
    m_sendCredit = qMin(m_sendCredit + (header & LargestCredit), 0xFFFF);
    if (pdu.size() == 1) {
        if (more)
            ++m_protocolErrors;
        return;
    }
    if (m_peerCredit > 0)
        --m_peerCredit;
    else
        ++m_protocolErrors; // sent without credit; taken all the same
    ++m_creditToGive; // the PDU is handed on at once, its buffer free again
    if (m_discarding) {
        m_discarding = more;
        return;
    }
    m_assembly.append(pdu.constData() + 1, pdu.size() - 1);
    if (m_assembly.size() > m_maxSdu) {
        // Larger than we said we take: the whole SDU is dropped.
        ++m_protocolErrors;
        m_assembly.clear();
        m_discarding = more;
        return;
    }
    if (!more) {
        m_sdus.append(m_assembly);
        m_assembly.clear();
    }
}

bool Tm4040IrTinyTp::takeSdu(QByteArray *sdu)
{
    if (m_sdus.isEmpty())
        return false;
    *sdu = m_sdus.takeFirst();
    return true;
}

void Tm4040IrTinyTp::send(const QByteArray &sdu)
{
    if (!sdu.isEmpty())
        m_outgoing.push_back(sdu);
}

int Tm4040IrTinyTp::takeCreditToGive()
{
    if (m_busy)
        return 0;
    const int give = qMin(m_creditToGive, LargestCredit);
    m_creditToGive -= give;
    m_peerCredit += give;
    return give;
}

bool Tm4040IrTinyTp::takePdu(QByteArray *pdu, int maxPdu)
{
    const int room = maxPdu - 1;
    if (!m_outgoing.empty() && m_sendCredit > 0 && room > 0) {
        const QByteArray &front = m_outgoing.front();
        const int remaining = front.size() - m_outgoingOffset;
        const bool more = remaining > room;
        const QByteArray chunk = front.mid(m_outgoingOffset, more ? room : remaining);
        if (more) {
            m_outgoingOffset += room;
        } else {
            m_outgoing.pop_front();
            m_outgoingOffset = 0;
        }
        --m_sendCredit;
        pdu->clear();
        pdu->append(char((more ? MoreBit : 0) | takeCreditToGive()));
        pdu->append(chunk);
        return true;
    }
    // Credit alone, before the peer runs dry.
    if (!m_busy && m_creditToGive > 0 && m_peerCredit <= m_initialCredit / 2) {
        *pdu = QByteArray(1, char(takeCreditToGive()));
        return true;
    }
    return false;
}
