#include "report/ReportTemplateParser.h"

#include <QHash>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QtMath>
#include <utility>

namespace {

// Limits that no real template comes near; they keep a hostile file from
// making the layout run for ever.
constexpr int MaxBands = 256;
constexpr int MaxFieldsPerBand = 4096;
constexpr qreal MaxCoordinate = 100000;

const QHash<QString, ReportBand::Type> &bandTypes()
{
    static const QHash<QString, ReportBand::Type> types {
        {QStringLiteral("ReportTitle"), ReportBand::ReportTitle},
        {QStringLiteral("PageHeader"), ReportBand::PageHeader},
        {QStringLiteral("MasterHeader"), ReportBand::MasterHeader},
        {QStringLiteral("MasterData"), ReportBand::MasterData},
        {QStringLiteral("MasterFooter"), ReportBand::MasterFooter},
        {QStringLiteral("ReportSummary"), ReportBand::ReportSummary},
        {QStringLiteral("PageFooter"), ReportBand::PageFooter},
    };
    return types;
}

QString attribute(const QXmlStreamAttributes &attributes, const char *name)
{
    return attributes.value(QLatin1String(name)).toString();
}

bool flag(const QXmlStreamAttributes &attributes, const char *name, bool fallback)
{
    const QString text = attribute(attributes, name).trimmed();
    if (text.isEmpty())
        return fallback;
    if (text == QLatin1String("1") || text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (text == QLatin1String("0")
        || text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    return fallback;
}

qreal number(const QXmlStreamAttributes &attributes, const char *name, qreal fallback,
             qreal minimum, qreal maximum)
{
    return ReportTemplateParser::parseNumber(attribute(attributes, name), fallback, minimum,
                                             maximum);
}

void color(const QXmlStreamAttributes &attributes, const char *name, QColor *target)
{
    ReportTemplateParser::parseColor(attribute(attributes, name), target);
}

QRectF geometry(const QXmlStreamAttributes &attributes)
{
    return QRectF(number(attributes, "left", 0, -MaxCoordinate, MaxCoordinate),
                  number(attributes, "top", 0, -MaxCoordinate, MaxCoordinate),
                  number(attributes, "width", 0, 0, MaxCoordinate),
                  number(attributes, "height", 0, 0, MaxCoordinate));
}

Qt::PenStyle penStyle(const QString &text)
{
    const QString style = text.trimmed().toLower();
    if (style == QLatin1String("dashed"))
        return Qt::DashLine;
    if (style == QLatin1String("dotted"))
        return Qt::DotLine;
    if (style == QLatin1String("dot-dash"))
        return Qt::DashDotLine;
    if (style == QLatin1String("dot-dot-dash"))
        return Qt::DashDotDotLine;
    if (style == QLatin1String("none"))
        return Qt::NoPen;
    return Qt::SolidLine;
}

Qt::Alignment horizontalAlignment(const QString &text)
{
    if (text == QLatin1String("hCenter"))
        return Qt::AlignHCenter;
    if (text == QLatin1String("hRight"))
        return Qt::AlignRight;
    if (text == QLatin1String("hJustify"))
        return Qt::AlignJustify;
    return Qt::AlignLeft;
}

Qt::Alignment verticalAlignment(const QString &text)
{
    if (text == QLatin1String("vTop"))
        return Qt::AlignTop;
    if (text == QLatin1String("vBottom"))
        return Qt::AlignBottom;
    return Qt::AlignVCenter;
}

} // namespace

qreal ReportTemplateParser::parseNumber(const QString &text, qreal fallback, qreal minimum,
                                        qreal maximum)
{
    QString digits = text.trimmed();
    if (digits.endsWith(QLatin1String("px"), Qt::CaseInsensitive))
        digits.chop(2);
    bool ok = false;
    const qreal value = digits.trimmed().toDouble(&ok);
    if (!ok || !qIsFinite(value))
        return fallback;
    return qBound(minimum, value, maximum);
}

bool ReportTemplateParser::parseColor(const QString &text, QColor *color)
{
    static const QRegularExpression rgba(
        QStringLiteral("^\\s*rgba?\\(\\s*(\\d{1,9})\\s*,\\s*(\\d{1,9})\\s*,\\s*(\\d{1,9})\\s*"
                       "(?:,\\s*(\\d{1,9}(?:\\.\\d{0,9})?|\\.\\d{1,9})\\s*)?\\)\\s*$"));
    const QRegularExpressionMatch match = rgba.match(text);
    if (match.hasMatch()) {
        auto channel = [&](int index) {
            return qBound(0, match.captured(index).toInt(), 255);
        };
        int alpha = 255;
        const QString alphaText = match.captured(4);
        if (alphaText.contains(QLatin1Char('.'))) {
            // A fraction as in CSS: 0.5 is half transparent.
            alpha = qRound(qBound(0.0, alphaText.toDouble(), 1.0) * 255);
        } else if (!alphaText.isEmpty()) {
            alpha = channel(4);
        }
        *color = QColor(channel(1), channel(2), channel(3), alpha);
        return true;
    }
    const QString name = text.trimmed();
    if (name.startsWith(QLatin1Char('#')) && QColor::isValidColor(name)) {
        *color = QColor(name);
        return true;
    }
    return false;
}

bool ReportTemplateParser::parse(const QByteArray &data, ReportTemplate *result,
                                 QString *errorMessage)
{
    auto fail = [errorMessage](const QString &message) {
        if (errorMessage)
            *errorMessage = message;
        return false;
    };
    if (data.size() > MaxTemplateSize)
        return fail(QStringLiteral("the template is larger than %1 bytes").arg(MaxTemplateSize));

    QXmlStreamReader xml(data);
    ReportTemplate report;
    bool haveReport = false;
    if (!xml.readNextStartElement())
        return fail(xml.hasError() ? xml.errorString() : QStringLiteral("the template is empty"));
    if (xml.name() != QLatin1String("Reports"))
        return fail(QStringLiteral("the root element is not \"Reports\""));

    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("Report") && !haveReport) {
            readReport(xml, &report);
            haveReport = true;
        } else {
            // Further reports of the file are not printed.
            xml.skipCurrentElement();
        }
    }
    // Read to the end so that a truncated or damaged tail is noticed too.
    while (!xml.atEnd() && !xml.hasError())
        xml.readNext();
    if (xml.hasError()) {
        return fail(QStringLiteral("line %1, column %2: %3")
                        .arg(xml.lineNumber())
                        .arg(xml.columnNumber())
                        .arg(xml.errorString()));
    }
    if (!haveReport)
        return fail(QStringLiteral("the template holds no \"Report\" element"));
    *result = report;
    return true;
}

void ReportTemplateParser::readReport(QXmlStreamReader &xml, ReportTemplate *report)
{
    const QXmlStreamAttributes attributes = xml.attributes();
    report->name = attribute(attributes, "name");
    qreal width = number(attributes, "pageWidth", 840, 100, 20000);
    qreal height = number(attributes, "pageHeight", 1188, 100, 20000);
    const bool landscape = attribute(attributes, "orientation").trimmed() == QLatin1String("1");
    if (landscape != (width > height))
        std::swap(width, height);
    report->pageSize = QSizeF(width, height);

    QMarginsF margins(number(attributes, "marginsLeft", 40, 0, width),
                      number(attributes, "marginsTop", 40, 0, height),
                      number(attributes, "marginsRight", 40, 0, width),
                      number(attributes, "marginsBottom", 40, 0, height));
    // Margins that leave no room to print are not usable.
    if (margins.left() + margins.right() >= width || margins.top() + margins.bottom() >= height)
        margins = QMarginsF(40, 40, 40, 40);
    report->margins = margins;
    report->pageBorder = flag(attributes, "border", false);
    color(attributes, "borderColor", &report->pageBorderColor);
    report->pageBorderWidth = number(attributes, "borderWidth", 1, 0, 50);

    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("ReportBand"))
            readBand(xml, report);
        else
            xml.skipCurrentElement();
    }
}

void ReportTemplateParser::readBand(QXmlStreamReader &xml, ReportTemplate *report)
{
    const QXmlStreamAttributes attributes = xml.attributes();
    const auto type = bandTypes().constFind(attribute(attributes, "type").trimmed());
    if (type == bandTypes().constEnd() || report->bands.size() >= MaxBands) {
        // Band kinds this engine does not print (groups and the like).
        xml.skipCurrentElement();
        return;
    }
    ReportBand band;
    band.type = type.value();
    band.name = attribute(attributes, "name");
    band.geometry = geometry(attributes);

    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("TContainerField") && band.fields.size() < MaxFieldsPerBand)
            readField(xml, &band);
        else
            xml.skipCurrentElement();
    }
    report->bands.append(band);
}

void ReportTemplateParser::readField(QXmlStreamReader &xml, ReportBand *band)
{
    const QXmlStreamAttributes attributes = xml.attributes();
    const QString type = attribute(attributes, "type").trimmed();
    ReportField field;
    if (type == QLatin1String("label")) {
        field.kind = ReportField::Text;
    } else if (type == QLatin1String("labelImage")) {
        field.kind = ReportField::Image;
    } else {
        // Lines, shapes, bar codes and the like are not printed.
        xml.skipCurrentElement();
        return;
    }
    field.name = attribute(attributes, "name");
    field.value = attribute(attributes, "value");
    field.geometry = geometry(attributes);
    readFieldStyle(attributes, &field);
    band->fields.append(field);
    xml.skipCurrentElement();
}

void ReportTemplateParser::readFieldStyle(const QXmlStreamAttributes &attributes,
                                          ReportField *field)
{
    field->fontFamily = attribute(attributes, "fontFamily").trimmed();
    field->fontSize = number(attributes, "fontSize", 10, 1, 400);
    field->fontBold = flag(attributes, "fontBold", false);
    field->fontItalic = flag(attributes, "fontItalic", false);
    field->fontUnderline = flag(attributes, "fontUnderline", false);
    field->fontStrikeout = flag(attributes, "fontStrikeout", false);
    color(attributes, "fontColor", &field->fontColor);
    color(attributes, "backgroundColor", &field->backgroundColor);

    // The colour of each side says whether it is drawn; borderColor is used
    // for a side that is merely switched on ("1").
    QColor sideColor = Qt::black;
    color(attributes, "borderColor", &sideColor);
    auto side = [&](const char *name, QColor *target) {
        const QString text = attribute(attributes, name).trimmed();
        if (text == QLatin1String("1"))
            *target = sideColor;
        else
            ReportTemplateParser::parseColor(text, target);
    };
    side("borderLeft", &field->borderLeft);
    side("borderTop", &field->borderTop);
    side("borderRight", &field->borderRight);
    side("borderBottom", &field->borderBottom);
    field->borderWidth = number(attributes, "borderWidth", 1, 0, 50);
    field->borderStyle = penStyle(attribute(attributes, "borderStyle"));

    QString horizontal = attribute(attributes, "aligmentH");
    if (horizontal.isEmpty())
        horizontal = attribute(attributes, "alignmentH");
    QString vertical = attribute(attributes, "aligmentV");
    if (vertical.isEmpty())
        vertical = attribute(attributes, "alignmentV");
    field->alignment
        = horizontalAlignment(horizontal.trimmed()) | verticalAlignment(vertical.trimmed());

    field->printing = flag(attributes, "printing", true);
    field->autoHeight = flag(attributes, "autoHeight", false);
    field->textWrap = flag(attributes, "textWrap", false);
}
