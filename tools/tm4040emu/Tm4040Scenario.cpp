#include "Tm4040Scenario.h"

#include <QFile>
#include <QTextStream>

namespace {

quint8 bcd(int value)
{
    return quint8((value / 10 % 10) << 4 | value % 10);
}

int digit(quint32 value, int position)
{
    for (int i = 0; i < position; ++i)
        value /= 10;
    return int(value % 10);
}

} // namespace

QByteArray Tm4040Scenario::makeRecord(int number, quint8 flags, quint32 ed, quint32 med,
                                      const QDateTime &dateTime)
{
    const quint32 n = quint32(number);
    QByteArray r(16, '\0');
    r[0] = char(digit(n, 2) << 4 | digit(n, 1));
    r[1] = char(digit(n, 0) << 4 | flags >> 4);
    r[2] = char((flags & 0x0F) << 4 | digit(ed, 6));
    r[3] = char(digit(ed, 5) << 4 | digit(ed, 4));
    r[4] = char(digit(ed, 3) << 4 | digit(ed, 2));
    r[5] = char(digit(ed, 1) << 4 | digit(ed, 0));
    r[6] = char(digit(med, 5) << 4 | digit(med, 4));
    r[7] = char(digit(med, 3) << 4 | digit(med, 2));
    r[8] = char(digit(med, 1) << 4 | digit(med, 0));
    const QDate date = dateTime.date();
    const QTime time = dateTime.time();
    r[9] = char(bcd(date.year() - 2000));
    r[10] = char(bcd(date.month()));
    r[11] = char(bcd(date.day()));
    r[12] = char(bcd(time.hour()));
    r[13] = char(bcd(time.minute()));
    r[14] = char(bcd(time.second()));
    return r;
}

QList<QByteArray> Tm4040Scenario::generateRecords(int count, const QDateTime &start,
                                                  int stepSeconds)
{
    QList<QByteArray> records;
    records.reserve(count);
    for (int i = 0; i < count; ++i) {
        const quint8 flags = i % 50 == 49 ? 0x10 : 0x00;
        records.append(makeRecord((i + 1) % 1000, flags, quint32(i + 1) * 7, quint32(10 + i % 40),
                                  start.addSecs(qint64(i) * stepSeconds)));
    }
    return records;
}

bool Tm4040Scenario::loadRecords(const QString &path, QList<QByteArray> *records, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = file.errorString();
        return false;
    }
    QList<QByteArray> loaded;
    int lineNumber = 0;
    while (!file.atEnd()) {
        ++lineNumber;
        const QByteArray line = file.readLine().trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        QByteArray hex = line;
        hex.replace(' ', "").replace('\t', "");
        const QByteArray record = QByteArray::fromHex(hex);
        if (record.size() != 16 || record.toHex().compare(hex.toLower()) != 0) {
            *error = QStringLiteral("line %1: 16 hexadecimal bytes expected").arg(lineNumber);
            return false;
        }
        loaded.append(record);
    }
    *records = loaded;
    return true;
}
