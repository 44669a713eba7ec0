#include "report/QtRPT.h"
#include "report/ReportTemplateParser.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

const QColor Blue(0, 85, 255);
const QColor White(255, 255, 255);
const QColor Black(0, 0, 0);

struct FieldSpec
{
    QString value;
    bool image;
    QRectF geometry;
    int fontSize;
    bool bold;
    QColor text;
    QColor background;
    QString borders; // sides drawn, of "LTRB"
    Qt::Alignment alignment;
};

struct BandSpec
{
    ReportBand::Type type;
    qreal top;
    qreal height;
    QList<FieldSpec> fields;
};

constexpr Qt::Alignment LeftCenter = Qt::AlignLeft | Qt::AlignVCenter;
constexpr Qt::Alignment LeftBottom = Qt::AlignLeft | Qt::AlignBottom;
constexpr Qt::Alignment LeftTop = Qt::AlignLeft | Qt::AlignTop;
constexpr Qt::Alignment RightCenter = Qt::AlignRight | Qt::AlignVCenter;
constexpr Qt::Alignment Centre = Qt::AlignHCenter | Qt::AlignVCenter;

FieldSpec title(const QString &value, QRectF geometry)
{
    return {value, false, geometry, 18, true, Blue, White, "", LeftCenter};
}
FieldSpec text(const QString &value, QRectF geometry, Qt::Alignment alignment,
               const QString &borders = QString())
{
    return {value, false, geometry, 10, false, Black, White, borders, alignment};
}
FieldSpec head(const QString &value, QRectF geometry)
{
    return {value, false, geometry, 10, true, White, Blue, "", LeftCenter};
}
FieldSpec picture(const QString &value, QRectF geometry, Qt::Alignment alignment,
                  const QString &borders = QString())
{
    return {value, true, geometry, 10, false, Black, White, borders, alignment};
}

FieldSpec bold(const QString &value, QRectF geometry, Qt::Alignment alignment,
               const QString &borders = QString())
{
    return {value, false, geometry, 10, true, Black, White, borders, alignment};
}

// The chart fills the page's width and most of its height, the window's
// total beside the heading.
QList<BandSpec> userDoseBands()
{
    return {{ReportBand::PageHeader,
             40,
             830,
             {title("[userName]", {1, 30, 499, 36}),
              text("[details]: [date]", {1, 80, 398, 22}, LeftBottom),
              bold("[total]", {400, 80, 358, 22}, Qt::AlignRight | Qt::AlignBottom),
              text("Отпечатано: <Date> <Time>", {499, 1, 260, 22}, RightCenter),
              picture("[graph]", {1, 112, 758, 700}, LeftTop)}},
            {ReportBand::PageFooter,
             866,
             32,
             {text("<Page>/<TotalPages>", {620, 1, 140, 30}, RightCenter)}}};
}

// The chart, then every member with the window's dose and the group's total.
QList<BandSpec> groupDoseBands()
{
    return {{ReportBand::ReportTitle,
             40,
             590,
             {text("Отпечатано: <Date> <Time>", {459, 1, 300, 22}, RightCenter),
              title("[groupName]", {1, 30, 758, 36}),
              text("[details]: [date]", {1, 80, 758, 22}, LeftBottom),
              picture("[graph]", {1, 112, 758, 460}, LeftTop)}},
            {ReportBand::MasterHeader,
             640,
             30,
             {head(" Сотрудник", {5, 5, 330, 24}), head(" Прибор", {335, 5, 235, 24}),
              head(" Доза за период, [doseUnit]", {570, 5, 185, 24})}},
            {ReportBand::MasterData,
             680,
             24,
             {text(" [memberName]", {5, 0, 330, 24}, LeftCenter, "LTRB"),
              text(" [memberDevice]", {335, 0, 235, 24}, LeftCenter, "TRB"),
              text("[memberDose] ", {570, 0, 185, 24}, RightCenter, "TRB")}},
            {ReportBand::ReportSummary,
             714,
             30,
             {bold(" Итого по группе", {5, 0, 565, 24}, LeftCenter, "LB"),
              bold("[groupTotal] ", {570, 0, 185, 24}, RightCenter, "LRB")}},
            {ReportBand::PageFooter,
             866,
             32,
             {text("<Page>/<TotalPages>", {620, 1, 140, 30}, RightCenter)}}};
}

QHash<QString, QList<BandSpec>> expectedTemplates()
{
    QHash<QString, QList<BandSpec>> templates;
    templates.insert("user_dose", userDoseBands());
    templates.insert("group_dose", groupDoseBands());
    templates.insert(
        "user_events",
        {{ReportBand::PageFooter,
          717,
          32,
          {text("<Page>/<TotalPages>", {619, 1, 140, 30}, RightCenter)}},
         {ReportBand::MasterHeader,
          619,
          30,
          {head(" Дата и время", {5, 5, 136, 24}), head(" Прибор", {141, 5, 131, 24}),
           head(" ЭД, [doseUnit]", {272, 5, 236, 24}), head(" МЭД, мкЗв/ч", {508, 5, 126, 24}),
           head(" № записи", {634, 5, 96, 24})}},
         {ReportBand::MasterData,
          671,
          24,
          {text(" [time]", {5, 0, 136, 24}, LeftCenter, "LTRB"),
           text(" [device]", {141, 0, 131, 24}, LeftCenter, "TRB"),
           text(" [event]", {272, 0, 236, 24}, LeftCenter, "TRB"),
           text(" [value]", {508, 0, 126, 24}, LeftCenter, "TRB"),
           text(" [channel]", {634, 0, 96, 24}, LeftCenter, "TRB")}},
         {ReportBand::ReportTitle,
          40,
          557,
          {title("[userName]", {5, 35, 499, 36}),
           text("[details]: [date]", {5, 97, 751, 22}, LeftBottom),
           picture("[graph]", {5, 135, 750, 400}, LeftTop),
           text("Отпечатано: <Date> <Time>", {495, 5, 260, 22}, RightCenter)}}});
    templates.insert(
        "device_events",
        {{ReportBand::PageFooter,
          624,
          32,
          {text("<Page>/<TotalPages>", {619, 1, 140, 30}, RightCenter)}},
         {ReportBand::MasterHeader,
          526,
          30,
          {head(" Дата и время", {5, 5, 151, 24}), head(" ЭД, мЗв", {156, 5, 251, 24}),
           head(" МЭД, мкЗв/ч", {407, 5, 151, 24}), head(" № записи", {558, 5, 111, 24})}},
         {ReportBand::MasterData,
          578,
          24,
          {text(" [time]", {5, 0, 151, 24}, LeftCenter, "LTRB"),
           text(" [event]", {156, 0, 251, 24}, LeftCenter, "TRB"),
           text(" [value]", {407, 0, 151, 24}, LeftCenter, "TRB"),
           text(" [channel]", {558, 0, 111, 24}, LeftCenter, "TRB")}},
         {ReportBand::ReportTitle,
          40,
          464,
          {title("[deviceName]", {5, 35, 499, 36}),
           text("[details]: [date]", {5, 97, 751, 22}, LeftBottom),
           picture("[graph]", {5, 135, 750, 320}, LeftTop, "LTRB"),
           text("Отпечатано: <Date> <Time>", {495, 5, 260, 22}, RightCenter)}}});
    templates.insert(
        "device_history",
        {{ReportBand::PageHeader,
          40,
          124,
          {title("[devName]", {1, 30, 499, 36}),
           text("История назначений приборов: [startDate] – [endDate]", {1, 92, 758, 22},
                LeftBottom),
           text("Отпечатано: <Date> <Time>", {499, 1, 260, 22}, RightCenter)}},
         {ReportBand::PageFooter,
          279,
          32,
          {text("<Page>/<TotalPages>", {620, 1, 140, 30}, RightCenter)}},
         {ReportBand::MasterHeader,
          186,
          25,
          {head("", {2, 0, 25, 24}), head(" Дата и время", {26, 0, 161, 24}),
           head(" Пользователь", {186, 0, 436, 24}), head(" Прибор", {621, 0, 137, 24})}},
         {ReportBand::MasterData,
          233,
          24,
          {picture("[icon]", {6, 4, 17, 16}, Centre),
           text(" [dateAndTime]", {26, 0, 161, 24}, LeftCenter, "LTRB"),
           text(" [user]", {186, 0, 436, 24}, LeftCenter, "LTRB"),
           text(" [device]", {621, 0, 137, 24}, LeftCenter, "LTRB"),
           text("", {2, 0, 25, 24}, LeftCenter, "LTRB"),
           text("", {2, 0, 25, 24}, LeftCenter, "LTRB"),
           picture("[icon]", {6, 4, 17, 16}, Centre)}}});
    return templates;
}

QString resource(const QString &name)
{
    return QStringLiteral(":/text/resources/data/reports/%1.xml").arg(name);
}

ReportTemplate load(const QString &name)
{
    QFile file(resource(name));
    if (!file.open(QIODevice::ReadOnly))
        return ReportTemplate();
    ReportTemplate report;
    ReportTemplateParser::parse(file.readAll(), &report);
    return report;
}

QString drawnSides(const ReportField &field)
{
    QString sides;
    if (field.borderLeft.alpha() > 0)
        sides += 'L';
    if (field.borderTop.alpha() > 0)
        sides += 'T';
    if (field.borderRight.alpha() > 0)
        sides += 'R';
    if (field.borderBottom.alpha() > 0)
        sides += 'B';
    return sides;
}

// Answers every field with a value naming it, and every picture with a grey box.
struct DummyPage
{
    QStringList names;
    QStringList images;
    QHash<QString, QList<int>> records;

    void attach(QtRPT &report)
    {
        QObject::connect(&report, &QtRPT::setValue,
                         [this](const int record, const QString name, QVariant &value, const int) {
                             if (!names.contains(name))
                                 names << name;
                             records[name] << record;
                             value = QStringLiteral("%1 %2").arg(name).arg(record);
                         });
        QObject::connect(&report, &QtRPT::setValueImage,
                         [this](const int record, const QString name, QImage &image, const int) {
                             if (!images.contains(name))
                                 images << name;
                             records[name] << record;
                             image = QImage(320, 200, QImage::Format_RGB32);
                             image.fill(Qt::gray);
                         });
    }
};

} // namespace

class ReportTemplatesTest : public QObject
{
    Q_OBJECT
private slots:
    void bandsAndFieldsAsDesigned_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString &name : expectedTemplates().keys())
            QTest::newRow(qPrintable(name)) << name;
    }

    void bandsAndFieldsAsDesigned()
    {
        QFETCH(QString, name);
        QtRPT engine;
        QVERIFY2(engine.loadReport(resource(name)), qPrintable(engine.errorString()));

        const ReportTemplate report = load(name);
        QCOMPARE(report.pageSize, QSizeF(840, 1188));
        QCOMPARE(report.margins, QMarginsF(40, 40, 40, 40));
        QVERIFY(!report.pageBorder);
        const QList<BandSpec> bands = expectedTemplates().value(name);
        QCOMPARE(report.bands.size(), bands.size());
        for (int b = 0; b < bands.size(); ++b) {
            const ReportBand &band = report.bands.at(b);
            const BandSpec &spec = bands.at(b);
            QCOMPARE(band.type, spec.type);
            QCOMPARE(band.geometry, QRectF(40, spec.top, 760, spec.height));
            QCOMPARE(band.fields.size(), spec.fields.size());
            for (int f = 0; f < spec.fields.size(); ++f) {
                const ReportField &field = band.fields.at(f);
                const FieldSpec &expected = spec.fields.at(f);
                const QByteArray where = QStringLiteral("band %1 field %2").arg(b).arg(f).toUtf8();
                QVERIFY2(field.value == expected.value, where);
                QVERIFY2(field.kind == (expected.image ? ReportField::Image : ReportField::Text),
                         where);
                QVERIFY2(field.geometry == expected.geometry, where);
                QVERIFY2(field.fontFamily == QLatin1String("MS Shell Dlg 2"), where);
                QVERIFY2(field.fontSize == expected.fontSize, where);
                QVERIFY2(field.fontBold == expected.bold, where);
                QVERIFY2(!field.fontItalic && !field.fontUnderline && !field.fontStrikeout, where);
                QVERIFY2(field.fontColor == expected.text, where);
                QVERIFY2(field.backgroundColor == expected.background, where);
                QVERIFY2(drawnSides(field) == expected.borders, where);
                QVERIFY2(field.borderWidth == 1 && field.borderStyle == Qt::SolidLine, where);
                QVERIFY2(field.alignment == expected.alignment, where);
                QVERIFY2(field.printing, where);
                QVERIFY2(field.textWrap == !expected.image, where);
            }
        }
    }

    void asksForTheFieldsOfItsPage_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("pages");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QStringList>("images");
        const QStringList graph = {"graph"};
        QTest::newRow("user_dose")
            << "user_dose" << -1 << 1 << QStringList({"userName", "details", "date", "total"})
            << graph;
        QTest::newRow("group_dose")
            << "group_dose" << -1 << 1
            << QStringList({"groupName", "details", "date", "doseUnit", "groupTotal"}) << graph;
        QTest::newRow("group_dose 3")
            << "group_dose" << 3 << 1
            << QStringList({"groupName", "details", "date", "doseUnit", "groupTotal", "memberName",
                            "memberDevice", "memberDose"})
            << graph;
        const QStringList userEvents = {"userName", "details", "date",  "doseUnit", "time",
                                        "device",   "event",   "value", "channel"};
        // The title leaves room for 20 rows on the first page, 43 on the others.
        QTest::newRow("user_events 20") << "user_events" << 20 << 1 << userEvents << graph;
        QTest::newRow("user_events 21") << "user_events" << 21 << 2 << userEvents << graph;
        QTest::newRow("user_events 63") << "user_events" << 63 << 2 << userEvents << graph;
        QTest::newRow("user_events 64") << "user_events" << 64 << 3 << userEvents << graph;
        // 24 rows under the title, 43 on the other pages.
        const QStringList deviceEvents
            = {"deviceName", "details", "date", "time", "event", "value", "channel"};
        QTest::newRow("device_events 24") << "device_events" << 24 << 1 << deviceEvents << graph;
        QTest::newRow("device_events 25") << "device_events" << 25 << 2 << deviceEvents << graph;
        // 38 rows on every page.
        const QStringList history
            = {"devName", "startDate", "endDate", "dateAndTime", "user", "device"};
        QTest::newRow("device_history 38")
            << "device_history" << 38 << 1 << history << QStringList({"icon"});
        QTest::newRow("device_history 77")
            << "device_history" << 77 << 3 << history << QStringList({"icon"});
    }

    void asksForTheFieldsOfItsPage()
    {
        QFETCH(QString, name);
        QFETCH(int, rows);
        QFETCH(int, pages);
        QFETCH(QStringList, fields);
        QFETCH(QStringList, images);

        QtRPT report;
        QVERIFY(report.loadReport(resource(name)));
        if (rows >= 0)
            report.recordCount << rows;
        DummyPage page;
        page.attach(report);
        QTemporaryDir dir;
        const QString fileName = dir.filePath(name + ".pdf");
        QVERIFY(report.printPdf(fileName, name));
        QVERIFY(QFileInfo(fileName).size() > 1000);

        QStringList asked = page.names;
        asked.sort();
        fields.sort();
        QCOMPARE(asked, fields);
        QCOMPARE(page.images, images);

        const ReportDocument document = report.buildDocument();
        QCOMPARE(document.pages.size(), pages);
        // Each page is numbered in its footer.
        for (int p = 0; p < pages; ++p) {
            QStringList texts;
            for (const auto &item : document.pages.at(p).items)
                texts << item.text;
            QVERIFY(texts.contains(QStringLiteral("%1/%2").arg(p + 1).arg(pages)));
        }
        if (rows < 0)
            return;
        // Every data field is asked for each row in turn.
        QList<int> all;
        for (int r = 0; r < rows; ++r)
            all << r << r; // printPdf, then buildDocument
        const QStringList dataFields = fields.filter(
            QRegularExpression("^(time|device|event|value|channel|dateAndTime|user)$"));
        for (const QString &field : dataFields) {
            QList<int> records = page.records.value(field);
            std::sort(records.begin(), records.end());
            QCOMPARE(records, all);
        }
    }

    void emptyDayReportPrintsTitleChartAndHeader()
    {
        QtRPT report;
        QVERIFY(report.loadReport(resource("user_events")));
        report.recordCount << 0;
        DummyPage page;
        page.attach(report);
        const QList<QImage> images = report.renderImages(60);
        QCOMPARE(images.size(), 1);
        QCOMPARE(page.names, QStringList({"userName", "details", "date", "doseUnit"}));
        QCOMPARE(page.images, QStringList({"graph"}));

        // The column header: white on blue, below the title band (40 + 557 + 5).
        const QImage &image = images.first();
        const qreal scale = 60 / 101.6;
        QCOMPARE(QColor(image.pixel(qRound(60 * scale), qRound(604 * scale))), Blue);
        // Nothing is printed where the first row would be.
        const int rowY = qRound((40 + 557 + 30 + 12) * scale);
        for (int x = qRound(50 * scale); x < qRound(760 * scale); ++x)
            QCOMPARE(QColor(image.pixel(x, rowY)), White);
    }

    void printedDateAndTimeAreTheEngines()
    {
        QtRPT report;
        QVERIFY(report.loadReport(resource("user_dose")));
        report.setPrintDateTime(QDateTime(QDate(2025, 1, 31), QTime(14, 5)));
        const ReportDocument document = report.buildDocument();
        QStringList texts;
        for (const auto &item : document.pages.at(0).items)
            texts << item.text;
        QVERIFY(texts.contains(QStringLiteral("Отпечатано: 31 янв. 2025 14:05")));
        // Fields nobody answers are printed empty.
        QVERIFY(texts.contains(QString()));
        QVERIFY(texts.contains(QStringLiteral(": ")));
    }
};

QTEST_MAIN(ReportTemplatesTest)
#include "tst_reporttemplates.moc"
