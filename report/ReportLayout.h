#pragma once

#include "report/ReportDocument.h"
#include "report/ReportFieldText.h"

#include <QDateTime>
#include <QVariant>
#include <functional>

// Stacks the bands of a template onto pages and fills in the fields.
//
// The first page starts with the report title, every page (the first below
// the title) with the page header and ends with the page footer at the bottom of the printable
// area. The master header comes before the data rows and again on every page the rows continue on;
// a data row that does not fit starts a new page. The program's values are asked for once per
// placed field, with the record number and the (0-based) page the field lands on.
class ReportLayout
{
public:
    using TextSource = std::function<QVariant(int record, const QString &name, int page)>;
    // `frame` is the image field's size in template units (1/96 inch), so
    // that a picture can be drawn to fill it at the paper's resolution.
    using ImageSource
        = std::function<QImage(int record, const QString &name, int page, const QSizeF &frame)>;
    // Height in template units that a text needs in a field of the given width.
    using TextMeasure
        = std::function<qreal(const ReportField &field, const QString &text, qreal width)>;

    explicit ReportLayout(const ReportTemplate &source);

    void setRecordCount(int count) { m_recordCount = qMax(0, count); }
    void setPrintDateTime(const QDateTime &dateTime) { m_printDateTime = dateTime; }
    void setTextSource(TextSource source) { m_textSource = std::move(source); }
    void setImageSource(ImageSource source) { m_imageSource = std::move(source); }
    // Needed only by templates with "autoHeight" fields; without it those
    // fields keep their height.
    void setTextMeasure(TextMeasure measure) { m_textMeasure = std::move(measure); }

    ReportDocument layout();

private:
    struct PreparedBand
    {
        QList<ReportDocument::Item> items;
        // Texts that still hold "<Page>" or "<TotalPages>", by item index.
        QList<QPair<int, QList<ReportFieldText::Segment>>> pending;
        qreal height = 0;
    };
    struct PendingText
    {
        int page;
        int item;
        QList<ReportFieldText::Segment> segments;
    };

    bool needsMeasuring(int band) const;
    qreal fixedHeight(int band) const;
    PreparedBand prepare(int band, int record);
    void put(const PreparedBand &band, qreal top);
    bool fits(qreal height) const;
    void startPage();
    void finishPage();
    void breakPage(bool repeatMasterHeader);
    void addBand(int band, int record, bool repeatMasterHeader, qreal keepWith = 0);
    int currentRecord() const;

    ReportTemplate m_source;
    int m_recordCount = 0;
    QDateTime m_printDateTime;
    TextSource m_textSource;
    ImageSource m_imageSource;
    TextMeasure m_textMeasure;

    ReportDocument m_document;
    QList<PendingText> m_pendingTexts;
    qreal m_y = 0;
    bool m_pageHasBody = false;
    int m_nextRecord = 0;
    int m_title = -1;
    int m_pageHeader = -1;
    int m_pageFooter = -1;
    int m_masterHeader = -1;
};
