#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

// Tables as office spreadsheets of a Russian locale read them: UTF-8 with a
// byte-order mark, fields separated by ";", numbers with a decimal comma,
// fields quoted where they hold a separator, a quote, a line break or
// leading or trailing blanks, lines ended by CR LF.
class CsvWriter
{
public:
    // Numbers (doubles, integers) become numbers; anything else its text.
    void addRow(const QVariantList &fields);
    int rowCount() const { return m_lines.size(); }

    // The whole file.
    QByteArray data() const;
    // Writes the file; false with the reason when it cannot.
    bool write(const QString &fileName, QString *error = nullptr) const;

    // A number with a decimal comma and up to `decimals` decimals, trailing
    // zeros dropped ("12,5", "0", "-0,001"); empty for a value that is no
    // number.
    static QString number(double value, int decimals = 6);
    // One field as it stands in the file.
    static QString field(const QVariant &value);

private:
    QStringList m_lines;
};
