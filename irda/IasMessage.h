#pragma once

#include <QByteArray>
#include <QtGlobal>

// Queries and answers of the information access service (IAS) on LSAP 0.
// The first byte of each frame holds the last-frame bit, the ack bit and
// the operation; GetValueByClass asks for an attribute of a class by name,
// each name given with a length byte. Numbers are sent most significant
// byte first.
class IasMessage
{
public:
    static constexpr quint8 LastFrame = 0x80;
    static constexpr quint8 AckFrame = 0x40;
    static constexpr quint8 GetValueByClass = 0x04;

    enum ReturnCode : quint8 {
        Success = 0,
        NoSuchClass = 1,
        NoSuchAttribute = 2,
        Unsupported = 0xFF
    };
    enum ValueType : quint8 { Missing = 0, Integer = 1, OctetSequence = 2, UserString = 3 };

    enum class Result { Integer, NoSuchClass, NoSuchAttribute, NotAnInteger, Failed, Malformed };

    static QByteArray getValueByClass(const QByteArray &className, const QByteArray &attribute);
    // For the server: the names of a GetValueByClass query (operation byte
    // included); false when they do not fit.
    static bool parseGetValueByClass(const QByteArray &query, QByteArray *className,
                                     QByteArray *attribute);

    static QByteArray integerAnswer(quint16 objectId, quint32 value);
    static QByteArray stringAnswer(quint16 objectId, const QByteArray &text);
    static QByteArray failure(quint8 operation, ReturnCode code);

    // For the client: the first value of a GetValueByClass answer (operation
    // byte included) when it is an integer.
    static Result parseIntegerAnswer(const QByteArray &answer, quint32 *value);
};
