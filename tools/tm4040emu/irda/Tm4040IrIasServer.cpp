#include "Tm4040IrIasServer.h"

namespace {

const quint8 Last = 0x80;
const quint8 GetValueByClass = 0x04;
const quint8 Success = 0x00;
const quint8 NoSuchClass = 0x01;
const quint8 NoSuchAttribute = 0x02;
const quint8 Unsupported = 0xFF;

void appendWord(QByteArray *bytes, int value)
{
    bytes->append(char(value >> 8));
    bytes->append(char(value));
}

// Reads a length-prefixed name at `*at`; false when it runs past the end.
bool readName(const QByteArray &bytes, int *at, QByteArray *name)
{
    if (*at >= bytes.size())
        return false;
    const int length = quint8(bytes.at(*at));
    if (*at + 1 + length > bytes.size())
        return false;
    *name = bytes.mid(*at + 1, length);
    *at += 1 + length;
    return true;
}

} // namespace

void Tm4040IrIasServer::add(const QByteArray &className, const QByteArray &attribute,
                            const QByteArray &value)
{
    if (!m_classes.contains(className))
        m_classes.append(className);
    m_attributes.append({className, attribute, value});
}

void Tm4040IrIasServer::addInteger(const QByteArray &className, const QByteArray &attribute,
                                   qint32 value)
{
    QByteArray bytes(1, char(0x01));
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(char(quint32(value) >> shift));
    add(className, attribute, bytes);
}

void Tm4040IrIasServer::addOctets(const QByteArray &className, const QByteArray &attribute,
                                  const QByteArray &value)
{
    QByteArray bytes(1, char(0x02));
    appendWord(&bytes, value.size());
    add(className, attribute, bytes + value);
}

void Tm4040IrIasServer::addString(const QByteArray &className, const QByteArray &attribute,
                                  const QByteArray &value)
{
    QByteArray bytes(1, char(0x03));
    bytes.append(char(0x00)); // ASCII
    bytes.append(char(qMin(value.size(), 255)));
    add(className, attribute, bytes + value.left(255));
}

int Tm4040IrIasServer::objectId(const QByteArray &className) const
{
    return m_classes.indexOf(className);
}

QByteArray Tm4040IrIasServer::answer(const QByteArray &request) const
{
    if (request.isEmpty())
        return QByteArray();
    const quint8 operation = quint8(request.at(0)) & 0x3F;
    QByteArray answer(1, char(Last | operation));
    if (operation != GetValueByClass) {
        answer.append(char(Unsupported));
        return answer;
    }
    int at = 1;
    QByteArray className;
    QByteArray attribute;
    if (!readName(request, &at, &className) || objectId(className) < 0) {
        answer.append(char(NoSuchClass));
        return answer;
    }
    if (!readName(request, &at, &attribute)) {
        answer.append(char(NoSuchAttribute));
        return answer;
    }
    QByteArray values;
    int count = 0;
    for (const Attribute &entry : m_attributes) {
        if (entry.className == className && entry.name == attribute) {
            appendWord(&values, objectId(className));
            values.append(entry.value);
            ++count;
        }
    }
    if (count == 0) {
        answer.append(char(NoSuchAttribute));
        return answer;
    }
    answer.append(char(Success));
    appendWord(&answer, count);
    return answer + values;
}
