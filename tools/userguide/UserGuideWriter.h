#pragma once

#include <QList>
#include <QString>

class QPainter;
class QTextDocument;

// Lays a Markdown guide out on A4 pages and writes it as a PDF: a title page
// with the table of contents, then the guide with page numbers in the footer.
class UserGuideWriter
{
public:
    bool write(const QString &markdown, const QString &pdfFileName, QString *error);

private:
    struct Heading
    {
        int level;
        QString text;
        int page; // 0-based page of the guide body
    };

    static QString takeTitle(QString *markdown);
    static void styleBody(QTextDocument *document);
    static QList<Heading> headings(QTextDocument *document, qreal pageHeight);
    static QString contentsHtml(const QString &title, const QList<Heading> &headings,
                                int firstPage);
    void drawFooter(QPainter *painter, int page, int pages) const;

    QString m_title;
    qreal m_pageWidth = 0;
    qreal m_bodyHeight = 0;
    qreal m_footerHeight = 0;
};
