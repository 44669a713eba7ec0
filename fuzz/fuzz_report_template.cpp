// The report template loader on any bytes, and the layout of whatever
// template it accepts.

#include "FuzzCheck.h"
#include "report/ReportLayout.h"
#include "report/ReportTemplateParser.h"

#include <cstdint>

namespace {

bool finite(const QRectF &rect)
{
    return qIsFinite(rect.x()) && qIsFinite(rect.y()) && qIsFinite(rect.width())
        && qIsFinite(rect.height());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    ReportTemplate parsed;
    QString error;
    if (!ReportTemplateParser::parse(bytes, &parsed, &error)) {
        FUZZ_CHECK(!error.isEmpty());
        return 0;
    }

    const QRectF content = parsed.contentRect();
    FUZZ_CHECK(finite(content) && content.width() > 0 && content.height() > 0);
    for (const ReportBand &band : qAsConst(parsed.bands)) {
        FUZZ_CHECK(finite(band.geometry) && band.geometry.height() >= 0);
        for (const ReportField &field : band.fields) {
            FUZZ_CHECK(finite(field.geometry));
            FUZZ_CHECK(field.fontSize >= 1 && field.fontSize <= 400);
            const QList<ReportFieldText::Segment> segments = ReportFieldText::parse(field.value);
            ReportFieldText::hasPageTokens(segments);
        }
    }

    // A few records, values that are a little longer than the field names,
    // and a measure that makes auto-height fields grow: the layout must end
    // and keep every placed field on an existing band and field.
    ReportLayout layout(parsed);
    layout.setRecordCount(int(size % 7));
    layout.setPrintDateTime(QDateTime(QDate(2011, 3, 24), QTime(16, 14, 7)));
    layout.setTextSource([](int record, const QString &name, int page) {
        return QVariant(QStringLiteral("%1:%2:%3").arg(name).arg(record).arg(page));
    });
    layout.setTextMeasure([](const ReportField &field, const QString &text, qreal width) {
        const qreal perLine = qMax<qreal>(1, width / qMax<qreal>(1, field.fontSize));
        return qreal(int(text.size() / perLine) + 1) * field.fontSize * 1.5;
    });
    const ReportDocument document = layout.layout();
    FUZZ_CHECK(!document.pages.isEmpty());
    for (const ReportDocument::Page &page : document.pages) {
        for (const ReportDocument::Item &item : page.items) {
            FUZZ_CHECK(item.band >= 0 && item.band < parsed.bands.size());
            FUZZ_CHECK(item.field >= 0 && item.field < parsed.bands.at(item.band).fields.size());
            FUZZ_CHECK(finite(item.rect));
        }
    }
    return 0;
}
