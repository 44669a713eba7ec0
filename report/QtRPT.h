#pragma once

#include "report/ReportDocument.h"

#include <QDateTime>
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

class QPagedPaintDevice;
class QPrinter;

// The report engine: loads an XML report template, asks its owner for the
// values of the template's "[name]" fields through setValue() and
// setValueImage(), lays the bands out on A4 pages and shows a print preview,
// writes a PDF file or renders page pictures.
//
// Connect the two signals directly (the default between objects of one
// thread): the receiving slot fills the value passed by reference.
class QtRPT : public QObject
{
    Q_OBJECT
public:
    explicit QtRPT(QObject *parent = nullptr);
    ~QtRPT() override;

    // Loads a template from a file or a resource (":/..."). False when it
    // cannot be read or is not a template; errorString() says why.
    bool loadReport(const QString &fileName);
    // The same from the template's bytes.
    bool loadReportData(const QByteArray &data);
    bool isLoaded() const { return m_loaded; }
    QString errorString() const { return m_errorString; }

    // Number of data records for the template's data band; the first entry
    // is used, none means no records.
    QList<int> recordCount;

    // The date and time printed for "<Date>" and "<Time>"; the moment of
    // printing unless set.
    void setPrintDateTime(const QDateTime &dateTime) { m_printDateTime = dateTime; }

    // Shows the print preview titled `title`, from which the operator prints
    // or saves a PDF; returns when the preview is closed. `maximum` shows it
    // maximised; `direct` prints on `printerName` (the default printer when
    // empty) without a preview.
    void printExec(bool maximum = false, bool direct = false,
                   const QString &printerName = QString(), const QString &title = QString());

    // Writes the report into a PDF file without showing anything.
    bool printPdf(const QString &fileName, const QString &title = QString());
    // Renders every page into a picture of the paper size at `dpi`.
    QList<QImage> renderImages(qreal dpi = 96);

    // While setValueImage() is emitted: the size of the image field asked
    // for, in template units (1/96 inch). A picture drawn for this size at
    // PrintDpi fills its frame at print resolution.
    QSizeF imageFrame() const { return m_imageFrame; }
    static constexpr qreal PrintDpi = 300;

    // Lays the report out, asking for every value; what the functions above
    // draw. Exposed for tests.
    ReportDocument buildDocument();

signals:
    // Record number (0-based row of the data band; for the other bands the
    // row the report has reached), field name, the value to fill in, and the
    // 0-based page the field is printed on.
    void setValue(const int recNo, const QString paramName, QVariant &paramValue,
                  const int reportPage);
    void setValueImage(const int recNo, const QString paramName, QImage &paramValue,
                       const int reportPage);

private:
    static void setUpPageLayout(QPagedPaintDevice *device, const ReportTemplate &report);
    static bool paintDocument(QPagedPaintDevice *device, const ReportDocument &document);
    bool writePdf(const ReportDocument &document, const QString &fileName,
                  const QString &title) const;
    void showPreview(QPrinter *printer, const ReportDocument &document, bool maximum,
                     const QString &title);

    ReportTemplate m_template;
    bool m_loaded = false;
    QString m_errorString;
    QDateTime m_printDateTime;
    QSizeF m_imageFrame;
};
