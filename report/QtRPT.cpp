#include "report/QtRPT.h"

#include "report/ReportLayout.h"
#include "report/ReportPainter.h"
#include "report/ReportTemplateParser.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStyle>
#include <QToolBar>

namespace {

Q_LOGGING_CATEGORY(lcReport, "orvane.report")

QSize pagePixels(const ReportTemplate &report, qreal dpi)
{
    const QSizeF millimetres = report.pageSize / ReportTemplate::UnitsPerMillimetre;
    return QSize(qMax(1, qRound(millimetres.width() / 25.4 * dpi)),
                 qMax(1, qRound(millimetres.height() / 25.4 * dpi)));
}

QString fileNameFromTitle(const QString &title)
{
    static const QRegularExpression forbidden(QStringLiteral("[\\\\/:*?\"<>|\\x00-\\x1f]"));
    QString name = title;
    name.replace(forbidden, QStringLiteral("_"));
    name = name.simplified();
    return name.isEmpty() ? QStringLiteral("report") : name;
}

} // namespace

QtRPT::QtRPT(QObject *parent)
    : QObject(parent)
{ }

QtRPT::~QtRPT() = default;

bool QtRPT::loadReport(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        m_loaded = false;
        m_template = ReportTemplate();
        m_errorString = QStringLiteral("cannot open %1: %2").arg(fileName, file.errorString());
        qCWarning(lcReport) << "Report template not loaded:" << m_errorString;
        return false;
    }
    // One byte more than allowed, so that the parser sees an oversized file.
    const QByteArray data = file.read(ReportTemplateParser::MaxTemplateSize + 1);
    if (!loadReportData(data)) {
        qCWarning(lcReport) << "Report template" << fileName << "not loaded:" << m_errorString;
        return false;
    }
    return true;
}

bool QtRPT::loadReportData(const QByteArray &data)
{
    ReportTemplate parsed;
    QString error;
    m_loaded = ReportTemplateParser::parse(data, &parsed, &error);
    m_template = m_loaded ? parsed : ReportTemplate();
    m_errorString = error;
    return m_loaded;
}

ReportDocument QtRPT::buildDocument()
{
    if (!m_loaded)
        return ReportDocument();
    ReportLayout layout(m_template);
    layout.setRecordCount(recordCount.value(0));
    layout.setPrintDateTime(m_printDateTime.isValid() ? m_printDateTime
                                                      : QDateTime::currentDateTime());
    layout.setTextSource([this](int record, const QString &name, int page) {
        QVariant value;
        emit setValue(record, name, value, page);
        return value;
    });
    layout.setImageSource([this](int record, const QString &name, int page, const QSizeF &frame) {
        QImage image;
        m_imageFrame = frame;
        emit setValueImage(record, name, image, page);
        m_imageFrame = QSizeF();
        return image;
    });
    // Measuring text needs the fonts of a GUI application.
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        layout.setTextMeasure(&ReportPainter::textHeight);
    return layout.layout();
}

void QtRPT::setUpPageLayout(QPagedPaintDevice *device, const ReportTemplate &report)
{
    QSizeF size = report.pageSize / ReportTemplate::UnitsPerMillimetre;
    const bool landscape = size.width() > size.height();
    if (landscape)
        size.transpose();
    const QPageSize pageSize(size, QPageSize::Millimeter, QString(), QPageSize::FuzzyMatch);
    const QPageLayout::Orientation orientation
        = landscape ? QPageLayout::Landscape : QPageLayout::Portrait;
    // The template has margins of its own; the paper is used to its edges.
    if (!device->setPageLayout(QPageLayout(pageSize, orientation, QMarginsF())))
        device->setPageSize(pageSize);
    device->setPageOrientation(orientation);
}

bool QtRPT::paintDocument(QPagedPaintDevice *device, const ReportDocument &document)
{
    if (document.pages.isEmpty())
        return false;
    QPainter painter;
    if (!painter.begin(device))
        return false;
    const QRect paper = device->pageLayout().fullRectPixels(device->logicalDpiX());
    const QRectF target(QPointF(0, 0), QSizeF(paper.size()));
    for (int page = 0; page < document.pages.size(); ++page) {
        if (page > 0 && !device->newPage())
            return false;
        ReportPainter::paintPage(&painter, document, page, target);
    }
    return painter.end();
}

bool QtRPT::writePdf(const ReportDocument &document, const QString &fileName,
                     const QString &title) const
{
    if (document.pages.isEmpty())
        return false;
    QPdfWriter writer(fileName);
    writer.setResolution(600);
    writer.setTitle(title.isEmpty() ? document.source.name : title);
    // The name shown to people; the application name is the data folder's
    // byte-for-byte form.
    writer.setCreator(QGuiApplication::applicationDisplayName());
    setUpPageLayout(&writer, document.source);
    return paintDocument(&writer, document);
}

bool QtRPT::printPdf(const QString &fileName, const QString &title)
{
    if (!m_loaded)
        return false;
    const bool written = writePdf(buildDocument(), fileName, title);
    if (!written)
        qCWarning(lcReport) << "Cannot write the report into" << fileName;
    return written;
}

QList<QImage> QtRPT::renderImages(qreal dpi)
{
    QList<QImage> images;
    if (!m_loaded)
        return images;
    dpi = qBound<qreal>(10, dpi, 1200);
    const ReportDocument document = buildDocument();
    const QSize size = pagePixels(document.source, dpi);
    for (int page = 0; page < document.pages.size(); ++page) {
        QImage image(size, QImage::Format_RGB32);
        const int dotsPerMetre = qRound(dpi / 0.0254);
        image.setDotsPerMeterX(dotsPerMetre);
        image.setDotsPerMeterY(dotsPerMetre);
        image.fill(Qt::white);
        QPainter painter(&image);
        ReportPainter::paintPage(&painter, document, page, QRectF(QPointF(0, 0), QSizeF(size)));
        painter.end();
        images.append(image);
    }
    return images;
}

void QtRPT::printExec(bool maximum, bool direct, const QString &printerName, const QString &title)
{
    if (!m_loaded) {
        qCWarning(lcReport) << "printExec without a loaded report template";
        return;
    }
    const ReportDocument document = buildDocument();
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(title.isEmpty() ? document.source.name : title);
    printer.setFullPage(true);
    setUpPageLayout(&printer, document.source);
    if (direct) {
        if (!printerName.isEmpty())
            printer.setPrinterName(printerName);
        if (!paintDocument(&printer, document))
            qCWarning(lcReport) << "Printing on" << printer.printerName() << "failed";
        return;
    }
    showPreview(&printer, document, maximum, title);
}

void QtRPT::showPreview(QPrinter *printer, const ReportDocument &document, bool maximum,
                        const QString &title)
{
    QPrintPreviewDialog dialog(printer, qobject_cast<QWidget *>(parent()));
    dialog.setWindowTitle(title);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
            [&document](QPrinter *target) { paintDocument(target, document); });

    // Besides printing, the operator may keep the report as a PDF file.
    if (auto *toolBar = dialog.findChild<QToolBar *>()) {
        auto *save = new QAction(dialog.style()->standardIcon(QStyle::SP_DialogSaveButton),
                                 tr("Сохранить в PDF"), &dialog);
        save->setObjectName(QStringLiteral("savePdfAction"));
        toolBar->addSeparator();
        toolBar->addAction(save);
        connect(save, &QAction::triggered, &dialog, [this, &dialog, &document, &title]() {
            const QString folder
                = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
            QString fileName = QFileDialog::getSaveFileName(
                &dialog, tr("Сохранить отчёт в PDF"),
                QDir(folder).filePath(fileNameFromTitle(title) + QStringLiteral(".pdf")),
                tr("Документы PDF (*.pdf)"));
            if (fileName.isEmpty())
                return;
            if (!fileName.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
                fileName += QStringLiteral(".pdf");
            if (!writePdf(document, fileName, title)) {
                QMessageBox::critical(
                    &dialog, tr("Ошибка"),
                    tr("Не удалось сохранить файл \"%1\"").arg(QDir::toNativeSeparators(fileName)));
            }
        });
    }
    if (maximum)
        dialog.setWindowState(dialog.windowState() | Qt::WindowMaximized);
    dialog.exec();
}
