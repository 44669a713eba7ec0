// qcustomplot.h still uses foreach; it has to come before any other Qt header.
#undef QT_NO_FOREACH
#include <qcustomplot.h>

#include "common/TestDatabase.h"
#include "db/DoseUnits.h"
#include "dose/ChartWidget.h"

#include <QtTest>

class TestChartWidget : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void stylesBuildTheirGraphs();
    void legendSitsInItsOwnRowAboveTheAxisRect();
    void emptyDoseListGivesUnitRange();
    void tickLabelsFollowTheUnitRule();
    void singlePointStatisticsAreFlat();
    void statisticsLinesSpanTheTimeRange();
    void ratesAreChartedInDisplayUnitPerHour();
    void withoutRatesTheRightAxisMirrorsTheLeft();
    void rightTicksSitAtTheLeftTickHeights();
    void timeTicksFollowTheRange();
    void coloursFollowTheOptions();
    void unitChangeReExpressesTheData();
    void degenerateSizesAndRanges();
    void denseSeriesAreFilledUnderTheirTop();
    void squeezedToNothingPaintsNothing();

private:
    static QMap<double, QString> ticks(QCPAxis *axis);
    static void showSized(ChartWidget &chart, int width, int height);

    QScopedPointer<TestSupport::TestDatabase> m_db;
    const QDateTime m_day {QDate(2024, 5, 10), QTime(0, 0)};
};

void TestChartWidget::init()
{
    m_db.reset(new TestSupport::TestDatabase);
    QVERIFY(m_db->isValid());
}

void TestChartWidget::cleanup()
{
    m_db.reset();
}

QMap<double, QString> TestChartWidget::ticks(QCPAxis *axis)
{
    auto ticker = axis->ticker().dynamicCast<QCPAxisTickerText>();
    return ticker ? ticker->ticks() : QMap<double, QString>();
}

void TestChartWidget::showSized(ChartWidget &chart, int width, int height)
{
    chart.resize(width, height);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
}

void TestChartWidget::stylesBuildTheirGraphs()
{
    ChartWidget chart;
    QCustomPlot *plot = chart.plot();
    QCOMPARE(chart.style(), ChartWidget::DoseOnly);
    QCOMPARE(chart.sizeHint(), QSize(200, 200));
    QCOMPARE(plot->graphCount(), 1);
    QCOMPARE(plot->graph(0)->name(), QString("ЭД (Гамма)"));
    QVERIFY(!plot->yAxis2->tickLabels());
    QVERIFY(plot->yAxis2->label().isEmpty());

    chart.setStyle(ChartWidget::DoseStatistics);
    QCOMPARE(plot->graphCount(), 4);
    QStringList names;
    for (int i = 0; i < 4; ++i) {
        names.append(plot->graph(i)->name());
        QCOMPARE(plot->graph(i)->valueAxis(), plot->yAxis);
    }
    QCOMPARE(names,
             (QStringList {"ЭД (Гамма)", "Средняя ЭД (Гамма)", "Максимум ЭД (Гамма)",
                           "Минимум ЭД (Гамма)"}));
    QCOMPARE(plot->yAxis2->label(), QString("ЭД (Гамма)"));
    QVERIFY(plot->yAxis2->tickLabels());

    chart.setStyle(ChartWidget::DoseAndRate);
    QCOMPARE(plot->graphCount(), 2);
    QCOMPARE(plot->graph(1)->name(), QString("МЭД (Гамма)"));
    QCOMPARE(plot->graph(1)->valueAxis(), plot->yAxis2);
    QCOMPARE(plot->yAxis2->label(), QString("МЭД (Гамма)"));
    QCOMPARE(plot->yAxis->label(), QString("ЭД (Гамма)"));

    // Back again: nothing of the rate style is left over.
    chart.setStyle(ChartWidget::DoseOnly);
    QCOMPARE(plot->graphCount(), 1);
    QCOMPARE(plot->legend->itemCount() >= 1, true);
    QVERIFY(!plot->yAxis2->tickLabels());
}

void TestChartWidget::legendSitsInItsOwnRowAboveTheAxisRect()
{
    ChartWidget chart;
    chart.setStyle(ChartWidget::DoseStatistics);
    showSized(chart, 1200, 400);
    QCustomPlot *plot = chart.plot();
    QCOMPARE(plot->plotLayout()->rowCount(), 2);
    QCOMPARE(plot->plotLayout()->element(0, 0), static_cast<QCPLayoutElement *>(plot->legend));
    QCOMPARE(plot->plotLayout()->element(1, 0), static_cast<QCPLayoutElement *>(plot->axisRect()));
    const QRect legend = plot->legend->outerRect();
    const QRect rect = plot->axisRect()->rect();
    QCOMPARE(legend.height(), chart.fontMetrics().height() + 7);
    QVERIFY(legend.bottom() < rect.top());
    // One row of four items, starting above the plotting area.
    QCOMPARE(plot->legend->rowCount(), 1);
    QVector<int> lefts;
    for (int i = 0; i < 4; ++i) {
        QCPAbstractLegendItem *item = plot->legend->item(i);
        QVERIFY(item);
        lefts.append(item->outerRect().left());
        QCOMPARE(item->outerRect().top(), legend.top());
    }
    QCOMPARE(lefts.first(), rect.left());
    QVERIFY(std::is_sorted(lefts.begin(), lefts.end()));
    // Packed to the left: the items end well before the right edge.
    QVERIFY(plot->legend->item(3)->outerRect().right() < rect.right() - 20);
}

void TestChartWidget::emptyDoseListGivesUnitRange()
{
    ChartWidget chart;
    chart.setStyle(ChartWidget::DoseAndRate);
    showSized(chart, 600, 400);
    chart.setDoseData({{m_day.addSecs(3600), 5.0}}, m_day, m_day.addDays(1));
    QVERIFY(chart.plot()->yAxis->range().upper > 5);
    chart.setDoseData({}, m_day, m_day.addDays(1));
    chart.setRateData({}, m_day, m_day.addDays(1));
    QCOMPARE(chart.plot()->graph(0)->data()->size(), 0);
    QCOMPARE(chart.plot()->yAxis->range(), QCPRange(0, 1));
    const QMap<double, QString> left = ticks(chart.plot()->yAxis);
    QVERIFY(left.size() >= 5);
    QCOMPARE(left.first(), QString("0"));
    QCOMPARE(left.firstKey(), 0.0);
    QVERIFY(left.lastKey() <= 1.0);
}

void TestChartWidget::tickLabelsFollowTheUnitRule()
{
    QCOMPARE(DoseUnits::axisTickLabel(0.0005, DoseUnits::Sievert), QString("0.500 мкЗв"));
    QCOMPARE(DoseUnits::axisTickLabel(0.005, DoseUnits::Sievert), QString("5.00 мкЗв"));
    QCOMPARE(DoseUnits::axisTickLabel(0.1, DoseUnits::Sievert), QString("100.00 мкЗв"));

    ChartWidget chart;
    showSized(chart, 600, 400);
    // With 8 to 12 ticks a maximum of 0.003 mSv gives steps of 0.0005, and
    // one of 0.03 mSv steps of 0.005.
    chart.setDoseData({{m_day.addSecs(3600), 0.003}}, m_day, m_day.addDays(1));
    QMap<double, QString> left = ticks(chart.plot()->yAxis);
    QCOMPARE(left.value(0.0005), QString("0.500 мкЗв"));
    chart.setDoseData({{m_day.addSecs(3600), 0.03}}, m_day, m_day.addDays(1));
    left = ticks(chart.plot()->yAxis);
    QCOMPARE(left.value(0.005), QString("5.00 мкЗв"));
    for (auto it = left.cbegin(); it != left.cend(); ++it)
        QCOMPARE(it.value(), DoseUnits::axisTickLabel(it.key()));
    QVERIFY(left.lastKey() <= chart.plot()->yAxis->range().upper);
    // The right axis repeats the ticks without labels.
    QCOMPARE(ticks(chart.plot()->yAxis2).keys(), left.keys());
    QCOMPARE(chart.plot()->yAxis2->range(), chart.plot()->yAxis->range());
}

void TestChartWidget::singlePointStatisticsAreFlat()
{
    ChartWidget chart;
    chart.setStyle(ChartWidget::DoseStatistics);
    showSized(chart, 600, 400);
    chart.setDoseData({{m_day.addSecs(7200), 2.5}}, m_day, m_day.addDays(1));
    QCustomPlot *plot = chart.plot();
    QCOMPARE(plot->graph(0)->data()->size(), 1);
    for (int i = 1; i < 4; ++i) {
        const auto data = plot->graph(i)->data();
        QVERIFY(data->size() >= 5);
        for (auto it = data->constBegin(); it != data->constEnd(); ++it)
            QCOMPARE(it->value, 2.5);
    }
    QVERIFY(qAbs(plot->yAxis->range().upper - 2.625) < 1e-12);
}

void TestChartWidget::statisticsLinesSpanTheTimeRange()
{
    ChartWidget chart;
    chart.setStyle(ChartWidget::DoseStatistics);
    showSized(chart, 800, 400);
    const QDateTime to = m_day.addDays(31);
    chart.setDoseData({{m_day.addDays(1), 1.0}, {m_day.addDays(2), 4.0}, {m_day.addDays(3), 1.0}},
                      m_day, to);
    QCustomPlot *plot = chart.plot();
    // About one marker per 50 px (the rect settles after the data came).
    const int n = std::max(5, plot->axisRect()->width() / 50);
    const auto average = plot->graph(1)->data();
    QVERIFY(qAbs(average->size() - n) <= 1);
    QCOMPARE(average->constBegin()->key, double(m_day.toSecsSinceEpoch()));
    QCOMPARE((average->constEnd() - 1)->key, double(to.toSecsSinceEpoch()));
    QCOMPARE(average->constBegin()->value, 2.0);
    QCOMPARE(plot->graph(2)->data()->constBegin()->value, 4.0);
    QCOMPARE(plot->graph(3)->data()->constBegin()->value, 1.0);
    // The right axis mirrors the left one with labels.
    QCOMPARE(ticks(plot->yAxis2), ticks(plot->yAxis));
}

void TestChartWidget::ratesAreChartedInDisplayUnitPerHour()
{
    ChartWidget chart;
    chart.setStyle(ChartWidget::DoseAndRate);
    showSized(chart, 600, 400);
    QCOMPARE(ChartWidget::displayRate(0.15), 0.00015);
    QCOMPARE(ChartWidget::microSvPerHour(0.00015), 0.15);
    chart.setDoseData({{m_day.addSecs(3600), 0.01}}, m_day, m_day.addDays(1));
    chart.setRateData({{m_day.addSecs(3600), 0.15}, {m_day.addSecs(7200), 0.10}}, m_day,
                      m_day.addDays(1));
    QCustomPlot *plot = chart.plot();
    QCOMPARE(plot->graph(1)->data()->size(), 2);
    QCOMPARE(plot->graph(1)->data()->constBegin()->value, 0.00015);
    QVERIFY(qAbs(plot->yAxis2->range().upper - 0.00015 * 1.05) < 1e-15);
    const QMap<double, QString> right = ticks(plot->yAxis2);
    QVERIFY(right.size() > 1);
    // 0.15 µSv/h is labelled in µSv/h below one, never as hundreds.
    for (auto it = right.cbegin(); it != right.cend(); ++it) {
        QCOMPARE(it.value(), DoseUnits::rateAxisTickLabel(it.key()));
        if (it.key() > 0) {
            QVERIFY2(it.value().endsWith("мкЗв/ч"), qPrintable(it.value()));
            QVERIFY(it.value().section(' ', 0, 0).toDouble() < 0.2);
        }
    }

    // Other styles ignore rates.
    chart.setStyle(ChartWidget::DoseOnly);
    chart.setRateData({{m_day.addSecs(3600), 5.0}}, m_day, m_day.addDays(1));
    QCOMPARE(plot->graphCount(), 1);
}

void TestChartWidget::withoutRatesTheRightAxisMirrorsTheLeft()
{
    ChartWidget chart;
    chart.setStyle(ChartWidget::DoseAndRate);
    showSized(chart, 600, 400);
    chart.setDoseData({{m_day.addSecs(3600), 3.0}}, m_day, m_day.addDays(1));
    chart.setRateData({}, m_day, m_day.addDays(1));
    QCOMPARE(chart.plot()->yAxis2->range(), chart.plot()->yAxis->range());
    QCOMPARE(ticks(chart.plot()->yAxis2).keys(), ticks(chart.plot()->yAxis).keys());
    QCOMPARE(ticks(chart.plot()->yAxis2).last().right(2), QString("/ч"));
}

void TestChartWidget::rightTicksSitAtTheLeftTickHeights()
{
    ChartWidget chart;
    chart.setStyle(ChartWidget::DoseAndRate);
    showSized(chart, 600, 400);
    chart.setDoseData({{m_day.addSecs(3600), 3.0}}, m_day, m_day.addDays(1));
    chart.setRateData({{m_day.addSecs(3600), 700.0}}, m_day, m_day.addDays(1));
    QCustomPlot *plot = chart.plot();
    const QList<double> left = ticks(plot->yAxis).keys();
    const QList<double> right = ticks(plot->yAxis2).keys();
    QCOMPARE(right.size(), left.size());
    for (int i = 0; i < left.size(); ++i) {
        QVERIFY(
            qAbs(plot->yAxis->coordToPixel(left.at(i)) - plot->yAxis2->coordToPixel(right.at(i)))
            < 0.5);
    }
}

void TestChartWidget::timeTicksFollowTheRange()
{
    ChartWidget chart;
    chart.setStyle(ChartWidget::DoseAndRate);
    showSized(chart, 900, 400);
    QCustomPlot *plot = chart.plot();
    chart.setDoseData({}, m_day, m_day.addDays(1));
    QCOMPARE(plot->xAxis->range(),
             QCPRange(m_day.toSecsSinceEpoch(), m_day.addDays(1).toSecsSinceEpoch()));
    QCOMPARE(plot->xAxis2->range(), plot->xAxis->range());
    QCOMPARE(plot->xAxis->label(), QString("Время"));
    QCOMPARE(plot->xAxis->tickLabelRotation(), 0.0);
    QVERIFY(plot->xAxis2->ticks());
    QMap<double, QString> time = ticks(plot->xAxis);
    QCOMPARE(time.first(), QString("0:00"));
    QVERIFY(time.size() >= 2);

    chart.setDoseData({}, m_day, m_day.addDays(4));
    QCOMPARE(plot->xAxis->label(), QString("Дата"));
    QCOMPARE(plot->xAxis->tickLabelRotation(), -90.0);
    QVERIFY(!plot->xAxis2->ticks());
    time = ticks(plot->xAxis);
    QCOMPARE(time.size(), 5);
    QCOMPARE(time.first(), plot->locale().toString(m_day, "d MMM"));

    chart.setDoseData({}, m_day, m_day.addDays(91));
    time = ticks(plot->xAxis);
    QCOMPARE(time.first(), plot->locale().toString(QDate(2024, 6, 1), "MMM yyyy"));
    QCOMPARE(time.size(), 3);
}

void TestChartWidget::coloursFollowTheOptions()
{
    ChartWidget dose;
    dose.setStyle(ChartWidget::DoseStatistics);
    ChartWidget rate;
    rate.setStyle(ChartWidget::DoseAndRate);
    const Options &options = m_db->db()->options();
    QCOMPARE(dose.plot()->graph(0)->pen().color(), options.edColor(VDB::Gamma));
    QCOMPARE(dose.plot()->graph(0)->pen().width(), 2);
    QCOMPARE(dose.plot()->graph(0)->brush().color().alpha(), 35);
    QCOMPARE(dose.plot()->graph(2)->pen().dashPattern(), (QVector<qreal> {1, 2.5}));
    QCOMPARE(dose.plot()->graph(3)->pen().dashPattern(), (QVector<qreal> {3, 2}));
    QCOMPARE(dose.plot()->graph(1)->scatterStyle().shape(), QCPScatterStyle::ssCircle);
    QCOMPARE(rate.plot()->graph(1)->pen().color(), options.medColor(VDB::Gamma));
    QCOMPARE(rate.plot()->yAxis2->tickLabelColor(), options.medColor(VDB::Gamma));
    QCOMPARE(rate.plot()->yAxis->labelColor(), options.edColor(VDB::Gamma));

    Options changed = options;
    changed.edColors[VDB::Gamma] = QColor(1, 2, 3);
    changed.medColors[VDB::Gamma] = QColor(4, 5, 6);
    QVERIFY(m_db->db()->updateOptions(changed));
    QCOMPARE(dose.plot()->graph(0)->pen().color(), QColor(1, 2, 3));
    QCOMPARE(dose.plot()->graph(3)->pen().color(), QColor(1, 2, 3));
    QCOMPARE(rate.plot()->graph(1)->pen().color(), QColor(4, 5, 6));
    QCOMPARE(rate.plot()->yAxis2->labelColor(), QColor(4, 5, 6));
    QCOMPARE(rate.plot()->yAxis->tickLabelColor(), QColor(1, 2, 3));
}

void TestChartWidget::unitChangeReExpressesTheData()
{
    ChartWidget chart;
    chart.setStyle(ChartWidget::DoseAndRate);
    showSized(chart, 600, 400);
    chart.setDoseData({{m_day.addSecs(3600), 1.0}}, m_day, m_day.addDays(1));
    chart.setRateData({{m_day.addSecs(3600), 150.0}}, m_day, m_day.addDays(1));
    Options options = m_db->db()->options();
    options.units = DoseUnits::Rem;
    QVERIFY(m_db->db()->updateOptions(options));
    QCustomPlot *plot = chart.plot();
    QCOMPARE(plot->graph(0)->data()->constBegin()->value, 100.0);
    QVERIFY(qAbs(plot->graph(1)->data()->constBegin()->value - 15.0) < 1e-12);
    QVERIFY(ticks(plot->yAxis).last().endsWith("мРем"));
    QVERIFY(ticks(plot->yAxis2).last().endsWith("мРем/ч"));
    // Rem: 1 mrem/h is 10 µSv/h, and back.
    QCOMPARE(ChartWidget::displayRate(10), 1.0);
    QCOMPARE(ChartWidget::microSvPerHour(1), 10.0);
}

void TestChartWidget::degenerateSizesAndRanges()
{
    const auto clean = [](const QMap<double, QString> &map) {
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            if (!std::isfinite(it.key()) || it.value().contains("nan", Qt::CaseInsensitive)
                || it.value().contains("inf", Qt::CaseInsensitive))
                return false;
        }
        return true;
    };
    ChartWidget chart;
    chart.setStyle(ChartWidget::DoseAndRate);
    // Narrower than one hour label.
    showSized(chart, 40, 60);
    chart.setDoseData({{m_day.addSecs(60), 1.0}}, m_day, m_day.addDays(1));
    chart.setRateData({{m_day.addSecs(60), 0.0}}, m_day, m_day.addDays(1));
    QCustomPlot *plot = chart.plot();
    auto ticker = plot->xAxis->ticker().dynamicCast<QCPAxisTickerText>();
    QVERIFY(ticker->subTickCount() >= 0);
    QVERIFY(clean(ticks(plot->xAxis)) && clean(ticks(plot->yAxis)) && clean(ticks(plot->yAxis2)));

    // An empty time range and zero doses.
    chart.resize(600, 400);
    chart.setDoseData({{m_day, 0.0}}, m_day, m_day);
    chart.setRateData({{m_day, 0.0}}, m_day, m_day);
    QVERIFY(ticker->subTickCount() >= 0);
    QVERIFY(clean(ticks(plot->xAxis)) && clean(ticks(plot->yAxis)) && clean(ticks(plot->yAxis2)));

    // Values that are no numbers are left out.
    chart.setDoseData(
        {{m_day.addSecs(60), qQNaN()}, {m_day.addSecs(120), qInf()}, {m_day.addSecs(180), 2.0}},
        m_day, m_day.addDays(1));
    QCOMPARE(plot->graph(0)->data()->size(), 1);
    QVERIFY(qAbs(plot->yAxis->range().upper - 2.1) < 1e-12);
    QVERIFY(clean(ticks(plot->yAxis)));
    plot->replot();
}

void TestChartWidget::denseSeriesAreFilledUnderTheirTop()
{
    // 50 002 points, about 100 to a pixel column, going up and down.
    ChartWidget chart;
    showSized(chart, 700, 400);
    ChartWidget::Series doses;
    for (int i = 0; i < 50002; ++i)
        doses.append({m_day.addSecs(i * 150), i % 2 ? 1.0 : 0.5});
    chart.setDoseData(doses, m_day, m_day.addSecs(50002 * 150));
    QCustomPlot *plot = chart.plot();
    QCOMPARE(plot->graph(0)->data()->size(), 50002);
    const QImage image = plot->toPixmap(plot->width(), plot->height()).toImage();
    const QRect rect = plot->axisRect()->rect();
    const QColor fill = m_db->db()->options().edColor(VDB::Gamma);
    // The fill is the dose colour at alpha 35 over white; between the two
    // levels the line itself covers every column.
    const auto blend = [](int c) {
        return (c * 35 + 255 * (255 - 35)) / 255;
    };
    const QColor tint(blend(fill.red()), blend(fill.green()), blend(fill.blue()));
    // Counted along a stretch of the middle, away from grid lines.
    const auto count = [&](double value, const QColor &colour) {
        const int y = int(plot->yAxis->coordToPixel(value));
        int found = 0;
        for (int x = rect.center().x() - 20; x <= rect.center().x() + 20; ++x) {
            const QColor c = image.pixelColor(x, y);
            if (qAbs(c.red() - colour.red()) < 12 && qAbs(c.green() - colour.green()) < 12
                && qAbs(c.blue() - colour.blue()) < 12)
                ++found;
        }
        return found;
    };
    QVERIFY(count(0.3, tint) >= 35);
    QVERIFY(count(0.7, fill) >= 35);
    QVERIFY(count(1.03, QColor(Qt::white)) >= 35);
}

namespace {
QStringList g_paintWarnings;
void collectPaintWarnings(QtMsgType, const QMessageLogContext &, const QString &message)
{
    if (message.contains("QPainter") || message.contains("paint buffer"))
        g_paintWarnings.append(message);
}
} // namespace

void TestChartWidget::squeezedToNothingPaintsNothing()
{
    // A page shown by the main window's splitter starts at no width, and a
    // splitter pane can be dragged shut: the chart must paint nothing then.
    QWidget page;
    page.resize(400, 300);
    auto *chart = new ChartWidget(&page);
    chart->setStyle(ChartWidget::DoseAndRate);
    chart->setDoseData({{m_day.addSecs(60), 1.0}}, m_day, m_day.addDays(1));
    chart->setGeometry(0, 0, 300, 200);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    g_paintWarnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectPaintWarnings);
    chart->setGeometry(0, 0, 0, 150);
    QCoreApplication::processEvents();
    chart->setGeometry(0, 0, 300, 0);
    QCoreApplication::processEvents();
    chart->setGeometry(0, 0, 300, 200);
    QCoreApplication::processEvents();
    qInstallMessageHandler(previous);
    QVERIFY2(g_paintWarnings.isEmpty(), qPrintable(g_paintWarnings.join('\n')));
    // Back at a size, it is drawn for that size.
    QCOMPARE(chart->plot()->viewport().size(), chart->plot()->size());
    QVERIFY(!chart->plot()->toPixmap().isNull());
}

QTEST_MAIN(TestChartWidget)
#include "tst_chartwidget.moc"
