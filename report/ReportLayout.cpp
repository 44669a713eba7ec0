#include "report/ReportLayout.h"
#include "report/RussianFormat.h"

#include <QHash>

namespace {

constexpr qreal Epsilon = 0.001;

QString dateText(const QDateTime &dateTime)
{
    return RussianFormat::date(dateTime.date());
}

QString timeText(const QDateTime &dateTime)
{
    return RussianFormat::time(dateTime.time());
}

QString compose(const QList<ReportFieldText::Segment> &segments, int page, int totalPages)
{
    QString text;
    for (const ReportFieldText::Segment &segment : segments) {
        switch (segment.kind) {
        case ReportFieldText::Segment::Page:
            text += QString::number(page + 1);
            break;
        case ReportFieldText::Segment::TotalPages:
            text += QString::number(totalPages);
            break;
        default:
            text += segment.text;
            break;
        }
    }
    return text;
}

} // namespace

ReportLayout::ReportLayout(const ReportTemplate &source)
    : m_source(source)
    , m_printDateTime(QDateTime::currentDateTime())
{ }

ReportDocument ReportLayout::layout()
{
    m_document = ReportDocument();
    m_document.source = m_source;
    m_pendingTexts.clear();
    m_nextRecord = 0;
    m_pageHeader = m_source.bandIndex(ReportBand::PageHeader);
    m_pageFooter = m_source.bandIndex(ReportBand::PageFooter);
    m_masterHeader = m_source.bandIndex(ReportBand::MasterHeader);
    m_title = m_source.bandIndex(ReportBand::ReportTitle);
    const int masterData = m_source.bandIndex(ReportBand::MasterData);
    const int masterFooter = m_source.bandIndex(ReportBand::MasterFooter);
    const int summary = m_source.bandIndex(ReportBand::ReportSummary);

    startPage();
    if (m_masterHeader >= 0) {
        // Keep the header on the page of the first row.
        const qreal firstRow = masterData >= 0 && m_recordCount > 0 ? fixedHeight(masterData) : 0;
        addBand(m_masterHeader, currentRecord(), false, firstRow);
    }
    if (masterData >= 0) {
        for (int record = 0; record < m_recordCount; ++record) {
            m_nextRecord = record;
            addBand(masterData, record, true);
        }
        m_nextRecord = m_recordCount;
    }
    if (masterFooter >= 0)
        addBand(masterFooter, currentRecord(), false);
    if (summary >= 0)
        addBand(summary, currentRecord(), false);
    finishPage();

    // Only now is the number of pages known.
    const int totalPages = m_document.pages.size();
    for (const PendingText &pending : qAsConst(m_pendingTexts)) {
        m_document.pages[pending.page].items[pending.item].text
            = compose(pending.segments, pending.page, totalPages);
    }
    m_pendingTexts.clear();
    return std::move(m_document);
}

int ReportLayout::currentRecord() const
{
    if (m_recordCount == 0)
        return 0;
    return qBound(0, m_nextRecord, m_recordCount - 1);
}

bool ReportLayout::needsMeasuring(int band) const
{
    if (!m_textMeasure)
        return false;
    for (const ReportField &field : m_source.bands.at(band).fields) {
        if (field.printing && field.autoHeight && field.kind == ReportField::Text)
            return true;
    }
    return false;
}

qreal ReportLayout::fixedHeight(int band) const
{
    return m_source.bands.at(band).geometry.height();
}

bool ReportLayout::fits(qreal height) const
{
    qreal bottom = m_source.contentRect().bottom();
    if (m_pageFooter >= 0)
        bottom -= fixedHeight(m_pageFooter);
    return m_y + height <= bottom + Epsilon;
}

void ReportLayout::startPage()
{
    m_document.pages.append(ReportDocument::Page());
    m_y = m_source.contentRect().top();
    m_pageHasBody = false;
    // The title opens the report, above the first page header.
    if (m_document.pages.size() == 1 && m_title >= 0) {
        put(prepare(m_title, currentRecord()), m_y);
        m_pageHasBody = true;
    }
    if (m_pageHeader >= 0)
        put(prepare(m_pageHeader, currentRecord()), m_y);
}

void ReportLayout::finishPage()
{
    if (m_pageFooter < 0)
        return;
    const PreparedBand footer = prepare(m_pageFooter, currentRecord());
    const qreal y = m_y;
    put(footer, m_source.contentRect().bottom() - fixedHeight(m_pageFooter));
    m_y = y;
}

void ReportLayout::breakPage(bool repeatMasterHeader)
{
    finishPage();
    startPage();
    // The repeated header does not count as content: a row that does not fit
    // even under it is printed anyway instead of breaking for ever.
    if (repeatMasterHeader && m_masterHeader >= 0)
        put(prepare(m_masterHeader, currentRecord()), m_y);
}

void ReportLayout::addBand(int band, int record, bool repeatMasterHeader, qreal keepWith)
{
    if (!needsMeasuring(band)) {
        if (!fits(fixedHeight(band) + keepWith) && m_pageHasBody)
            breakPage(repeatMasterHeader);
        put(prepare(band, record), m_y);
    } else {
        PreparedBand prepared = prepare(band, record);
        if (!fits(prepared.height + keepWith) && m_pageHasBody) {
            breakPage(repeatMasterHeader);
            // Asked again: the fields now land on another page.
            prepared = prepare(band, record);
        }
        put(prepared, m_y);
    }
    m_pageHasBody = true;
}

ReportLayout::PreparedBand ReportLayout::prepare(int bandIndex, int record)
{
    const ReportBand &band = m_source.bands.at(bandIndex);
    const int page = m_document.pages.size() - 1;
    PreparedBand prepared;
    prepared.height = band.geometry.height();
    const qreal left = m_source.contentRect().left();

    for (int f = 0; f < band.fields.size(); ++f) {
        const ReportField &field = band.fields.at(f);
        if (!field.printing)
            continue;
        ReportDocument::Item item;
        item.band = bandIndex;
        item.field = f;
        item.rect = field.geometry.translated(left, 0);
        QList<ReportFieldText::Segment> segments = ReportFieldText::parse(field.value);

        if (field.kind == ReportField::Image) {
            for (const ReportFieldText::Segment &segment : qAsConst(segments)) {
                if (segment.kind == ReportFieldText::Segment::Field) {
                    if (m_imageSource)
                        item.image
                            = m_imageSource(record, segment.text, page, field.geometry.size());
                    break;
                }
            }
            prepared.items.append(item);
            continue;
        }

        // A name used twice in one field is asked for once.
        QHash<QString, QString> values;
        for (ReportFieldText::Segment &segment : segments) {
            switch (segment.kind) {
            case ReportFieldText::Segment::Field: {
                auto known = values.constFind(segment.text);
                if (known == values.constEnd()) {
                    const QVariant value
                        = m_textSource ? m_textSource(record, segment.text, page) : QVariant();
                    known = values.insert(segment.text, value.toString());
                }
                segment = {ReportFieldText::Segment::Literal, known.value()};
                break;
            }
            case ReportFieldText::Segment::Date:
                segment = {ReportFieldText::Segment::Literal, dateText(m_printDateTime)};
                break;
            case ReportFieldText::Segment::Time:
                segment = {ReportFieldText::Segment::Literal, timeText(m_printDateTime)};
                break;
            default:
                break;
            }
        }
        if (ReportFieldText::hasPageTokens(segments)) {
            // Measured with the widest page numbers it may get.
            item.text = compose(segments, 998, 999);
            prepared.pending.append({prepared.items.size(), segments});
        } else {
            item.text = compose(segments, 0, 0);
        }
        if (field.autoHeight && m_textMeasure) {
            const qreal needed = m_textMeasure(field, item.text, item.rect.width());
            if (needed > item.rect.height()) {
                item.rect.setHeight(needed);
                prepared.height = qMax(prepared.height, field.geometry.top() + needed);
            }
        }
        prepared.items.append(item);
    }
    // The cells that reach the foot of a row follow it when one of them has
    // grown, so the row's frame stays closed.
    if (prepared.height > band.geometry.height() + Epsilon) {
        for (ReportDocument::Item &item : prepared.items) {
            const QRectF &cell = band.fields.at(item.field).geometry;
            if (qAbs(cell.bottom() - band.geometry.height()) < Epsilon)
                item.rect.setHeight(qMax(item.rect.height(), prepared.height - cell.top()));
        }
    }
    return prepared;
}

void ReportLayout::put(const PreparedBand &band, qreal top)
{
    ReportDocument::Page &page = m_document.pages.last();
    const int first = page.items.size();
    for (ReportDocument::Item item : band.items) {
        item.rect.translate(0, top);
        page.items.append(item);
    }
    for (const auto &pending : band.pending)
        m_pendingTexts.append({m_document.pages.size() - 1, first + pending.first, pending.second});
    m_y = top + band.height;
}
