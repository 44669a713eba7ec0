#include "Tm4040IrComm.h"

#include <utility>

namespace {

const quint8 ServiceType = 0x00;
const quint8 DteLineSettings = 0x20;
const quint8 DceLineSettings = 0x21;
const quint8 PollLineSettings = 0x22;
const quint8 ThreeWire = 0x02;
const quint8 NineWire = 0x04;
// CTS, DSR and CD on, no changes since the last report.
const quint8 DceLinesOn = 0x10 | 0x20 | 0x80;

} // namespace

QByteArray Tm4040IrComm::lineSettings() const
{
    QByteArray parameter;
    parameter.append(char(DceLineSettings));
    parameter.append(char(1));
    parameter.append(char(DceLinesOn));
    return parameter;
}

bool Tm4040IrComm::readParameters(const QByteArray &parameters, bool atConnect)
{
    // The whole list is checked before any of it counts.
    for (int at = 0; at < parameters.size(); at += 2 + quint8(parameters.at(at + 1))) {
        if (at + 2 > parameters.size()
            || at + 2 + quint8(parameters.at(at + 1)) > parameters.size())
            return false;
    }
    int at = 0;
    while (at < parameters.size()) {
        const quint8 identifier = quint8(parameters.at(at));
        const int length = quint8(parameters.at(at + 1));
        const quint8 value = length > 0 ? quint8(parameters.at(at + 2)) : 0;
        if (identifier == ServiceType && atConnect && length > 0) {
            // Nine-wire when offered, else three-wire; the control channel
            // (clen) is the same for both.
            m_serviceType = (value & NineWire) ? NineWire : ThreeWire;
        } else if (identifier == DteLineSettings && length > 0) {
            m_dteLines = value;
        } else if (identifier == PollLineSettings) {
            m_control.append(lineSettings());
        }
        at += 2 + length;
    }
    return true;
}

QByteArray Tm4040IrComm::acceptConnect(const QByteArray &userData)
{
    m_serviceType = NineWire;
    if (!userData.isEmpty()) {
        const int clen = quint8(userData.at(0));
        readParameters(userData.mid(1, clen), true);
    }
    m_control.clear();
    QByteArray parameters;
    parameters.append(char(ServiceType));
    parameters.append(char(1));
    parameters.append(char(m_serviceType));
    parameters.append(lineSettings());
    return char(parameters.size()) + parameters;
}

void Tm4040IrComm::receiveSdu(const QByteArray &sdu)
{
    if (sdu.isEmpty())
        return;
    const int clen = quint8(sdu.at(0));
    if (1 + clen > sdu.size() || !readParameters(sdu.mid(1, clen), false)) {
        ++m_dropped;
        return;
    }
    m_input.append(sdu.mid(1 + clen));
}

QByteArray Tm4040IrComm::takeData()
{
    return std::exchange(m_input, {});
}

void Tm4040IrComm::write(const QByteArray &bytes)
{
    m_output.append(bytes);
}

bool Tm4040IrComm::takeSdu(QByteArray *sdu, int maxSdu)
{
    if (!hasOutput() || maxSdu < 1 + m_control.size() + (m_control.isEmpty() ? 1 : 0))
        return false;
    const int room = maxSdu - 1 - m_control.size();
    sdu->clear();
    sdu->append(char(m_control.size()));
    sdu->append(m_control);
    sdu->append(m_output.left(room));
    m_output.remove(0, qMin(room, m_output.size()));
    m_control.clear();
    return true;
}
