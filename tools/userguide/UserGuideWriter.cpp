#include "UserGuideWriter.h"

#include <QAbstractTextDocumentLayout>
#include <QFont>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

namespace {

const QColor TitleBlue(0, 85, 255);
const QColor HeaderFill(221, 230, 255);
const QString FontFamily = QStringLiteral("DejaVu Sans");

QFont bodyFont(qreal points)
{
    QFont font(FontFamily);
    font.setPointSizeF(points);
    return font;
}

} // namespace

QString UserGuideWriter::takeTitle(QString *markdown)
{
    // The first level-one heading is the title of the title page.
    const QStringList lines = markdown->split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        if (lines.at(i).startsWith(QLatin1String("# "))) {
            QStringList rest = lines;
            const QString title = rest.takeAt(i).mid(2).trimmed();
            *markdown = rest.join(QLatin1Char('\n'));
            return title;
        }
    }
    return QString();
}

void UserGuideWriter::styleBody(QTextDocument *document)
{
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        QTextCursor cursor(block);
        QTextBlockFormat blockFormat = block.blockFormat();
        const int level = blockFormat.headingLevel();
        if (level > 0) {
            // The importer sizes headings by an adjustment that would override
            // an explicit size; it is replaced by one.
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                QTextCharFormat format = fragment.charFormat();
                format.clearProperty(QTextFormat::FontSizeAdjustment);
                format.setFontWeight(QFont::Bold);
                format.setFontPointSize(level <= 2 ? 15 : 12);
                format.setForeground(level <= 2 ? TitleBlue : QColor(Qt::black));
                QTextCursor text(document);
                text.setPosition(fragment.position());
                text.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
                text.setCharFormat(format);
            }
            blockFormat.setTopMargin(level <= 2 ? 18 : 10);
            blockFormat.setBottomMargin(6);
            // A heading is never left alone at the bottom of a page.
            blockFormat.setPageBreakPolicy(QTextFormat::PageBreak_Auto);
        } else {
            blockFormat.setBottomMargin(5);
            blockFormat.setLineHeight(115, QTextBlockFormat::ProportionalHeight);
        }
        cursor.setBlockFormat(blockFormat);
    }

    // Tables: thin frames, padded cells, a tinted header row, full width.
    for (QTextFrame *frame : document->rootFrame()->childFrames()) {
        auto *table = qobject_cast<QTextTable *>(frame);
        if (!table)
            continue;
        QTextTableFormat format = table->format();
        format.setBorder(0.6);
        format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        format.setBorderBrush(QColor(120, 120, 120));
        format.setCellSpacing(0);
        format.setCellPadding(4);
        format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        format.setHeaderRowCount(1);
        format.setTopMargin(4);
        format.setBottomMargin(8);
        table->setFormat(format);
        for (int column = 0; column < table->columns(); ++column) {
            QTextTableCell cell = table->cellAt(0, column);
            QTextCharFormat header = cell.format();
            header.setBackground(HeaderFill);
            cell.setFormat(header);
            QTextCursor cursor = cell.firstCursorPosition();
            cursor.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
            QTextCharFormat bold;
            bold.setFontWeight(QFont::Bold);
            cursor.mergeCharFormat(bold);
        }
    }
}

QList<UserGuideWriter::Heading> UserGuideWriter::headings(QTextDocument *document, qreal pageHeight)
{
    QList<Heading> result;
    QAbstractTextDocumentLayout *layout = document->documentLayout();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const int level = block.blockFormat().headingLevel();
        if (level < 2 || level > 3)
            continue;
        const qreal top = layout->blockBoundingRect(block).top();
        result.append({level, block.text(), int(top / pageHeight)});
    }
    return result;
}

QString UserGuideWriter::contentsHtml(const QString &title, const QList<Heading> &headings,
                                      int firstPage)
{
    QString html
        = QStringLiteral(
              "<p style=\"margin-top:120px; font-size:26pt; font-weight:bold; "
              "color:#0055ff\">%1</p>"
              "<p style=\"font-size:13pt; margin-bottom:60px\">Программа учёта индивидуальных доз "
              "КВР-ТМ4040</p>"
              "<p style=\"font-size:15pt; font-weight:bold; color:#0055ff\">Содержание</p>"
              "<table width=\"100%\" cellspacing=\"0\" cellpadding=\"2\">")
              .arg(title.toHtmlEscaped());
    for (const Heading &heading : headings) {
        const QString indent
            = heading.level == 2 ? QString() : QStringLiteral("&nbsp;&nbsp;&nbsp;&nbsp;");
        const QString weight
            = heading.level == 2 ? QStringLiteral("bold") : QStringLiteral("normal");
        html += QStringLiteral("<tr><td style=\"font-weight:%1\">%2%3</td>"
                               "<td align=\"right\" style=\"font-weight:%1\">%4</td></tr>")
                    .arg(weight, indent, heading.text.toHtmlEscaped())
                    .arg(heading.page + firstPage + 1);
    }
    html += QStringLiteral("</table>");
    return html;
}

void UserGuideWriter::drawFooter(QPainter *painter, int page, int pages) const
{
    painter->save();
    painter->setFont(bodyFont(8));
    painter->setPen(QColor(90, 90, 90));
    const qreal top = m_bodyHeight + m_footerHeight * 0.3;
    painter->drawLine(QPointF(0, top), QPointF(m_pageWidth, top));
    const QRectF text(0, top, m_pageWidth, m_footerHeight * 0.7);
    painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                      QStringLiteral("%1 · КВР-ТМ4040").arg(m_title));
    painter->drawText(text, Qt::AlignRight | Qt::AlignVCenter,
                      QStringLiteral("стр. %1 из %2").arg(page + 1).arg(pages));
    painter->restore();
}

bool UserGuideWriter::write(const QString &markdown, const QString &pdfFileName, QString *error)
{
    QString body = markdown;
    m_title = takeTitle(&body);
    if (m_title.isEmpty())
        m_title = QStringLiteral("Руководство оператора");

    QPdfWriter writer(pdfFileName);
    writer.setResolution(300);
    writer.setTitle(m_title);
    writer.setCreator(QStringLiteral("КВР-ТМ4040"));
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(20, 15, 18, 12), QPageLayout::Millimeter));
    m_pageWidth = writer.width();
    m_footerHeight = 10 / 25.4 * writer.resolution();
    m_bodyHeight = writer.height() - m_footerHeight;
    const QSizeF pageSize(m_pageWidth, m_bodyHeight);

    QTextDocument guide;
    guide.documentLayout()->setPaintDevice(&writer);
    guide.setDefaultFont(bodyFont(10));
    guide.setMarkdown(body);
    styleBody(&guide);
    guide.setPageSize(pageSize);
    const QList<Heading> sections = headings(&guide, m_bodyHeight);

    // The contents pages come first, so the guide's page numbers depend on
    // how many there are.
    QTextDocument contents;
    contents.documentLayout()->setPaintDevice(&writer);
    contents.setDefaultFont(bodyFont(10));
    contents.setPageSize(pageSize);
    int contentsPages = 1;
    for (int attempt = 0; attempt < 3; ++attempt) {
        contents.setHtml(contentsHtml(m_title, sections, contentsPages));
        if (contents.pageCount() == contentsPages)
            break;
        contentsPages = contents.pageCount();
    }

    QPainter painter;
    if (!painter.begin(&writer)) {
        *error = QStringLiteral("the PDF file cannot be opened");
        return false;
    }
    const int total = contentsPages + guide.pageCount();
    int page = 0;
    auto paint = [&](QTextDocument &document, int count) {
        for (int i = 0; i < count; ++i, ++page) {
            if (page > 0)
                writer.newPage();
            painter.save();
            painter.translate(0, -i * m_bodyHeight);
            document.drawContents(&painter, QRectF(0, i * m_bodyHeight, m_pageWidth, m_bodyHeight));
            painter.restore();
            drawFooter(&painter, page, total);
        }
    };
    paint(contents, contentsPages);
    paint(guide, guide.pageCount());
    if (!painter.end()) {
        *error = QStringLiteral("the PDF file cannot be written");
        return false;
    }
    return true;
}
