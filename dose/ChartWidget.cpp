// qcustomplot.h still uses foreach, which the rest of the program does
// without; it has to come before any other Qt header.
#undef QT_NO_FOREACH
#include <qcustomplot.h>

#include "dose/ChartWidget.h"

#include "db/DataBase.h"
#include "db/DoseUnits.h"
#include "dose/ChartTicks.h"
#include "report/QtRPT.h"
#include "report/RussianFormat.h"

#include <QPainter>
#include <QVBoxLayout>
#include <cmath>
#include <limits>

namespace {

struct Extent
{
    QVector<double> keys;
    QVector<double> values;
    double min = 0;
    double max = 0;
    double sum = 0;
    bool sorted = true; // keys in ascending order
};

// Seconds since the epoch of local date-times. Asking the time zone for every
// point is slow (the C library looks at the zone file each time); the offset
// from UTC is asked once per calendar day instead, and exactly for the days
// on which it changes.
class EpochSeconds
{
public:
    qint64 operator()(const QDateTime &dateTime)
    {
        if (dateTime.timeSpec() != Qt::LocalTime)
            return dateTime.toSecsSinceEpoch();
        const QDate date = dateTime.date();
        const qint64 day = date.toJulianDay();
        auto it = m_offsets.find(day);
        if (it == m_offsets.end()) {
            const int start = QDateTime(date, QTime(0, 0)).offsetFromUtc();
            const int end = QDateTime(date, QTime(23, 59, 59, 999)).offsetFromUtc();
            it = m_offsets.insert(day, start == end ? start : Changing);
        }
        if (*it == Changing)
            return dateTime.toSecsSinceEpoch();
        constexpr qint64 epochDay = 2440588; // 1970-01-01
        return (day - epochDay) * 86400 + dateTime.time().msecsSinceStartOfDay() / 1000 - *it;
    }

private:
    static constexpr int Changing = std::numeric_limits<int>::min();
    QHash<qint64, int> m_offsets;
};

// Keys in seconds and values of a series; points without a usable date-time
// or value are left out.
Extent extentOf(const ChartWidget::Series &series)
{
    Extent e;
    e.keys.reserve(series.size());
    e.values.reserve(series.size());
    EpochSeconds seconds;
    for (const ChartWidget::Point &point : series) {
        if (!point.dateTime.isValid() || !std::isfinite(point.value))
            continue;
        if (e.values.isEmpty()) {
            e.min = e.max = point.value;
        } else {
            e.min = std::min(e.min, point.value);
            e.max = std::max(e.max, point.value);
        }
        e.sum += point.value;
        const double key = double(seconds(point.dateTime));
        if (!e.keys.isEmpty() && key < e.keys.last())
            e.sorted = false;
        e.keys.append(key);
        e.values.append(point.value);
    }
    return e;
}

double seconds(const QDateTime &dateTime)
{
    return double(dateTime.toSecsSinceEpoch());
}

// The dose graph. Its filled area is painted under the upper envelope of the
// line, one or two corners per pixel column. Where there are more points than
// pixels the line goes up and down within a column, and filling that zigzag
// polygon takes Qt's painter seconds; the envelope looks the same.
class DoseGraph : public QCPGraph
{
public:
    using QCPGraph::QCPGraph;

protected:
    void drawFill(QCPPainter *painter, QVector<QPointF> *lines) const override
    {
        QVector<QPointF> envelope;
        envelope.reserve(std::min(lines->size(), 2 * keyAxis()->axisRect()->width() + 8));
        struct Column
        {
            int x = std::numeric_limits<int>::min();
            QPointF first;
            QPointF last;
            int count = 0;
        } column;
        const auto flush = [&envelope, &column] {
            if (column.count == 1) {
                envelope.append(column.first);
            } else if (column.count > 1) {
                envelope.append(column.first);
                envelope.append(column.last);
            }
        };
        for (const QPointF &point : qAsConst(*lines)) {
            const int x = int(std::floor(point.x()));
            if (x != column.x || std::isnan(point.y()) || column.count == 0) {
                flush();
                column.x = x;
                column.first = column.last = point;
                column.count = 1;
                continue;
            }
            // Pixel y grows downwards: the top of the column is its minimum.
            const qreal top = std::min(column.first.y(), point.y());
            column.first.setY(top);
            column.last = QPointF(point.x(), top);
            ++column.count;
        }
        flush();
        QCPGraph::drawFill(painter, &envelope);
    }
};

} // namespace

ChartWidget::ChartWidget(QWidget *parent)
    : QWidget(parent)
    , m_plot(new QCustomPlot(this))
    , m_timeTicker(new QCPAxisTickerText)
    , m_leftTicker(new QCPAxisTickerText)
    , m_rightTicker(new QCPAxisTickerText)
    , m_unitCode(DoseUnits::currentCode())
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_plot);
    m_plot->installEventFilter(this);
    setUpPlot();
    connect(VDB::DataBase::instance(), &VDB::DataBase::optionsChanged, this,
            &ChartWidget::optionsChanged);
    // An empty chart shows today until it gets its data.
    const QDate today = QDate::currentDate();
    m_plot->xAxis->setRange(seconds(QDateTime(today, QTime(0, 0))),
                            seconds(QDateTime(today.addDays(1), QTime(0, 0))));
    m_style = DoseAndRate; // anything but the style set next
    setStyle(DoseOnly);
}

ChartWidget::~ChartWidget() = default;

QSize ChartWidget::sizeHint() const
{
    return QSize(200, 200);
}

int ChartWidget::readableHeight(const QFont &font)
{
    // Legend, a few value ticks and the time labels below.
    return qMax(180, 13 * QFontMetrics(font).height());
}

QImage ChartWidget::reportImage(const QObject *report) const
{
    const auto *engine = qobject_cast<const QtRPT *>(report);
    return printImage(engine ? engine->imageFrame() : QSizeF(), QtRPT::PrintDpi);
}

QImage ChartWidget::printImage(const QSizeF &frame, qreal dpi) const
{
    QSize size = frame.toSize();
    if (size.isEmpty())
        size = this->size();
    if (size.isEmpty())
        size = sizeHint();
    // Laid out and ticked for the frame, drawn, and back to the screen.
    auto *self = const_cast<ChartWidget *>(this);
    self->m_printViewport = QRect(QPoint(0, 0), size);
    self->refreshTicks();
    const QPixmap picture = m_plot->toPixmap(size.width(), size.height(), qMax<qreal>(1, dpi / 96));
    self->m_printViewport = QRect();
    self->refreshTicks();
    return picture.toImage();
}

double ChartWidget::displayRate(double microSvPerHour)
{
    return toDisplayDose(microSvPerHour / 1000);
}

double ChartWidget::microSvPerHour(double displayValue)
{
    return toStoredDose(displayValue) * 1000;
}

void ChartWidget::setUpPlot()
{
    m_plot->setLocale(RussianFormat::locale());
    // Thick lines through tens of thousands of points are drawn segment by
    // segment: as a joined polyline they take seconds to paint.
    m_plot->setPlottingHint(QCP::phFastPolylines, true);

    QCPLegend *legend = m_plot->legend;
    legend->setVisible(true);
    legend->setBorderPen(Qt::NoPen);
    legend->setBrush(Qt::NoBrush);
    legend->setIconSize(25, legend->iconSize().height());
    // One row of items, packed to the left by a wide empty last column.
    legend->setFillOrder(QCPLayoutGrid::foColumnsFirst, false);
    legend->setWrap(0);

    QCPAxis *bottom = m_plot->xAxis;
    QCPAxis *top = m_plot->xAxis2;
    QCPAxis *left = m_plot->yAxis;
    QCPAxis *right = m_plot->yAxis2;
    top->setVisible(true);
    top->setTicks(false);
    top->setTickLabels(false);
    connect(bottom, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), top,
            qOverload<const QCPRange &>(&QCPAxis::setRange));
    right->setVisible(true);

    QFont labelFont = font();
    labelFont.setWeight(QFont::Bold);
    QFont tickFont = font();
    if (tickFont.pointSizeF() > 1)
        tickFont.setPointSizeF(tickFont.pointSizeF() - 1);
    for (QCPAxis *axis : {bottom, left, right}) {
        axis->setAntialiased(true);
        axis->setLabelFont(labelFont);
        axis->setTickLabelFont(tickFont);
    }
    m_leftTicker->setSubTickCount(3);
    m_rightTicker->setSubTickCount(3);
    left->setTicker(m_leftTicker);
    right->setTicker(m_rightTicker);
    bottom->setTicker(m_timeTicker);
    top->setTicker(m_timeTicker);
    left->setLabel(tr("ЭД (Гамма)"));
    bottom->setTickLabelRotation(-90);
    bottom->setLabel(tr("Дата"));

    // The legend gets a row of its own above the axis rect.
    QCPAxisRect *rect = m_plot->axisRect();
    rect->insetLayout()->take(legend);
    m_plot->plotLayout()->insertRow(0);
    m_plot->plotLayout()->addElement(0, 0, legend);
    m_plot->plotLayout()->setRowSpacing(0);
    const int legendHeight = fontMetrics().height() + 7;
    // The legend must not make the chart wider than its place: when its items
    // do not fit into one row they are wrapped (arrangeLegend()).
    legend->setMinimumSize(1, legendHeight);
    legend->setMaximumSize(QWIDGETSIZE_MAX, legendHeight);
    legend->setAutoMargins(QCP::msNone);
    legend->setMargins(QMargins());
    rect->setAutoMargins(QCP::msLeft | QCP::msRight | QCP::msBottom);
    rect->setMargins(QMargins());
}

void ChartWidget::setStyle(ChartWidget::Style style)
{
    if (style == m_style)
        return;
    m_style = style;

    QCPAxis *bottom = m_plot->xAxis;
    QCPAxis *left = m_plot->yAxis;
    QCPAxis *right = m_plot->yAxis2;
    QCPLegend *legend = m_plot->legend;
    m_plot->clearGraphs();
    if (m_bars) {
        m_plot->removePlottable(m_bars);
        m_bars = nullptr;
    }
    legend->clearItems();
    legend->simplify();
    (new DoseGraph(bottom, left))->setName(tr("ЭД (Гамма)"));
    left->setRange(0, 1);
    right->setRange(0, 1);
    // What an earlier style may have changed on the right axis.
    right->setLabelColor(Qt::black);
    right->setTickLabelColor(Qt::black);
    right->setTickLabels(true);
    m_plot->xAxis2->setTicks(false);

    switch (style) {
    case DoseOnly:
        right->setTickLabels(false);
        right->setLabel(QString());
        break;
    case DoseStatistics:
        right->setLabel(tr("ЭД (Гамма)"));
        m_plot->addGraph(bottom, left)->setName(tr("Средняя ЭД (Гамма)"));
        m_plot->addGraph(bottom, left)->setName(tr("Максимум ЭД (Гамма)"));
        m_plot->addGraph(bottom, left)->setName(tr("Минимум ЭД (Гамма)"));
        break;
    case DoseAndRate:
        m_plot->addGraph(bottom, right)->setName(tr("МЭД (Гамма)"));
        bottom->setTickLabelRotation(0);
        bottom->setLabel(tr("Время"));
        right->setLabel(tr("МЭД (Гамма)"));
        m_plot->xAxis2->setTicks(true);
        break;
    case DosePerPeriodAndRate:
        // The bars take the dose graph's place, in front of the rate.
        m_plot->graph(0)->setVisible(false);
        m_plot->graph(0)->removeFromLegend();
        m_bars = new QCPBars(bottom, left);
        m_bars->setName(tr("ЭД за сутки"));
        m_plot->addGraph(bottom, right)->setName(tr("МЭД, максимум за сутки"));
        right->setLabel(tr("МЭД (Гамма)"));
        break;
    }

    const int items = legend->itemCount();
    for (int i = 0; i < items; ++i) {
        QCPAbstractLegendItem *item = legend->item(i);
        item->setAutoMargins(QCP::msNone);
        item->setMargins(QMargins());
        legend->setColumnStretchFactor(i, 1);
    }
    m_legendColumns = 0;
    arrangeLegend();

    applyColors();
    showDose();
    showRate();
    refreshTicks();
}

void ChartWidget::optionsChanged()
{
    if (syncUnits()) {
        showDose();
        showRate();
    }
    applyColors();
    refreshTicks();
}

bool ChartWidget::syncUnits()
{
    const int code = DoseUnits::currentCode();
    if (code == m_unitCode)
        return false;
    // The data were given in the old unit; the labels will say the new one.
    for (Series *series : {&m_doses, &m_rates}) {
        for (Point &point : *series)
            point.value = DoseUnits::toDisplay(DoseUnits::toStored(point.value, m_unitCode), code);
    }
    m_unitCode = code;
    return true;
}

void ChartWidget::applyColors()
{
    const Options &options = VDB::DataBase::instance()->options();
    const QColor dose = options.edColor(VDB::Gamma);
    const QColor rate = options.medColor(VDB::Gamma);
    QCPAxis *left = m_plot->yAxis;
    left->setLabelColor(dose);
    left->setTickLabelColor(dose);
    if (m_plot->graphCount() == 0)
        return;
    const QPen pen(dose, 2);
    QCPGraph *graph = m_plot->graph(0);
    graph->setPen(pen);
    QColor fill = dose;
    fill.setAlpha(35);
    graph->setBrush(fill);
    if (m_style == DoseStatistics && m_plot->graphCount() == 4) {
        const QCPScatterStyle circles(QCPScatterStyle::ssCircle, dose, 6);
        const QVector<qreal> patterns[] = {{}, {1, 2.5}, {3, 2}};
        for (int i = 1; i < 4; ++i) {
            QPen line = pen;
            if (!patterns[i - 1].isEmpty())
                line.setDashPattern(patterns[i - 1]);
            m_plot->graph(i)->setPen(line);
            m_plot->graph(i)->setScatterStyle(circles);
        }
        // The right axis repeats the left one.
        m_plot->yAxis2->setLabelColor(dose);
        m_plot->yAxis2->setTickLabelColor(dose);
    }
    if (m_bars) {
        m_bars->setPen(QPen(dose.darker(130), 1));
        QColor bar = dose;
        bar.setAlpha(170);
        m_bars->setBrush(bar);
        m_plot->graph(1)->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, rate, 4));
    }
    if ((m_style == DoseAndRate || m_bars) && m_plot->graphCount() == 2) {
        m_plot->graph(1)->setPen(QPen(rate, 2));
        m_plot->yAxis2->setLabelColor(rate);
        m_plot->yAxis2->setTickLabelColor(rate);
    }
}

void ChartWidget::setDoseData(const Series &doses, const QDateTime &from, const QDateTime &to)
{
    syncUnits(); // the rates kept from before follow a unit change
    m_doses = doses;
    m_from = from;
    m_to = to;
    showDose();
    refreshTicks();
}

void ChartWidget::setBarData(const Series &doses, double barSeconds, const QDateTime &from,
                             const QDateTime &to)
{
    m_barSeconds = barSeconds > 0 ? barSeconds : 86400;
    setDoseData(doses, from, to);
}

void ChartWidget::setSeriesNames(const QString &dose, const QString &rate)
{
    if (m_bars)
        m_bars->setName(dose);
    if (m_bars && m_plot->graphCount() > 1)
        m_plot->graph(1)->setName(rate);
    m_legendColumns = 0;
    refreshTicks();
}

void ChartWidget::setRateData(const Series &ratesMicroSvPerHour, const QDateTime &from,
                              const QDateTime &to)
{
    Q_UNUSED(from)
    Q_UNUSED(to)
    if (m_style != DoseAndRate && m_style != DosePerPeriodAndRate)
        return;
    syncUnits();
    m_rates = ratesMicroSvPerHour;
    for (Point &point : m_rates)
        point.value = displayRate(point.value);
    showRate();
    refreshTicks();
}

void ChartWidget::setEmptyText(const QString &text)
{
    m_emptyText = text;
    if (!m_emptyLabel) {
        m_emptyLabel = new QCPItemText(m_plot);
        m_emptyLabel->position->setType(QCPItemPosition::ptAxisRectRatio);
        m_emptyLabel->position->setCoords(0.5, 0.5);
        m_emptyLabel->setPositionAlignment(Qt::AlignCenter);
        m_emptyLabel->setColor(Qt::darkGray);
    }
    m_emptyLabel->setText(text);
    m_emptyLabel->setVisible(!text.isEmpty() && m_doses.isEmpty());
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void ChartWidget::showDose()
{
    if (m_emptyLabel)
        m_emptyLabel->setVisible(!m_emptyText.isEmpty() && m_doses.isEmpty());
    if (m_plot->graphCount() == 0)
        return;
    const Extent e = extentOf(m_doses);
    if (m_bars) {
        m_bars->setWidth(m_barSeconds * 0.8);
        m_bars->setData(e.keys, e.values, e.sorted);
        m_plot->yAxis->setRange(0, e.max > 0 ? e.max * 1.05 : 1);
        if (m_from.isValid() && m_to.isValid())
            m_plot->xAxis->setRange(seconds(m_from), seconds(m_to));
        return;
    }
    const bool statistics = m_style == DoseStatistics && m_plot->graphCount() == 4;
    m_doseCount = e.values.size();
    m_doseMin = e.min;
    m_doseMax = e.max;
    m_doseAverage = m_doseCount > 0 ? e.sum / m_doseCount : 0;
    if (!e.values.isEmpty()) {
        m_plot->graph(0)->setData(e.keys, e.values, e.sorted);
        // The plot refuses an empty range (a maximum of 0): the previous one stays.
        m_plot->yAxis->setRange(0, e.max * 1.05);
    } else {
        for (int i = 0; i < m_plot->graphCount(); ++i) {
            if (i == 0 || statistics)
                m_plot->graph(i)->data()->clear();
        }
        m_plot->yAxis->setRange(0, 1);
    }
    if (m_from.isValid() && m_to.isValid())
        m_plot->xAxis->setRange(seconds(m_from), seconds(m_to));
}

void ChartWidget::updateStatistics()
{
    if (m_style != DoseStatistics || m_plot->graphCount() != 4)
        return;
    if (m_doseCount == 0 || !m_from.isValid() || !m_to.isValid())
        return;
    // A marker about every 50 px of the axis rect.
    const int n = std::max(5, m_plot->axisRect()->width() / 50);
    const qint64 first = m_from.toSecsSinceEpoch();
    const qint64 last = m_to.toSecsSinceEpoch();
    const qint64 step = (last - first) / (n - 1);
    QVector<double> keys;
    for (int i = 0; i < n - 1; ++i)
        keys.append(double(first + i * step));
    keys.append(double(last));
    m_plot->graph(1)->setData(keys, QVector<double>(n, m_doseAverage));
    m_plot->graph(2)->setData(keys, QVector<double>(n, m_doseMax));
    m_plot->graph(3)->setData(keys, QVector<double>(n, m_doseMin));
}

void ChartWidget::arrangeLegend()
{
    QCPLegend *legend = m_plot->legend;
    QList<QCPAbstractLegendItem *> items;
    int total = 0;
    for (int i = 0; i < legend->elementCount(); ++i) {
        if (auto *item = qobject_cast<QCPAbstractLegendItem *>(legend->elementAt(i))) {
            items.append(item);
            total += item->minimumOuterSizeHint().width();
        }
    }
    if (items.isEmpty())
        return;
    total += legend->columnSpacing() * (items.size() - 1);
    // Above the plotting area when there is room, else from the left edge,
    // else in two rows.
    const int available = m_plot->viewport().width();
    const int rectLeft = m_plot->axisRect()->left();
    int left = rectLeft;
    int columns = items.size();
    if (rectLeft + total > available) {
        left = 0;
        if (total > available)
            columns = (items.size() + 1) / 2;
    }
    legend->setMargins(QMargins(left, 0, 0, 0));
    if (columns == m_legendColumns)
        return;
    m_legendColumns = columns;
    for (QCPAbstractLegendItem *item : items)
        legend->take(item);
    legend->simplify();
    const int rows = (items.size() + columns - 1) / columns;
    legend->expandTo(rows, columns + 1);
    for (int i = 0; i < items.size(); ++i)
        legend->addElement(i / columns, i % columns, items.at(i));
    for (int column = 0; column < columns; ++column)
        legend->setColumnStretchFactor(column, 1);
    // The wide empty last column keeps the items packed to the left.
    legend->setColumnStretchFactor(columns, 99);
    const int height = rows * (fontMetrics().height() + 7);
    legend->setMinimumSize(1, height);
    legend->setMaximumSize(QWIDGETSIZE_MAX, height);
}

void ChartWidget::showRate()
{
    if ((m_style != DoseAndRate && m_style != DosePerPeriodAndRate) || m_plot->graphCount() < 2)
        return;
    const Extent e = extentOf(m_rates);
    if (!e.values.isEmpty()) {
        m_plot->graph(1)->setData(e.keys, e.values, e.sorted);
        m_plot->yAxis2->setRange(0, e.max * 1.05);
    } else {
        m_plot->graph(1)->data()->clear();
        m_plot->yAxis2->setRange(m_plot->yAxis->range());
    }
}

void ChartWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    refreshTicks();
}

void ChartWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(Qt::gray);
    painter.drawRect(0, 0, width() - 1, height() - 1);
}

bool ChartWidget::eventFilter(QObject *watched, QEvent *event)
{
    // The plot redraws itself on every resize; squeezed to no area (a page
    // being shown by the splitter, a pane dragged shut) it has nothing to
    // paint on, so it waits for its next real size.
    if (watched == m_plot && event->type() == QEvent::Resize && m_plot->size().isEmpty())
        return true;
    return QWidget::eventFilter(watched, event);
}

void ChartWidget::refreshTicks()
{
    // The tick counts depend on the size of the axis rect, which depends on
    // the tick labels: lay out, tick, and lay out once more.
    for (int pass = 0; pass < 2; ++pass) {
        layoutPlot();
        updateTimeTicks();
        updateValueTicks();
    }
    // The statistics lines get their markers for the settled width.
    updateStatistics();
    if (!m_plot->size().isEmpty())
        m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void ChartWidget::layoutPlot()
{
    // Also before the widget is shown, the plot takes its share of our size.
    layout()->activate();
    m_plot->setViewport(m_printViewport.isValid() ? m_printViewport : m_plot->rect());
    QCPLayoutGrid *layout = m_plot->plotLayout();
    layout->update(QCPLayoutElement::upPreparation);
    layout->update(QCPLayoutElement::upMargins);
    layout->update(QCPLayoutElement::upLayout);
}

void ChartWidget::updateTimeTicks()
{
    QCPAxis *bottom = m_plot->xAxis;
    const QCPRange range = bottom->range();
    const QDateTime from = QDateTime::fromSecsSinceEpoch(qint64(std::floor(range.lower)));
    const QDateTime to = QDateTime::fromSecsSinceEpoch(qint64(std::floor(range.upper)));
    // A little room between hour labels keeps them apart.
    const QFontMetrics labelMetrics(bottom->labelFont());
    const int hourLabelWidth = labelMetrics.horizontalAdvance(QStringLiteral("23:00"));
    const int rotatedLabelWidth = QFontMetrics(bottom->tickLabelFont()).height() + 2;
    const ChartTicks::TimeTicks ticks = ChartTicks::timeTicks(
        from, to, m_plot->axisRect()->width(), hourLabelWidth, rotatedLabelWidth, m_plot->locale());
    m_timeTicker->setTicks(ticks.ticks, ticks.labels);
    m_timeTicker->setSubTickCount(ticks.subTicks);
    const bool hours = ticks.scale == ChartTicks::TimeScale::Hours;
    bottom->setTickLabelRotation(ticks.rotated ? -90 : 0);
    bottom->setLabel(hours ? tr("Время") : tr("Дата"));
    m_plot->xAxis2->setTicks(hours);
}

void ChartWidget::updateValueTicks()
{
    QCPAxis *left = m_plot->yAxis;
    QCPAxis *right = m_plot->yAxis2;
    const int height = m_plot->axisRect()->height();
    const int count
        = ChartTicks::valueTickCount(height, QFontMetrics(left->tickLabelFont()).height());
    const double top = left->range().upper;
    const QVector<double> ticks = ChartTicks::valueTicks(top, count);
    QVector<QString> labels;
    for (double tick : ticks)
        labels.append(DoseUnits::axisTickLabel(tick));
    m_leftTicker->setTicks(ticks, labels);

    if (m_style == DoseAndRate || m_style == DosePerPeriodAndRate) {
        const QVector<double> rateTicks
            = ChartTicks::proportionalTicks(right->range().upper, ticks, top);
        QVector<QString> rateLabels;
        for (double tick : rateTicks)
            rateLabels.append(DoseUnits::rateAxisTickLabel(tick));
        m_rightTicker->setTicks(rateTicks, rateLabels);
    } else {
        right->setRange(left->range());
        m_rightTicker->setTicks(ticks, labels);
    }
    arrangeLegend();
}
