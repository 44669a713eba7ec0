#include "report/CsvWriter.h"

#include <QFile>
#include <QSaveFile>
#include <cmath>

void CsvWriter::addRow(const QVariantList &fields)
{
    QStringList line;
    line.reserve(fields.size());
    for (const QVariant &value : fields)
        line << field(value);
    m_lines << line.join(QLatin1Char(';'));
}

QByteArray CsvWriter::data() const
{
    QByteArray bytes("\xEF\xBB\xBF");
    for (const QString &line : m_lines) {
        bytes += line.toUtf8();
        bytes += "\r\n";
    }
    return bytes;
}

bool CsvWriter::write(const QString &fileName, QString *error) const
{
    // All or nothing: an old file stays whole when writing fails.
    QSaveFile file(fileName);
    if (file.open(QIODevice::WriteOnly) && file.write(data()) >= 0 && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

QString CsvWriter::number(double value, int decimals)
{
    if (!std::isfinite(value))
        return QString();
    QString text = QString::number(value, 'f', qBound(0, decimals, 15));
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    if (text == QLatin1String("-0"))
        text = QStringLiteral("0");
    text.replace(QLatin1Char('.'), QLatin1Char(','));
    return text;
}

QString CsvWriter::field(const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return number(value.toDouble());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return value.toString();
    default:
        break;
    }
    QString text = value.toString();
    const bool quoted = text.contains(QLatin1Char(';')) || text.contains(QLatin1Char('"'))
        || text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'))
        || (!text.isEmpty() && (text.front().isSpace() || text.back().isSpace()));
    if (!quoted)
        return text;
    text.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}
