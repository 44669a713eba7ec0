#include "report/QtRPT.h"
#include "report/ReportLayout.h"
#include "report/ReportTemplateParser.h"

#include <QtTest>

namespace {

QString label(const QString &value, int left, int top, int width, int height,
              const QString &extra = QString())
{
    return QStringLiteral("<TContainerField type=\"label\" value=\"") + value.toHtmlEscaped()
        + QStringLiteral("\" left=\"%1\" top=\"%2\" width=\"%3\" height=\"%4\" ")
              .arg(left)
              .arg(top)
              .arg(width)
              .arg(height)
        + extra + QStringLiteral("/>");
}

QString image(const QString &value, int left, int top, int width, int height)
{
    return QStringLiteral(
               "<TContainerField type=\"labelImage\" value=\"%1\" left=\"%2\" top=\"%3\" "
               "width=\"%4\" height=\"%5\"/>")
        .arg(value)
        .arg(left)
        .arg(top)
        .arg(width)
        .arg(height);
}

QString band(const QString &type, int height, const QString &fields)
{
    return QStringLiteral("<ReportBand type=\"%1\" name=\"%1\" left=\"40\" top=\"0\" width=\"760\" "
                          "height=\"%2\">")
               .arg(type)
               .arg(height)
        + fields + QStringLiteral("</ReportBand>");
}

QByteArray reportXml(const QString &bands)
{
    return (QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><Reports lib=\"QtRPT\">"
                           "<Report pageWidth=\"840\" pageHeight=\"1188\" marginsLeft=\"40\" "
                           "marginsRight=\"40\" marginsTop=\"40\" marginsBottom=\"40\">")
            + bands + QStringLiteral("</Report></Reports>"))
        .toUtf8();
}

ReportTemplate parsed(const QByteArray &xml)
{
    ReportTemplate report;
    QString error;
    if (!ReportTemplateParser::parse(xml, &report, &error))
        qFatal("test template rejected: %s", qPrintable(error));
    return report;
}

// A table report: title 500, page header 100, column header 30, rows 100,
// footer 50. The printable height is 1108: the first page holds the title
// and 4 rows, the further pages 9 rows each.
QByteArray tableReport()
{
    return reportXml(band("PageFooter", 50, label("<Page>/<TotalPages>", 600, 0, 160, 50))
                     + band("MasterData", 100, label("[cell] [other]", 0, 0, 760, 100))
                     + band("MasterHeader", 30, label("head", 0, 0, 760, 30))
                     + band("PageHeader", 100, label("page [title]", 0, 0, 760, 100))
                     + band("ReportTitle", 500, label("[title]", 0, 0, 760, 500)));
}

struct Request
{
    int record;
    QString name;
    int page;
};

// The texts of a page from top to bottom.
QStringList pageTexts(const ReportDocument &document, int page)
{
    QList<ReportDocument::Item> items = document.pages.at(page).items;
    std::stable_sort(items.begin(), items.end(),
                     [](const auto &a, const auto &b) { return a.rect.top() < b.rect.top(); });
    QStringList texts;
    for (const auto &item : items)
        texts << item.text;
    return texts;
}

} // namespace

class ReportLayoutTest : public QObject
{
    Q_OBJECT
private slots:
    void bandsOnOnePage()
    {
        ReportLayout layout(parsed(tableReport()));
        layout.setRecordCount(2);
        layout.setTextSource([](int record, const QString &name, int) {
            return QVariant(QStringLiteral("%1%2").arg(name).arg(record));
        });
        const ReportDocument document = layout.layout();
        QCOMPARE(document.pages.size(), 1);
        QCOMPARE(
            pageTexts(document, 0),
            QStringList({"title0", "page title0", "head", "cell0 other0", "cell1 other1", "1/1"}));

        // Stacked from the top margin; the footer sits at the bottom margin.
        QList<qreal> tops;
        for (const auto &item : document.pages.at(0).items)
            tops << item.rect.top();
        std::sort(tops.begin(), tops.end());
        QCOMPARE(tops, QList<qreal>({40, 540, 640, 670, 770, 1098}));
        // Fields sit at the left margin plus their place in the band.
        for (const auto &item : document.pages.at(0).items)
            QCOMPARE(item.rect.left(), item.text == QLatin1String("1/1") ? 640.0 : 40.0);
    }

    void rowsBreakOntoFurtherPagesWithRepeatedHeaders()
    {
        ReportLayout layout(parsed(tableReport()));
        layout.setRecordCount(4 + 9 + 2);
        QList<Request> requests;
        layout.setTextSource([&](int record, const QString &name, int page) {
            requests.append({record, name, page});
            return QVariant(name == QLatin1String("cell") ? QString::number(record) : QString());
        });
        const ReportDocument document = layout.layout();
        QCOMPARE(document.pages.size(), 3);
        QCOMPARE(pageTexts(document, 0),
                 QStringList({"", "page ", "head", "0 ", "1 ", "2 ", "3 ", "1/3"}));
        QCOMPARE(pageTexts(document, 1),
                 QStringList({"page ", "head", "4 ", "5 ", "6 ", "7 ", "8 ", "9 ", "10 ", "11 ",
                              "12 ", "2/3"}));
        QCOMPARE(pageTexts(document, 2), QStringList({"page ", "head", "13 ", "14 ", "3/3"}));

        // Every data field is asked for once, with its row and its page.
        QList<int> cellRecords;
        for (const Request &request : qAsConst(requests)) {
            if (request.name != QLatin1String("cell"))
                continue;
            cellRecords << request.record;
            QCOMPARE(request.page, request.record < 4 ? 0 : request.record < 13 ? 1 : 2);
        }
        QList<int> expected;
        for (int i = 0; i < 15; ++i)
            expected << i;
        QCOMPARE(cellRecords, expected);
        // The page header asks on each page with the first row of that page.
        QList<QPair<int, int>> titleAsks;
        for (const Request &request : qAsConst(requests)) {
            if (request.name == QLatin1String("title"))
                titleAsks << qMakePair(request.record, request.page);
        }
        QCOMPARE(titleAsks, (QList<QPair<int, int>>({{0, 0}, {0, 0}, {4, 1}, {13, 2}})));
    }

    void headerStaysWithTheFirstRow()
    {
        // The title leaves room for the column header but not for a row.
        const QByteArray xml
            = reportXml(band("ReportTitle", 1108 - 40, label("title", 0, 0, 760, 10))
                        + band("MasterHeader", 30, label("head", 0, 0, 760, 30))
                        + band("MasterData", 20, label("[row]", 0, 0, 760, 20)));
        ReportLayout layout(parsed(xml));
        layout.setRecordCount(1);
        layout.setTextSource([](int, const QString &, int) { return QVariant("row"); });
        const ReportDocument document = layout.layout();
        QCOMPARE(document.pages.size(), 2);
        QCOMPARE(pageTexts(document, 0), QStringList({"title"}));
        QCOMPARE(pageTexts(document, 1), QStringList({"head", "row"}));
    }

    void emptyTableKeepsItsHeader()
    {
        ReportLayout layout(parsed(tableReport()));
        layout.setRecordCount(0);
        int asked = 0;
        layout.setTextSource([&](int record, const QString &, int) {
            ++asked;
            // With no rows there is no other record to name.
            [&] {
                QCOMPARE(record, 0);
            }();
            return QVariant("t");
        });
        const ReportDocument document = layout.layout();
        QCOMPARE(document.pages.size(), 1);
        QCOMPARE(pageTexts(document, 0), QStringList({"t", "page t", "head", "1/1"}));
        QCOMPARE(asked, 2);
    }

    void bandTallerThanThePageDoesNotBreakForEver()
    {
        const QByteArray xml = reportXml(band("PageHeader", 600, label("header", 0, 0, 760, 10))
                                         + band("MasterData", 5000, label("[row]", 0, 0, 760, 10))
                                         + band("PageFooter", 600, label("footer", 0, 0, 760, 10)));
        ReportLayout layout(parsed(xml));
        layout.setRecordCount(3);
        layout.setTextSource([](int record, const QString &, int) { return QVariant(record); });
        const ReportDocument document = layout.layout();
        QCOMPARE(document.pages.size(), 3);
        for (int page = 0; page < 3; ++page) {
            QVERIFY(pageTexts(document, page).contains(QString::number(page)));
            QVERIFY(pageTexts(document, page).contains("footer"));
        }
    }

    void engineTokensAndUnansweredFields()
    {
        const QByteArray xml = reportXml(
            band("ReportTitle", 100,
                 label("<Date> <Time> [a]/[a]/[unknown] <Page> of <TotalPages> [b [c] <Pages>", 0,
                       0, 760, 100)));
        ReportLayout layout(parsed(xml));
        layout.setPrintDateTime(QDateTime(QDate(2024, 3, 9), QTime(7, 5, 31)));
        QStringList asked;
        layout.setTextSource([&](int, const QString &name, int) {
            asked << name;
            if (name == QLatin1String("a"))
                return QVariant(QStringLiteral("<Page>"));
            if (name == QLatin1String("c"))
                return QVariant(42);
            return QVariant();
        });
        const ReportDocument document = layout.layout();
        // A value that looks like a token is printed as given.
        QCOMPARE(pageTexts(document, 0),
                 QStringList({"9 мар. 2024 07:05 <Page>/<Page>/ 1 of 1 [b 42 <Pages>"}));
        QCOMPARE(asked, QStringList({"a", "unknown", "c"}));
    }

    void autoHeightGrowsTheRow()
    {
        const QByteArray xml
            = reportXml(band("MasterData", 20,
                             label("[text]", 0, 0, 760, 20, "autoHeight=\"1\" textWrap=\"1\"")
                                 + label("fixed", 0, 0, 100, 20)));
        ReportLayout layout(parsed(xml));
        layout.setRecordCount(3);
        layout.setTextSource([](int record, const QString &, int) {
            return QVariant(QString(record == 1 ? 5 : 1, QLatin1Char('x')));
        });
        // Ten units per character, as if each were a line of its own.
        layout.setTextMeasure(
            [](const ReportField &, const QString &text, qreal) { return 10.0 * text.size(); });
        const ReportDocument document = layout.layout();
        QList<QRectF> rows, fixed;
        for (const auto &item : document.pages.at(0).items)
            (item.text == QLatin1String("fixed") ? fixed : rows) << item.rect;
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.at(0), QRectF(40, 40, 760, 20));
        QCOMPARE(rows.at(1), QRectF(40, 60, 760, 50));
        QCOMPARE(rows.at(2), QRectF(40, 110, 760, 20));
        // Its neighbour grows along, so the row's frame stays closed.
        QCOMPARE(fixed.at(1), QRectF(40, 60, 100, 50));
    }

    void engineAsksThroughItsSignals()
    {
        QtRPT report;
        QVERIFY(report.loadReportData(
            reportXml(band("MasterHeader", 30, label("[h]", 0, 0, 760, 30))
                      + band("MasterData", 100,
                             label("[cell]", 0, 0, 300, 100) + image("[pic]", 300, 0, 100, 100))
                      + band("PageFooter", 50, label("<Page>", 0, 0, 760, 50)))));
        report.recordCount << 12;
        QList<Request> texts;
        QList<Request> images;
        connect(&report, &QtRPT::setValue,
                [&](const int record, const QString name, QVariant &value, const int page) {
                    texts.append({record, name, page});
                    value = QStringLiteral("v%1").arg(record);
                });
        connect(&report, &QtRPT::setValueImage,
                [&](const int record, const QString name, QImage &picture, const int page) {
                    images.append({record, name, page});
                    picture = QImage(4, 4, QImage::Format_RGB32);
                });
        const ReportDocument document = report.buildDocument();
        // 1108 - 50 - 30 leaves room for 10 rows on each page.
        QCOMPARE(document.pages.size(), 2);
        QCOMPARE(images.size(), 12);
        for (int i = 0; i < 12; ++i) {
            QCOMPARE(images.at(i).record, i);
            QCOMPARE(images.at(i).name, QStringLiteral("pic"));
            QCOMPARE(images.at(i).page, i < 10 ? 0 : 1);
        }
        QStringList cells;
        for (const Request &request : qAsConst(texts)) {
            if (request.name == QLatin1String("cell"))
                cells << QString::number(request.record);
        }
        QCOMPARE(cells.join(','), QStringLiteral("0,1,2,3,4,5,6,7,8,9,10,11"));
        int filled = 0;
        for (const auto &item : document.pages.at(1).items) {
            if (!item.image.isNull())
                ++filled;
        }
        QCOMPARE(filled, 2);

        // Only the first record count counts; a negative one means none.
        report.recordCount = {-4, 7};
        images.clear();
        QCOMPARE(report.buildDocument().pages.size(), 1);
        QVERIFY(images.isEmpty());
    }
};

QTEST_MAIN(ReportLayoutTest)
#include "tst_reportlayout.moc"
