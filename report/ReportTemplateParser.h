#pragma once

#include "report/ReportTemplate.h"

#include <QByteArray>
#include <QString>

class QXmlStreamAttributes;
class QXmlStreamReader;

// Reads the XML report template format: a root "Reports" element holding a
// "Report" (page size and margins) with "ReportBand" elements, each holding
// "TContainerField" elements.
//
// Needs no display and no application object, so it can be fed arbitrary
// bytes (for fuzzing). Attribute values that cannot be read fall back to
// their defaults and numbers are clamped to sane ranges; only a document that
// is not well-formed XML or lacks the "Reports"/"Report" structure is
// rejected.
class ReportTemplateParser
{
public:
    // Largest template accepted, in bytes.
    static constexpr int MaxTemplateSize = 8 * 1024 * 1024;

    static bool parse(const QByteArray &data, ReportTemplate *result,
                      QString *errorMessage = nullptr);

    // Helpers for single attribute values, exposed for tests.
    static bool parseColor(const QString &text, QColor *color);
    static qreal parseNumber(const QString &text, qreal fallback, qreal minimum, qreal maximum);

private:
    static void readReport(QXmlStreamReader &xml, ReportTemplate *report);
    static void readBand(QXmlStreamReader &xml, ReportTemplate *report);
    static void readField(QXmlStreamReader &xml, ReportBand *band);
    static void readFieldStyle(const QXmlStreamAttributes &attributes, ReportField *field);
};
