#include "irda/IasMessage.h"

namespace {

void appendName(QByteArray &bytes, const QByteArray &name)
{
    const QByteArray cut = name.left(60);
    bytes.append(char(cut.size()));
    bytes.append(cut);
}

// The answer header: operation, success, one object.
QByteArray answerHeader(quint16 objectId)
{
    QByteArray bytes;
    bytes.append(char(IasMessage::LastFrame | IasMessage::GetValueByClass));
    bytes.append(char(IasMessage::Success));
    bytes.append(char(0x00));
    bytes.append(char(0x01));
    bytes.append(char(objectId >> 8));
    bytes.append(char(objectId & 0xFF));
    return bytes;
}

} // namespace

QByteArray IasMessage::getValueByClass(const QByteArray &className, const QByteArray &attribute)
{
    QByteArray bytes;
    bytes.append(char(LastFrame | GetValueByClass));
    appendName(bytes, className);
    appendName(bytes, attribute);
    return bytes;
}

bool IasMessage::parseGetValueByClass(const QByteArray &query, QByteArray *className,
                                      QByteArray *attribute)
{
    if (query.size() < 2)
        return false;
    const int classLength = quint8(query.at(1));
    if (2 + classLength + 1 > query.size())
        return false;
    const int attributeLength = quint8(query.at(2 + classLength));
    if (3 + classLength + attributeLength > query.size())
        return false;
    *className = query.mid(2, classLength);
    *attribute = query.mid(3 + classLength, attributeLength);
    return true;
}

QByteArray IasMessage::integerAnswer(quint16 objectId, quint32 value)
{
    QByteArray bytes = answerHeader(objectId);
    bytes.append(char(Integer));
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(char((value >> shift) & 0xFF));
    return bytes;
}

QByteArray IasMessage::stringAnswer(quint16 objectId, const QByteArray &text)
{
    QByteArray bytes = answerHeader(objectId);
    const QByteArray cut = text.left(60);
    bytes.append(char(UserString));
    bytes.append(char(0x00)); // ASCII
    bytes.append(char(cut.size()));
    bytes.append(cut);
    return bytes;
}

QByteArray IasMessage::failure(quint8 operation, ReturnCode code)
{
    QByteArray bytes;
    bytes.append(char(LastFrame | (operation & 0x3F)));
    bytes.append(char(code));
    return bytes;
}

IasMessage::Result IasMessage::parseIntegerAnswer(const QByteArray &answer, quint32 *value)
{
    if (answer.size() < 2 || (quint8(answer.at(0)) & 0x3F) != GetValueByClass)
        return Result::Malformed;
    switch (quint8(answer.at(1))) {
    case Success:
        break;
    case NoSuchClass:
        return Result::NoSuchClass;
    case NoSuchAttribute:
        return Result::NoSuchAttribute;
    default:
        return Result::Failed;
    }
    // List length, object identifier, value type.
    if (answer.size() < 7)
        return Result::Malformed;
    const int count = (quint8(answer.at(2)) << 8) | quint8(answer.at(3));
    if (count < 1)
        return Result::NoSuchAttribute;
    if (quint8(answer.at(6)) != Integer)
        return Result::NotAnInteger;
    if (answer.size() < 11)
        return Result::Malformed;
    *value = (quint32(quint8(answer.at(7))) << 24) | (quint32(quint8(answer.at(8))) << 16)
        | (quint32(quint8(answer.at(9))) << 8) | quint32(quint8(answer.at(10)));
    return Result::Integer;
}
