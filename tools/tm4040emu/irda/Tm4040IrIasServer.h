#pragma once

#include <QByteArray>
#include <QList>

// The emulated dosimeter's information access service: a few objects with
// named attributes, and the answer to GetValueByClass, the one query a
// minimal device serves. Requests and answers are IAP frames: a control
// byte (Lst bit 7, Ack bit 6, operation code in bits 0 to 5) and the
// operation's fields; names are a length byte and the name.
//
// GetValueByClass (code 4) answers with a return code (0 success, 1 no
// such class, 2 no such attribute), then, on success, the number of
// matching objects (2 bytes) and for each its identifier (2 bytes) and
// value: type 1 integer (4 bytes), 2 octet sequence (2-byte length and the
// bytes), 3 user string (character set, length byte, the bytes); numbers
// most significant byte first. Other operations get return code FF.
class Tm4040IrIasServer
{
public:
    void addInteger(const QByteArray &className, const QByteArray &attribute, qint32 value);
    void addOctets(const QByteArray &className, const QByteArray &attribute,
                   const QByteArray &value);
    void addString(const QByteArray &className, const QByteArray &attribute,
                   const QByteArray &value);

    // The answer to a whole request (the frames of a request split with the
    // Lst bit already joined).
    QByteArray answer(const QByteArray &request) const;

private:
    struct Attribute
    {
        QByteArray className;
        QByteArray name;
        QByteArray value; // type byte and value, as on the line
    };
    void add(const QByteArray &className, const QByteArray &attribute, const QByteArray &value);
    int objectId(const QByteArray &className) const;

    QList<Attribute> m_attributes;
    QList<QByteArray> m_classes; // object identifier = index
};
