#include "Tm4040DeviceModel.h"

namespace {

const int BlockSize = 56;
const int PacketSize = 48;
const int RecordSize = 16;

quint8 bcd(int value)
{
    return quint8((value / 10 % 10) << 4 | value % 10);
}

int fromBcd(quint8 byte)
{
    return (byte >> 4) * 10 + (byte & 0x0F);
}

// `digits` decimal digits of value, two a byte, most significant first.
QByteArray bcdNumber(quint32 value, int bytes)
{
    QByteArray result(bytes, '\0');
    for (int i = bytes - 1; i >= 0; --i) {
        result[i] = char(bcd(int(value % 100)));
        value /= 100;
    }
    return result;
}

const QByteArray ClearedPointers = QByteArray::fromHex("000100C0000100C0");

} // namespace

Tm4040DeviceModel::Tm4040DeviceModel(const Tm4040Scenario &s)
    : m_block(BlockSize, '\0')
    , m_clockRunning(s.clockRunning)
    , m_systemClock(!s.clock.isValid())
    , m_clock(s.clock)
{
    m_clockSet.start();
    m_block[6] = char(bcd(s.alarmMinute));
    m_block[7] = char(bcd(s.alarmHour));
    m_block[8] = char(s.alarmEnabled ? 1 : 0);
    // Bytes the program does not use carry a pattern, so that a write that
    // wrongly depends on them shows.
    m_block.replace(9, 3, QByteArray::fromHex("5AA53C"));
    m_block.replace(14, 6, QByteArray::fromHex("00C0000100C0"));
    m_block[20] = char(bcd(s.nextRecordHours));
    m_block[21] = char(bcd(s.nextRecordMinutes));
    m_block[22] = char(bcd(s.nextRecordSeconds));
    m_block[23] = char(bcd(s.historyStepHours));
    m_block[24] = char(bcd(s.historyStepMinutes));
    m_block[25] = char(bcd(s.historyStepSeconds));
    m_block[26] = char(s.historyMode);
    m_block[27] = char(0x7E);
    m_block.replace(28, 4, bcdNumber(s.serialNumber, 4));
    m_block.replace(32, 8, QByteArray::fromHex("1122334455667788"));
    m_block.replace(40, 3, bcdNumber(s.medThresholdRaw, 3));
    m_block.replace(43, 4, bcdNumber(s.edThresholdRaw, 4));
    m_block[47] = char(s.firmwareVersion);
    const quint32 dose = s.accumulatedDoseRaw;
    m_block[48] = char(dose >> 24);
    m_block[49] = char(dose >> 16);
    m_block[50] = char(dose >> 8);
    m_block[51] = char(dose);
    m_block.replace(52, 4, QByteArray::fromHex("DEADBEEF"));
    setRecords(s.records);
    if (s.reportedCount >= 0)
        m_block.replace(12, 2, bcdNumber(quint32(s.reportedCount), 2));
}

void Tm4040DeviceModel::setRecords(const QList<QByteArray> &records)
{
    m_records = records;
    m_block.replace(12, 2, bcdNumber(quint32(records.size()), 2));
}

QByteArray Tm4040DeviceModel::clockBytes() const
{
    if (!m_rawClock.isEmpty())
        return m_rawClock;
    QDateTime now;
    if (m_systemClock)
        now = QDateTime::currentDateTime();
    else
        now = m_clockRunning ? m_clock.addMSecs(m_clockSet.elapsed()) : m_clock;
    QByteArray bytes;
    bytes.append(char(bcd(now.time().second())));
    bytes.append(char(bcd(now.time().minute())));
    bytes.append(char(bcd(now.time().hour())));
    bytes.append(char(bcd(now.date().day())));
    bytes.append(char(bcd(now.date().month())));
    bytes.append(char(bcd(now.date().year() - 2000)));
    return bytes;
}

void Tm4040DeviceModel::setClock(const QByteArray &b)
{
    const QDate date(2000 + fromBcd(quint8(b[5])), fromBcd(quint8(b[4])), fromBcd(quint8(b[3])));
    const QTime time(fromBcd(quint8(b[2])), fromBcd(quint8(b[1])), fromBcd(quint8(b[0])));
    if (!date.isValid() || !time.isValid()) {
        // The device stores what it is given.
        m_rawClock = b;
        return;
    }
    m_rawClock.clear();
    m_systemClock = false;
    m_clock = QDateTime(date, time);
    m_clockSet.restart();
}

QByteArray Tm4040DeviceModel::parameterBlock() const
{
    QByteArray block = m_block;
    block.replace(0, 6, clockBytes());
    return block;
}

QByteArray Tm4040DeviceModel::historyStream(int packets, const Tm4040Faults &faults) const
{
    QByteArray memory(packets * PacketSize, char(0xFF));
    const int held = qMin(m_records.size(), packets * PacketSize / RecordSize);
    for (int i = 0; i < held; ++i)
        memory.replace(i * RecordSize, RecordSize,
                       m_records.at(i).leftJustified(RecordSize, '\0', true));
    const int bad = faults.impossibleDateRecord - 1;
    if (bad >= 0 && bad < held)
        memory[bad * RecordSize + 10] = char(0x13);
    return memory;
}

Tm4040Answer Tm4040DeviceModel::handle(const QByteArray &frame, const Tm4040Faults &faults)
{
    const char letter = frame.at(frame.size() - 1);
    const QByteArray payload = frame.mid(7, frame.size() - 8);
    Tm4040Answer answer;
    QByteArray bytes;

    switch (letter) {
    case 't':
        setClock(payload);
        break;
    case 'b':
        m_block.replace(6, 3, payload);
        break;
    case 'r':
        m_block.replace(40, 7, payload);
        break;
    case 'h':
        m_block.replace(12, 15, payload);
        if (payload.left(8) == ClearedPointers)
            m_records.clear();
        break;
    case 'd':
        m_block.replace(48, 4, QByteArray(4, '\0'));
        break;
    default:
        break;
    }

    if (letter == 'H') {
        const int packets = quint8(payload.at(2));
        const QByteArray stream = historyStream(packets, faults);
        for (int i = 0; i < packets; ++i) {
            const int number = i + 1;
            if (number != faults.missingHistoryPacket)
                bytes.append(stream.mid(i * PacketSize, PacketSize));
            if (number == faults.dropLinkAfterPacket) {
                answer.dropLink = true;
                break;
            }
        }
    } else {
        // Every other command is answered with the parameter block as it
        // stands after the command.
        bytes = parameterBlock();
    }

    if (faults.silentCommands.contains(letter))
        return Tm4040Answer {{}, answer.dropLink};
    if (faults.shortCommands.contains(letter))
        bytes.truncate(qMax(0, faults.shortAnswerBytes));
    if (faults.splitCommands.contains(letter) && bytes.size() > 1) {
        const int half = bytes.size() / 2;
        answer.parts.append({faults.answerDelayMs, bytes.left(half)});
        answer.parts.append({faults.splitPauseMs, bytes.mid(half)});
    } else {
        answer.parts.append({faults.answerDelayMs, bytes});
    }
    return answer;
}
