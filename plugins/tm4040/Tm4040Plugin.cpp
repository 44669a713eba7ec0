#include "Tm4040Plugin.h"

#include "Tm4040Decoder.h"
#include "Tm4040Frames.h"
#include "Tm4040Log.h"

namespace {

const char DeviceName[] = "Watch RX4040 v0.1";
const char ServiceName[] = "IrDA:IrCOMM";

} // namespace

Tm4040Plugin::Tm4040Plugin()
{
    // A serial port counts as a dosimeter in range when it answers the
    // parameter request with a parameter block.
    m_transport.setDiscoveryProbe(Tm4040Frames::readAllParams(), Tm4040Frames::AnswerSize,
                                  &Tm4040Decoder::isParameterBlock);
}

bool Tm4040Plugin::isSingleChannel()
{
    return true;
}

bool Tm4040Plugin::connectDevice()
{
    m_transport.close();
    return m_transport.connectTo(QString::fromLatin1(DeviceName), QString::fromLatin1(ServiceName),
                                 true);
}

bool Tm4040Plugin::command(const char *name, const QByteArray &frame)
{
    qCDebug(lcTm4040).noquote() << name << "cmd =" << hexBytes(frame);
    if (!m_transport.write(frame)) {
        qCDebug(lcTm4040).noquote() << name << "write failed";
        return false;
    }
    QByteArray answer;
    const bool ok = m_transport.read(answer, Tm4040Frames::AnswerSize);
    qCDebug(lcTm4040).noquote() << name << "ok =" << ok;
    qCDebug(lcTm4040).noquote() << name << "answer =" << hexBytes(answer);
    return ok;
}

bool Tm4040Plugin::readAllParams(QByteArray &block)
{
    block.clear();
    bool ok = m_transport.write(Tm4040Frames::readAllParams());
    if (ok)
        ok = m_transport.read(block, Tm4040Frames::AnswerSize);
    if (!ok)
        block.clear();
    qCDebug(lcTm4040).noquote() << "readAllParams ok =" << ok;
    qCDebug(lcTm4040).noquote() << "params size =" << block.size();
    qCDebug(lcTm4040).noquote() << "params hex =" << hexBytes(block);
    return ok;
}

bool Tm4040Plugin::readDeviceInfo(DeviceInfo *info)
{
    if (!info)
        return false;
    QByteArray block;
    Tm4040Decoder::Parameters params;
    if (!readAllParams(block) || !Tm4040Decoder::decodeParameters(block, &params))
        return false;
    info->name = QStringLiteral("КВР-ТМ4040");
    info->serialNumber = params.serialNumber;
    info->manufactureDate = QDateTime();
    info->firmwareVersion = params.firmwareVersion;
    info->deviceTime = params.deviceTime;
    info->accumulatedDose = params.accumulatedDose();
    info->reservedDouble1 = 0.0;
    info->historyCount = params.historyCount;
    info->reservedDouble2 = 0.0;
    info->reservedDouble3 = 0.0;
    info->cyclicHistory = params.cyclicHistory;
    info->reservedFlag = false;
    return true;
}

QDateTime Tm4040Plugin::readDeviceTime()
{
    QByteArray block;
    Tm4040Decoder::Parameters params;
    if (!readAllParams(block) || !Tm4040Decoder::decodeParameters(block, &params))
        return QDateTime();
    qCDebug(lcTm4040).noquote().nospace()
        << "Device time: " << params.hour << ":" << params.minute << ":" << params.second << " "
        << params.day << "." << params.month << "." << params.year;
    // A clock that does not form a valid date-time reads as a failure.
    return params.deviceTime;
}

bool Tm4040Plugin::writeTime(const QDateTime &dateTime)
{
    if (!dateTime.isValid()) {
        qCDebug(lcTm4040) << "writeTime: invalid date-time, nothing sent";
        return false;
    }
    return command("writeTime", Tm4040Frames::writeTime(dateTime.toLocalTime()));
}

bool Tm4040Plugin::writeThresholds(double rate, double dose)
{
    return command("writeThresholds", Tm4040Frames::writeThresholds(rate, dose));
}

bool Tm4040Plugin::writeAlarm(int minute, int hour, bool enabled)
{
    return command("writeAlarm", Tm4040Frames::writeAlarm(minute, hour, enabled));
}

bool Tm4040Plugin::writeHistorySettings(const Tm4040Settings &settings)
{
    // Read-modify-write: the pointers and the mode bits that the program
    // does not model go back as the device has them now.
    QByteArray block;
    if (!readAllParams(block) || block.size() < 27)
        return false;
    const QByteArray pointers
        = settings.clearHistoryOnWrite ? Tm4040Frames::clearedPointers() : block.mid(12, 8);
    const quint8 timing[6]
        = {settings.nextRecordHours,  settings.nextRecordMinutes,  settings.nextRecordSeconds,
           settings.historyStepHours, settings.historyStepMinutes, settings.historyStepSeconds};
    quint8 mode = quint8(block.at(26));
    mode = settings.cyclicHistory ? quint8(mode | 0x80) : quint8(mode & 0x7F);
    return command("writeHistorySettings",
                   Tm4040Frames::writeHistorySettings(pointers, timing, mode));
}

bool Tm4040Plugin::clearHistory()
{
    QByteArray block;
    if (!readAllParams(block) || block.size() < 27)
        return false;
    return command("clearHistory", Tm4040Frames::clearHistory(block));
}

bool Tm4040Plugin::readSettings(DeviceSettings *settings)
{
    auto *tm = dynamic_cast<Tm4040Settings *>(settings);
    if (!tm)
        return false;
    QByteArray block;
    Tm4040Decoder::Parameters params;
    if (!readAllParams(block) || !Tm4040Decoder::decodeParameters(block, &params))
        return false;
    tm->alarmMinute = quint8(params.alarmMinute);
    tm->alarmHour = quint8(params.alarmHour);
    tm->alarmEnabled = params.alarmEnabled;
    tm->nextRecordHours = quint8(params.nextRecordHours);
    tm->nextRecordMinutes = quint8(params.nextRecordMinutes);
    tm->nextRecordSeconds = quint8(params.nextRecordSeconds);
    tm->historyStepHours = quint8(params.historyStepHours);
    tm->historyStepMinutes = quint8(params.historyStepMinutes);
    tm->historyStepSeconds = quint8(params.historyStepSeconds);
    tm->cyclicHistory = params.cyclicHistory;
    tm->historyEventsCount = quint16(params.historyCount);
    tm->medThreshold = params.medThreshold();
    tm->edThreshold = params.edThreshold();
    tm->accumulatedDose = params.accumulatedDose();
    tm->reservedDouble = 0.0;
    tm->reservedByte1 = tm->reservedByte2 = tm->reservedByte3 = 0;
    return true;
}

bool Tm4040Plugin::writeSettings(DeviceSettings *settings, bool flag)
{
    Q_UNUSED(flag)
    auto *tm = dynamic_cast<Tm4040Settings *>(settings);
    if (!tm)
        return false;
    if (!writeThresholds(tm->medThreshold, tm->edThreshold))
        return false;
    if (!writeAlarm(tm->alarmMinute, tm->alarmHour, tm->alarmEnabled))
        return false;
    if (!writeHistorySettings(*tm))
        return false;
    if (tm->resetAccumulatedDose && !resetAccumulatedED())
        return false;
    return true;
}

bool Tm4040Plugin::readAccumulatedED(double *doseMSv)
{
    if (!doseMSv)
        return false;
    QByteArray block;
    Tm4040Decoder::Parameters params;
    if (!readAllParams(block) || !Tm4040Decoder::decodeParameters(block, &params))
        return false;
    *doseMSv = params.accumulatedDose();
    qCDebug(lcTm4040) << "Accumulated ED raw =" << params.accumulatedDoseRaw;
    qCDebug(lcTm4040) << "Accumulated ED mSv =" << *doseMSv;
    return true;
}

bool Tm4040Plugin::resetAccumulatedED()
{
    return command("resetAccumulatedED", Tm4040Frames::resetAccumulatedED());
}

void Tm4040Plugin::setProgressCallback(ProgressCallback callback, void *context)
{
    std::lock_guard<std::mutex> lock(m_progressMutex);
    m_progress = callback;
    m_progressContext = context;
}

void Tm4040Plugin::reportProgress(int received, int total)
{
    ProgressCallback callback;
    void *context;
    {
        std::lock_guard<std::mutex> lock(m_progressMutex);
        callback = m_progress;
        context = m_progressContext;
    }
    if (callback)
        callback(context, received, total);
}

bool Tm4040Plugin::readHistory(QList<HistoryEvent *> &events, bool restart)
{
    // The whole history comes on the first call.
    if (!restart)
        return false;
    QByteArray block;
    if (!readAllParams(block))
        return false;
    const int count = Tm4040Decoder::historyCount(block);
    if (count < 0)
        return false;
    qCDebug(lcTm4040) << "History events count =" << count;
    const int packets = Tm4040Decoder::historyPackets(count);
    if (packets == 0)
        return false;
    qCDebug(lcTm4040) << "History packets count =" << packets;

    const QByteArray request = Tm4040Frames::history(packets);
    qCDebug(lcTm4040).noquote() << "history cmd =" << hexBytes(request);
    if (!m_transport.write(request))
        return false;

    // Every packet holds three records; the last one may hold fewer.
    const int perPacket = Tm4040Frames::HistoryPacketSize / Tm4040Frames::HistoryRecordSize;
    const int expected = qMin(count, packets * perPacket);
    reportProgress(0, expected);
    QByteArray buffer;
    buffer.reserve(packets * Tm4040Frames::HistoryPacketSize);
    for (int i = 1; i <= packets; ++i) {
        QByteArray packet;
        if (!m_transport.read(packet, Tm4040Frames::HistoryPacketSize)) {
            qCDebug(lcTm4040) << "history receive failed at packet" << i << "of" << packets;
            return false;
        }
        buffer.append(packet);
        qCDebug(lcTm4040).noquote() << "history packet" << i << "=" << hexBytes(packet);
        reportProgress(qMin(i * perPacket, expected), expected);
    }
    qCDebug(lcTm4040) << "history response size =" << buffer.size();

    if (buffer.size() < Tm4040Decoder::RecordSize)
        return false;
    const Tm4040Decoder::HistoryResult result = Tm4040Decoder::decodeHistory(buffer, count);
    for (int k = 0; k < result.events.size(); ++k) {
        const HistoryEvent &event = result.events.at(k);
        events.append(new HistoryEvent(event));
        const QString flags
            = QStringLiteral("%1").arg(Tm4040Decoder::flagsOf(event), 2, 16, QLatin1Char('0'));
        qCDebug(lcTm4040).noquote()
            << "history event" << event.number << "dt =" << event.dateTime.toString(Qt::ISODate)
            << "ED =" << event.ed << "mSv"
            << "MED =" << event.med << "uSv/h"
            << "flags =" << flags;
        qCDebug(lcTm4040).noquote()
            << "history event" << k + 1 << "dt =" << event.dateTime.toString(Qt::ISODate)
            << "ED =" << event.ed << "mSv";
    }
    if (result.invalidAt >= 0)
        qCDebug(lcTm4040).noquote()
            << "Invalid history datetime, event =" << hexBytes(result.invalidRecord);
    else
        qCDebug(lcTm4040) << "Parsed history events =" << result.examined;
    return false;
}
