#pragma once

#include "AbstractTransport.h"
#include "IrDALink.h"
#include "LinkChannel.h"
#include "LinkEndpoint.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>

// The link to a dosimeter in front of the infrared port.
//
// Linux has no infrared stack of its own any more, so the plug-in brings
// one (irda/): with an SIR dongle on a serial port the link discovers the
// devices in range, connects to the IrCOMM service of the first that takes
// it and carries the frames in that stream (IrDALink). Besides, a raw
// serial port (an adapter that passes the stream through) and TCP (network
// gateways, the emulator) stay. The environment variable TM4040_LINK names
// the link ("irda:/dev/ttyUSB0[:BAUD]", "serial:/dev/ttyUSB0[:BAUD]" or
// "tcp:HOST:PORT"); without it every serial port of the machine is tried,
// IrDA discovery first, then the raw probe.
//
// The raw links sit on a plain descriptor (see LinkChannel) and the IrDA
// link has a thread of its own, so that calls may come from whichever
// thread has the turn.
class IrDATransport final : public AbstractTransport
{
public:
    static constexpr int DefaultAnswerTimeoutMs = 15000;
    static constexpr int WriteTimeoutMs = 15000;
    static constexpr int DiscoveryRounds = 3;
    static constexpr int DiscoveryPauseMs = 200;
    static constexpr int ProbeTimeoutMs = 1000;

    IrDATransport() = default;
    ~IrDATransport() = default;

    // Closes any open link, then opens the one named by TM4040_LINK or the
    // first serial port whose device answers the probe. The device and
    // service names are those of the infrared stack; the link does not use
    // them.
    bool connectTo(const QString &deviceName, const QString &serviceName, bool nineWire);
    bool write(const QByteArray &frame) override;
    bool read(QByteArray &out, int size) override;
    void close();
    bool isOpen() const { return m_channel.isOpen() || m_irda.isOpen(); }

    // Whether a probe's answer comes from the wanted kind of device.
    using AnswerCheck = bool (*)(const QByteArray &answer);

    // The request sent to a serial port during the search, the size of the
    // answer, and the check the answer must pass to mark a device in range
    // (none: any answer of that size).
    void setDiscoveryProbe(const QByteArray &request, int answerSize, AnswerCheck check = nullptr);

    // How long an answer may take. A value above 0 set here wins; else the
    // environment variable TM4040_ANSWER_TIMEOUT_MS when above 0; else 15 s.
    static void setAnswerTimeoutMs(int ms);
    static int answerTimeoutMs();
    // The ports the search tries, in place of the machine's serial ports
    // (empty: the machine's). For tests.
    static void setDiscoveryPorts(const QStringList &ports);

private:
    bool open(const LinkEndpoint &endpoint);
    bool openIrDA(const QString &path, int maxBaud, int rounds);
    bool discover();
    bool probe(const QString &path);

    LinkChannel m_channel;
    IrDALink m_irda;
    QString m_serviceName;
    bool m_nineWire = true;
    // Counts close() calls: one from another thread ends a running search
    // between two ports, not only the probe it interrupts.
    std::atomic<unsigned> m_closes {0};
    QByteArray m_probeRequest;
    int m_probeAnswerSize = 0;
    AnswerCheck m_probeCheck = nullptr;
};
