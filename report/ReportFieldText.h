#pragma once

#include <QList>
#include <QString>

// The value of a text field split into what is printed as written, the
// "[name]" fields the program fills in and the tokens the engine fills in.
class ReportFieldText
{
public:
    struct Segment
    {
        enum Kind { Literal, Field, Date, Time, Page, TotalPages };
        Kind kind = Literal;
        QString text; // the literal text or the field name
    };

    static QList<Segment> parse(const QString &value);
    // Whether the segments hold "<Page>" or "<TotalPages>".
    static bool hasPageTokens(const QList<Segment> &segments);
};
