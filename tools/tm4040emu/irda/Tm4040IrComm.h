#pragma once

#include <QByteArray>

// IrCOMM in nine-wire ("cooked") mode on the emulated dosimeter's side,
// without I/O. Every TinyTP SDU is clen (the length of the control
// parameters), the control parameters (identifier, length, value) and the
// user data. The connect user data carries clen and the initial control
// parameters alone.
//
// Parameters read: 00 service type (bit 1 3-wire, bit 2 9-wire), 20 DTE
// line settings, 22 poll for line settings (answered with 21, the DCE
// line settings: CTS, DSR and CD on). Others (data rate, data format,
// flow control...) are taken and ignored, as a serial port behind a
// dongle would. An SDU whose control parameters run past its end is
// dropped whole.
class Tm4040IrComm
{
public:
    // Reads the initial control parameters and returns our connect user
    // data: the service type chosen and our line settings.
    QByteArray acceptConnect(const QByteArray &userData);

    void receiveSdu(const QByteArray &sdu);
    // The user data received so far.
    QByteArray takeData();

    void write(const QByteArray &bytes);
    bool hasOutput() const { return !m_output.isEmpty() || !m_control.isEmpty(); }
    // The next SDU to send, at most `maxSdu` bytes.
    bool takeSdu(QByteArray *sdu, int maxSdu);

    quint8 serviceType() const { return m_serviceType; }
    quint8 dteLines() const { return m_dteLines; }
    qint64 droppedSdus() const { return m_dropped; }

private:
    bool readParameters(const QByteArray &parameters, bool atConnect);
    QByteArray lineSettings() const;

    quint8 m_serviceType = 0x04;
    quint8 m_dteLines = 0;
    QByteArray m_control; // parameters to send with the next SDU
    QByteArray m_input;
    QByteArray m_output;
    qint64 m_dropped = 0;
};
