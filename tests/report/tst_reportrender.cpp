#include "common/ModalHelper.h"
#include "report/QtRPT.h"
#include "report/ReportPainter.h"

#include <QAction>
#include <QFileDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QRawFont>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr qreal Dpi = 100;

// Pixels of a page rendered at Dpi for a position in template units.
int px(qreal units)
{
    return qRound(units * Dpi / 101.6);
}

// One field in a title band, placed at (100, 100) of the printable area.
QByteArray oneField(const QString &attributes, int width = 600, int height = 200)
{
    return (QStringLiteral("<Reports lib=\"QtRPT\"><Report><ReportBand type=\"ReportTitle\" "
                           "height=\"1000\"><TContainerField left=\"100\" top=\"100\" width=\"%1\" "
                           "height=\"%2\" fontFamily=\"MS Shell Dlg 2\" ")
                .arg(width)
                .arg(height)
            + attributes + QStringLiteral("/></ReportBand></Report></Reports>"))
        .toUtf8();
}

QImage renderFirstPage(QtRPT &report)
{
    const QList<QImage> pages = report.renderImages(Dpi);
    return pages.isEmpty() ? QImage() : pages.first();
}

// The bounding box of the dark pixels of an image.
QRect ink(const QImage &image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(line[x]) < 128)
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

// The field's frame in pixels (the band starts at the 40-unit margin).
QRect fieldRect(int width = 600, int height = 200)
{
    return QRect(QPoint(px(140), px(140)), QPoint(px(140 + width) - 1, px(140 + height) - 1));
}

int countPages(const QByteArray &pdf)
{
    return pdf.count("/Type /Page") - pdf.count("/Type /Pages");
}

} // namespace

class ReportRenderTest : public QObject
{
    Q_OBJECT
private slots:
    void alignment_data()
    {
        QTest::addColumn<QString>("horizontal");
        QTest::addColumn<QString>("vertical");
        QTest::newRow("left top") << "hLeft"
                                  << "vTop";
        QTest::newRow("centre") << "hCenter"
                                << "vCenter";
        QTest::newRow("right bottom") << "hRight"
                                      << "vBottom";
    }

    void alignment()
    {
        QFETCH(QString, horizontal);
        QFETCH(QString, vertical);
        QtRPT report;
        QVERIFY(report.loadReportData(
            oneField(QStringLiteral("type=\"label\" value=\"ЖЖЖЖ\" fontSize=\"20\" textWrap=\"1\" "
                                    "aligmentH=\"%1\" aligmentV=\"%2\"")
                         .arg(horizontal, vertical))));
        const QRect box = ink(renderFirstPage(report));
        const QRect field = fieldRect();
        QVERIFY(field.contains(box));
        QVERIFY(box.width() > px(60) && box.width() < px(300));
        if (horizontal == QLatin1String("hLeft"))
            QVERIFY2(box.left() - field.left() < px(10), qPrintable(QString::number(box.left())));
        else if (horizontal == QLatin1String("hRight"))
            QVERIFY(field.right() - box.right() < px(10));
        else
            QVERIFY(qAbs(box.center().x() - field.center().x()) <= px(4));
        if (vertical == QLatin1String("vTop"))
            QVERIFY(box.top() - field.top() < px(15));
        else if (vertical == QLatin1String("vBottom"))
            QVERIFY(field.bottom() - box.bottom() < px(15));
        else
            QVERIFY(qAbs(box.center().y() - field.center().y()) <= px(5));
    }

    void wrapping()
    {
        const QString text = QStringLiteral("слово слово слово слово слово слово слово слово");
        const QString attributes
            = QStringLiteral("type=\"label\" value=\"%1\" fontSize=\"12\" "
                             "aligmentH=\"hLeft\" aligmentV=\"vTop\" textWrap=\"%2\"");
        QtRPT wrapped;
        QVERIFY(wrapped.loadReportData(oneField(attributes.arg(text, "1"), 200, 400)));
        const QRect lines = ink(renderFirstPage(wrapped));

        QtRPT single;
        QVERIFY(single.loadReportData(oneField(attributes.arg(text, "0"), 200, 400)));
        const QRect line = ink(renderFirstPage(single));

        const QRect field = fieldRect(200, 400);
        QVERIFY(field.contains(lines));
        QVERIFY(field.contains(line));
        // Eight words in a narrow field make several lines; unwrapped it is one.
        QVERIFY(line.height() < px(25));
        QVERIFY2(lines.height() > 3 * line.height(), qPrintable(QString::number(lines.height())));
    }

    void slightlyTooWideTextIsNarrowedNotCut()
    {
        // Fits in 200 units only when narrowed a little.
        QtRPT report;
        QVERIFY(report.loadReportData(
            oneField("type=\"label\" value=\" 07.12.2025 08:00:00\" fontSize=\"10\" textWrap=\"1\" "
                     "aligmentH=\"hLeft\" aligmentV=\"vCenter\"",
                     130, 24)));
        const QRect box = ink(renderFirstPage(report));
        const QRect field = fieldRect(130, 24);
        QVERIFY(field.contains(box));
        // One line, reaching close to the right end.
        QVERIFY(box.height() < px(16));
        QVERIFY(field.right() - box.right() < px(12));
    }

    void longTextIsSetSmallerNotCut()
    {
        // A long name in a one-line cell: neither narrowing nor wrapping at
        // its size fits it; cut, its glyphs would touch the frame.
        QtRPT report;
        QVERIFY(report.loadReportData(
            oneField(QString::fromUtf8("type=\"label\" value=\"Константинопольская "
                                       "Александра Вениаминовна\" fontSize=\"10\" textWrap=\"1\" "
                                       "aligmentH=\"hLeft\" aligmentV=\"vCenter\""),
                     130, 24)));
        const QRect box = ink(renderFirstPage(report));
        const QRect field = fieldRect(130, 24);
        QVERIFY2(field.contains(box),
                 qPrintable(QStringLiteral("%1,%2 %3x%4 in %5,%6 %7x%8")
                                .arg(box.x())
                                .arg(box.y())
                                .arg(box.width())
                                .arg(box.height())
                                .arg(field.x())
                                .arg(field.y())
                                .arg(field.width())
                                .arg(field.height())));
        QVERIFY2(box.top() > field.top() && box.bottom() < field.bottom(),
                 qPrintable(QStringLiteral("%1..%2 in %3..%4")
                                .arg(box.top())
                                .arg(box.bottom())
                                .arg(field.top())
                                .arg(field.bottom())));
    }

    void coloursAndBorders()
    {
        QtRPT report;
        QVERIFY(report.loadReportData(
            oneField("type=\"label\" value=\"\" backgroundColor=\"rgba(0,255,0,255)\" "
                     "borderLeft=\"rgba(255,0,0,255)\" borderTop=\"rgba(255,255,255,0)\" "
                     "borderRight=\"rgba(255,255,255,0)\" borderBottom=\"rgba(0,0,255,255)\" "
                     "borderWidth=\"4px\"")));
        const QImage page = renderFirstPage(report);
        const QRect field = fieldRect();
        QCOMPARE(QColor(page.pixel(field.center())), QColor(0, 255, 0));
        QCOMPARE(QColor(page.pixel(field.left(), field.center().y())), QColor(255, 0, 0));
        QCOMPARE(QColor(page.pixel(field.center().x(), field.bottom())), QColor(0, 0, 255));
        QCOMPARE(QColor(page.pixel(field.right(), field.center().y())), QColor(0, 255, 0));
        QCOMPARE(QColor(page.pixel(field.center().x(), field.top())), QColor(0, 255, 0));
        // Outside the field the paper stays white.
        QCOMPARE(QColor(page.pixel(field.right() + px(10), field.center().y())), QColor(Qt::white));
    }

    void textColourAndCyrillicFont()
    {
        ReportField field;
        field.fontFamily = QStringLiteral("MS Shell Dlg 2");
        QImage device(10, 10, QImage::Format_RGB32);
        const QRawFont raw = QRawFont::fromFont(ReportPainter::fieldFont(field, &device));
        QVERIFY(raw.supportsCharacter(QChar(0x0416)));

        QtRPT report;
        QVERIFY(report.loadReportData(
            oneField("type=\"label\" value=\"███\" fontSize=\"40\" "
                     "fontColor=\"rgba(200,0,0,255)\" aligmentH=\"hCenter\"")));
        const QImage page = renderFirstPage(report);
        QCOMPARE(QColor(page.pixel(fieldRect().center())), QColor(200, 0, 0));
    }

    void imagesKeepTheirProportions()
    {
        QtRPT report;
        QVERIFY(report.loadReportData(oneField("type=\"labelImage\" value=\"[pic]\" "
                                               "aligmentH=\"hCenter\" aligmentV=\"vCenter\"",
                                               200, 200)));
        QStringList asked;
        connect(&report, &QtRPT::setValueImage,
                [&](const int record, const QString name, QImage &image, const int page) {
                    asked << QStringLiteral("%1 %2 %3").arg(record).arg(name).arg(page);
                    image = QImage(100, 50, QImage::Format_RGB32);
                    image.fill(Qt::blue);
                });
        const QImage page = renderFirstPage(report);
        QCOMPARE(asked, QStringList({"0 pic 0"}));
        const QRect field = fieldRect(200, 200);
        QCOMPARE(QColor(page.pixel(field.center())), QColor(Qt::blue));
        // Twice as wide as high: centred, with white above and below.
        QCOMPARE(QColor(page.pixel(field.center().x(), field.top() + px(20))), QColor(Qt::white));
        QCOMPARE(QColor(page.pixel(field.center().x(), field.bottom() - px(20))),
                 QColor(Qt::white));
        QCOMPARE(QColor(page.pixel(field.left() + px(3), field.center().y())), QColor(Qt::blue));
    }

    void writesA4Pdf()
    {
        QtRPT report;
        QVERIFY(report.loadReportData(
            "<Reports><Report><ReportBand type=\"MasterData\" height=\"300\">"
            "<TContainerField type=\"label\" value=\"строка [n]\" width=\"700\" height=\"30\"/>"
            "</ReportBand></Report></Reports>"));
        report.recordCount << 10;
        connect(
            &report, &QtRPT::setValue,
            [](const int record, const QString, QVariant &value, const int) { value = record; });
        QTemporaryDir dir;
        const QString fileName = dir.filePath("report.pdf");
        // The program's data folder name is its application name in a
        // garbled form; the file names the program as people read it.
        const QString appName = QCoreApplication::applicationName();
        QCoreApplication::setApplicationName(QString::fromLatin1(u8"КВР-ТМ4040"));
        QGuiApplication::setApplicationDisplayName(QStringLiteral("КВР-ТМ4040"));
        QVERIFY(report.printPdf(fileName, "Проба"));
        QCoreApplication::setApplicationName(appName);
        QFile file(fileName);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray pdf = file.readAll();
        QVERIFY(pdf.startsWith("%PDF-"));
        const auto pdfText = [](const QString &text) {
            QByteArray bytes("\xfe\xff", 2);
            for (const QChar c : text) {
                bytes += char(c.unicode() >> 8);
                bytes += char(c.unicode() & 0xff);
            }
            return bytes;
        };
        QVERIFY(pdf.contains("/Creator (" + pdfText(QStringLiteral("КВР-ТМ4040")) + ")"));
        QVERIFY(pdf.contains("/Title (" + pdfText(QStringLiteral("Проба")) + ")"));
        // 1108 units hold three rows of 300.
        QCOMPARE(countPages(pdf), 4);
        QVERIFY(pdf.contains("/MediaBox [0 0 595"));

        QVERIFY(!report.printPdf(dir.filePath("missing/folder/report.pdf")));
    }

    void previewShowsTheTitleAndThePages()
    {
        QtRPT report;
        QVERIFY(report.loadReportData("<Reports><Report><ReportBand type=\"MasterData\" "
                                      "height=\"554\"/></Report></Reports>"));
        report.recordCount << 5;
        bool seen = false;
        TestSupport::onNextModal([&](QWidget *widget) {
            auto *dialog = qobject_cast<QPrintPreviewDialog *>(widget);
            QVERIFY(dialog);
            seen = true;
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Отчёт по пользователю (за день)"));
            QVERIFY(!dialog->isMaximized());
            auto *preview = dialog->findChild<QPrintPreviewWidget *>();
            QVERIFY(preview);
            QCOMPARE(preview->pageCount(), 3);
            dialog->reject();
        });
        report.printExec(false, false, QString(),
                         QStringLiteral("Отчёт по пользователю (за день)"));
        QVERIFY(seen);
    }

    void previewSavesAPdf()
    {
        QtRPT report;
        QVERIFY(report.loadReportData(oneField("type=\"label\" value=\"[who]\"")));
        int asked = 0;
        connect(&report, &QtRPT::setValue,
                [&](const int, const QString, QVariant &value, const int) {
                    ++asked;
                    value = QStringLiteral("Иванов");
                });
        QTemporaryDir dir;
        const QString fileName = dir.filePath("saved");
        bool seen = false;
        TestSupport::onNextModal([&](QWidget *widget) {
            auto *dialog = qobject_cast<QPrintPreviewDialog *>(widget);
            QVERIFY(dialog);
            seen = true;
            QVERIFY(dialog->isMaximized());
            auto *save = dialog->findChild<QAction *>(QStringLiteral("savePdfAction"));
            QVERIFY(save);
            TestSupport::onNextModal([&](QWidget *fileWidget) {
                auto *files = qobject_cast<QFileDialog *>(fileWidget);
                QVERIFY(files);
                files->selectFile(fileName);
                QMetaObject::invokeMethod(files, "accept");
            });
            save->trigger();
            dialog->reject();
        });
        report.printExec(true, false, QString(), QStringLiteral("Печать"));
        QVERIFY(seen);
        // The values were asked for once, not on every repaint of the preview.
        QCOMPARE(asked, 1);
        QFile file(fileName + ".pdf");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().startsWith("%PDF-"));
    }

    void nothingIsShownWithoutATemplate()
    {
        QtRPT report;
        QVERIFY(!report.loadReportData("<Reports>"));
        bool seen = false;
        TestSupport::onNextModal(
            [&](QWidget *widget) {
                seen = true;
                widget->close();
            },
            200);
        report.printExec(false, false, QString(), QStringLiteral("x"));
        QTest::qWait(250);
        QVERIFY(!seen);
    }
};

QTEST_MAIN(ReportRenderTest)
#include "tst_reportrender.moc"
