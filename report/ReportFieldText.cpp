#include "report/ReportFieldText.h"

namespace {

void appendLiteral(QList<ReportFieldText::Segment> &segments, const QString &text)
{
    if (text.isEmpty())
        return;
    if (!segments.isEmpty() && segments.last().kind == ReportFieldText::Segment::Literal)
        segments.last().text += text;
    else
        segments.append({ReportFieldText::Segment::Literal, text});
}

} // namespace

QList<ReportFieldText::Segment> ReportFieldText::parse(const QString &value)
{
    static const struct
    {
        QLatin1String token;
        Segment::Kind kind;
    } tokens[] = {
        {QLatin1String("<Date>"), Segment::Date},
        {QLatin1String("<Time>"), Segment::Time},
        {QLatin1String("<Page>"), Segment::Page},
        {QLatin1String("<TotalPages>"), Segment::TotalPages},
    };

    QList<Segment> segments;
    int literalStart = 0;
    int i = 0;
    auto flushLiteral = [&](int end) {
        appendLiteral(segments, value.mid(literalStart, end - literalStart));
    };
    while (i < value.size()) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('[')) {
            const int close = value.indexOf(QLatin1Char(']'), i + 1);
            const int nested = value.indexOf(QLatin1Char('['), i + 1);
            if (close > i + 1 && (nested < 0 || nested > close)) {
                flushLiteral(i);
                segments.append({Segment::Field, value.mid(i + 1, close - i - 1)});
                i = close + 1;
                literalStart = i;
                continue;
            }
        } else if (c == QLatin1Char('<')) {
            bool matched = false;
            for (const auto &token : tokens) {
                if (value.midRef(i).startsWith(token.token)) {
                    flushLiteral(i);
                    segments.append({token.kind, QString()});
                    i += token.token.size();
                    literalStart = i;
                    matched = true;
                    break;
                }
            }
            if (matched)
                continue;
        }
        ++i;
    }
    flushLiteral(value.size());
    return segments;
}

bool ReportFieldText::hasPageTokens(const QList<Segment> &segments)
{
    for (const Segment &segment : segments) {
        if (segment.kind == Segment::Page || segment.kind == Segment::TotalPages)
            return true;
    }
    return false;
}
