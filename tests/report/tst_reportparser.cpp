#include "report/QtRPT.h"
#include "report/ReportLayout.h"
#include "report/ReportTemplateParser.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const char *const WellFormed = R"xml(<?xml version="1.0" encoding="UTF-8"?>
<Reports lib="QtRPT" designer="test" designerVersion="1">
  <Report name="sample" pageWidth="840" pageHeight="1188" marginsLeft="30" marginsRight="50"
          marginsTop="20" marginsBottom="60" orientation="0" border="0">
    <ReportBand type="MasterHeader" name="head" left="40" top="100" width="760" height="30"
                showInGroup="0">
      <TContainerField name="h1" type="label" value=" Дата и время" left="5" top="5" width="136"
          height="24" fontFamily="MS Shell Dlg 2" fontSize="10" fontBold="1" fontItalic="0"
          fontUnderline="1" fontStrikeout="0" fontColor="rgba(255,255,255,255)"
          backgroundColor="rgba(0,85,255,255)" borderLeft="rgba(0,0,0,255)"
          borderTop="rgba(255,255,255,0)" borderRight="rgba(10,20,30,255)"
          borderBottom="rgba(255,255,255,0)" borderColor="rgba(0,0,0,255)" borderWidth="2px"
          borderStyle="dashed" aligmentH="hRight" aligmentV="vBottom" printing="1" autoHeight="1"
          textWrap="1" groupName="" format="" highlighting=""/>
      <TContainerField name="line" type="reactangle" left="0" top="0" width="10" height="10"/>
      <TContainerField name="hidden" type="label" value="x" printing="0"/>
    </ReportBand>
    <ReportBand type="DataGroupHeader" name="group" height="20"/>
    <ReportBand type="MasterData" name="data" left="40" top="200" width="760" height="24">
      <TContainerField name="pic" type="labelImage" value="[graph]" left="6" top="4" width="17"
          height="16" aligmentH="hCenter" aligmentV="vCenter"/>
    </ReportBand>
  </Report>
  <Report name="second"><ReportBand type="PageHeader" height="10"/></Report>
</Reports>
)xml";

QByteArray validTemplate(const QString &name)
{
    QFile file(QStringLiteral(":/text/resources/data/reports/%1.xml").arg(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing template %s", qPrintable(name));
    return file.readAll();
}

} // namespace

class ReportParserTest : public QObject
{
    Q_OBJECT
private slots:
    void readsPageBandsAndFields()
    {
        ReportTemplate report;
        QString error;
        QVERIFY2(ReportTemplateParser::parse(WellFormed, &report, &error), qPrintable(error));
        QCOMPARE(report.name, QStringLiteral("sample"));
        QCOMPARE(report.pageSize, QSizeF(840, 1188));
        QCOMPARE(report.margins, QMarginsF(30, 20, 50, 60));
        QCOMPARE(report.contentRect(), QRectF(30, 20, 760, 1108));
        QVERIFY(!report.pageBorder);
        // Unknown band kinds and the second report are left out.
        QCOMPARE(report.bands.size(), 2);
        QCOMPARE(report.bands.at(0).type, ReportBand::MasterHeader);
        QCOMPARE(report.bands.at(1).type, ReportBand::MasterData);
        QCOMPARE(report.bands.at(1).geometry, QRectF(40, 200, 760, 24));

        // Shapes are not printed; a field that is not printed is kept but flagged.
        const QList<ReportField> &fields = report.bands.at(0).fields;
        QCOMPARE(fields.size(), 2);
        QVERIFY(!fields.at(1).printing);

        const ReportField &h = fields.at(0);
        QCOMPARE(h.name, QStringLiteral("h1"));
        QCOMPARE(h.kind, ReportField::Text);
        QCOMPARE(h.value, QStringLiteral(" Дата и время"));
        QCOMPARE(h.geometry, QRectF(5, 5, 136, 24));
        QCOMPARE(h.fontFamily, QStringLiteral("MS Shell Dlg 2"));
        QCOMPARE(h.fontSize, 10.0);
        QVERIFY(h.fontBold && h.fontUnderline && !h.fontItalic && !h.fontStrikeout);
        QCOMPARE(h.fontColor, QColor(255, 255, 255));
        QCOMPARE(h.backgroundColor, QColor(0, 85, 255));
        QCOMPARE(h.borderLeft, QColor(0, 0, 0));
        QCOMPARE(h.borderTop.alpha(), 0);
        QCOMPARE(h.borderRight, QColor(10, 20, 30));
        QCOMPARE(h.borderBottom.alpha(), 0);
        QCOMPARE(h.borderWidth, 2.0);
        QCOMPARE(h.borderStyle, Qt::DashLine);
        QCOMPARE(h.alignment, Qt::AlignRight | Qt::AlignBottom);
        QVERIFY(h.printing && h.autoHeight && h.textWrap);

        const ReportField &pic = report.bands.at(1).fields.at(0);
        QCOMPARE(pic.kind, ReportField::Image);
        QCOMPARE(pic.value, QStringLiteral("[graph]"));
        QCOMPARE(pic.alignment, Qt::AlignHCenter | Qt::AlignVCenter);
        // Defaults for what the field leaves out.
        QCOMPARE(pic.fontSize, 10.0);
        QCOMPARE(pic.fontColor, QColor(Qt::black));
        QCOMPARE(pic.backgroundColor.alpha(), 0);
        QVERIFY(!pic.textWrap && !pic.autoHeight);
    }

    void colours_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("opaque") << "rgba(0,85,255,255)" << true << QColor(0, 85, 255, 255);
        QTest::newRow("transparent") << "rgba(255,255,255,0)" << true << QColor(255, 255, 255, 0);
        QTest::newRow("spaces") << " rgba( 1 , 2 ,3, 4 ) " << true << QColor(1, 2, 3, 4);
        QTest::newRow("rgb") << "rgb(7,8,9)" << true << QColor(7, 8, 9);
        QTest::newRow("fraction") << "rgba(0,0,0,0.5)" << true << QColor(0, 0, 0, 128);
        QTest::newRow("clamped") << "rgba(999,0,0,300)" << true << QColor(255, 0, 0, 255);
        QTest::newRow("fraction above one")
            << "rgba(0,0,0,999999999.999999999)" << true << QColor(0, 0, 0, 255);
        QTest::newRow("hex") << "#ff8000" << true << QColor(255, 128, 0);
        QTest::newRow("words") << "rgba(a,b,c,d)" << false << QColor();
        QTest::newRow("short") << "rgba(1,2)" << false << QColor();
        QTest::newRow("negative") << "rgba(-1,2,3,4)" << false << QColor();
        QTest::newRow("huge") << "rgba(99999999999999999999,0,0,0)" << false << QColor();
        QTest::newRow("empty") << "" << false << QColor();
        QTest::newRow("name") << "red" << false << QColor();
    }

    void colours()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QColor, colour);
        QColor parsed = Qt::magenta;
        QCOMPARE(ReportTemplateParser::parseColor(text, &parsed), ok);
        QCOMPARE(parsed, ok ? colour : QColor(Qt::magenta));
    }

    void numbers()
    {
        QCOMPARE(ReportTemplateParser::parseNumber("1px", 5, 0, 50), 1.0);
        QCOMPARE(ReportTemplateParser::parseNumber(" 12.5 ", 5, 0, 50), 12.5);
        QCOMPARE(ReportTemplateParser::parseNumber("abc", 5, 0, 50), 5.0);
        QCOMPARE(ReportTemplateParser::parseNumber("", 5, 0, 50), 5.0);
        QCOMPARE(ReportTemplateParser::parseNumber("nan", 5, 0, 50), 5.0);
        QCOMPARE(ReportTemplateParser::parseNumber("inf", 5, 0, 50), 5.0);
        QCOMPARE(ReportTemplateParser::parseNumber("1e999", 5, 0, 50), 5.0);
        QCOMPARE(ReportTemplateParser::parseNumber("-3", 5, 0, 50), 0.0);
        QCOMPARE(ReportTemplateParser::parseNumber("1e9", 5, 0, 50), 50.0);
    }

    void badAttributesFallBackToDefaults()
    {
        const QByteArray xml = R"(<Reports><Report pageWidth="x" pageHeight="" marginsLeft="1200"
            orientation="1"><ReportBand type="MasterData" height="abc">
            <TContainerField type="label" value="[v]" left="nan" top="1e999" width="-10"
                height="99999999" fontSize="0" fontBold="yes" fontColor="blue"
                aligmentH="middle" aligmentV="" borderWidth="huge" borderStyle="wavy"/>
            </ReportBand></Report></Reports>)";
        ReportTemplate report;
        QVERIFY(ReportTemplateParser::parse(xml, &report));
        // Landscape: the default page turned.
        QCOMPARE(report.pageSize, QSizeF(1188, 840));
        QCOMPARE(report.margins, QMarginsF(40, 40, 40, 40));
        QCOMPARE(report.bands.size(), 1);
        QCOMPARE(report.bands.at(0).geometry.height(), 0.0);
        const ReportField &field = report.bands.at(0).fields.at(0);
        QCOMPARE(field.geometry, QRectF(0, 0, 0, 100000));
        QCOMPARE(field.fontSize, 1.0);
        QVERIFY(!field.fontBold);
        QCOMPARE(field.fontColor, QColor(Qt::black));
        QCOMPARE(field.alignment, Qt::AlignLeft | Qt::AlignVCenter);
        QCOMPARE(field.borderWidth, 1.0);
        QCOMPARE(field.borderStyle, Qt::SolidLine);
    }

    void rejectsWhatIsNotATemplate_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("text") << QByteArray("this is no template");
        QTest::newRow("binary") << QByteArray("\x00\x01\xff\xfe<Reports>", 14);
        QTest::newRow("other root") << QByteArray("<Report><ReportBand/></Report>");
        QTest::newRow("no report") << QByteArray("<Reports lib=\"QtRPT\"></Reports>");
        QTest::newRow("unclosed") << QByteArray(
            "<Reports><Report><ReportBand type=\"MasterData\">");
        QTest::newRow("mismatched") << QByteArray("<Reports><Report></ReportBand></Reports>");
        QTest::newRow("bad attribute") << QByteArray("<Reports><Report a=1/></Reports>");
        QTest::newRow("two roots") << QByteArray("<Reports><Report/></Reports><Reports/>");
        QTest::newRow("junk after") << QByteArray("<Reports><Report/></Reports>junk");
        QTest::newRow("undefined entity")
            << QByteArray("<Reports><Report name=\"&x;\"/></Reports>");
        QByteArray truncated = validTemplate("user_events");
        truncated.chop(40);
        QTest::newRow("truncated") << truncated;
        QByteArray oversized = "<Reports><Report>";
        oversized += QByteArray(ReportTemplateParser::MaxTemplateSize, ' ');
        oversized += "</Report></Reports>";
        QTest::newRow("oversized") << oversized;
    }

    void rejectsWhatIsNotATemplate()
    {
        QFETCH(QByteArray, data);
        ReportTemplate report;
        report.name = QStringLiteral("untouched");
        QString error;
        QVERIFY(!ReportTemplateParser::parse(data, &report, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(report.name, QStringLiteral("untouched"));

        QtRPT engine;
        QVERIFY(!engine.loadReportData(data));
        QVERIFY(!engine.isLoaded());
        QVERIFY(engine.buildDocument().pages.isEmpty());
    }

    void entityBombIsRefused()
    {
        QByteArray xml = "<!DOCTYPE Reports [<!ENTITY a0 \"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\">";
        for (int i = 1; i < 12; ++i) {
            xml += QStringLiteral("<!ENTITY a%1 \"").arg(i).toLatin1();
            for (int j = 0; j < 10; ++j)
                xml += QStringLiteral("&a%1;").arg(i - 1).toLatin1();
            xml += "\">";
        }
        xml += "]><Reports><Report name=\"&a11;\"/></Reports>";
        QElapsedTimer clock;
        clock.start();
        ReportTemplate report;
        QVERIFY(!ReportTemplateParser::parse(xml, &report));
        QVERIFY(clock.elapsed() < 5000);
    }

    void loadingFailsForMissingAndBrokenFiles()
    {
        QtRPT engine;
        QVERIFY(!engine.loadReport(QStringLiteral("/nonexistent/report.xml")));
        QVERIFY(!engine.errorString().isEmpty());
        QVERIFY(!engine.loadReport(QStringLiteral(":/text/resources/data/reports/none.xml")));

        QTemporaryDir dir;
        QFile broken(dir.filePath("broken.xml"));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("<Reports><Report>");
        broken.close();
        QVERIFY(engine.loadReport(QStringLiteral(":/text/resources/data/reports/user_dose.xml")));
        // A failed load leaves no template behind.
        QVERIFY(!engine.loadReport(broken.fileName()));
        QVERIFY(!engine.isLoaded());
        QVERIFY(!engine.printPdf(dir.filePath("out.pdf")));
        QVERIFY(!QFile::exists(dir.filePath("out.pdf")));
        QVERIFY(engine.renderImages().isEmpty());
    }

    // Damaged copies of the real templates: parsing never crashes or hangs,
    // and whatever parses lays out.
    void damagedTemplatesNeverCrash()
    {
        QRandomGenerator random(20240601);
        const QStringList names
            = {"user_dose", "user_events", "group_dose", "device_events", "device_history"};
        const QByteArray alphabet = "<>/=\"' []rgba(0,1)-9.e&;#xTContainerFieldReportBand";
        int parsed = 0;
        for (int round = 0; round < 600; ++round) {
            QByteArray data = validTemplate(names.at(round % names.size()));
            const int edits = 1 + random.bounded(8);
            for (int e = 0; e < edits && !data.isEmpty(); ++e) {
                const int at = random.bounded(data.size());
                switch (random.bounded(4)) {
                case 0:
                    data[at] = alphabet.at(random.bounded(alphabet.size()));
                    break;
                case 1:
                    data.remove(at, 1 + random.bounded(40));
                    break;
                case 2:
                    data.insert(at, alphabet.mid(random.bounded(alphabet.size()), 6));
                    break;
                default:
                    // Numbers are the likeliest to be damaged by hand.
                    data.insert(at, random.bounded(2) ? QByteArray("-1e308") : QByteArray("99999"));
                    break;
                }
            }
            ReportTemplate report;
            if (!ReportTemplateParser::parse(data, &report))
                continue;
            ++parsed;
            ReportLayout layout(report);
            layout.setRecordCount(random.bounded(60));
            layout.setTextSource([](int, const QString &name, int) { return QVariant(name); });
            const ReportDocument document = layout.layout();
            QVERIFY(!document.pages.isEmpty());
            QVERIFY(document.pages.size() <= 61);
        }
        // The damage leaves a fair share of templates readable.
        QVERIFY(parsed > 50);
    }
};

// No application object: the parser and the layout must work without a display.
QTEST_APPLESS_MAIN(ReportParserTest)
#include "tst_reportparser.moc"
