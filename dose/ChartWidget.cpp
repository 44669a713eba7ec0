#undef QT_NO_FOREACH
#include <qcustomplot.h>

#include "dose/ChartWidget.h"

#include "dose/DoseUnits.h"

#include <QVBoxLayout>

ChartWidget::ChartWidget(QWidget *parent)
    : QWidget(parent)
    , m_plot(new QCustomPlot(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_plot);
    m_plot->xAxis->setTicker(QSharedPointer<QCPAxisTickerDateTime>(new QCPAxisTickerDateTime));
    m_plot->yAxis2->setVisible(true);
    m_plot->addGraph(m_plot->xAxis, m_plot->yAxis);
}

ChartWidget::~ChartWidget() = default;

QSize ChartWidget::sizeHint() const
{
    return QSize(200, 200);
}

double ChartWidget::displayRate(double microSvPerHour)
{
    return toDisplayDose(microSvPerHour / 1000);
}

void ChartWidget::setStyle(ChartWidget::Style style)
{
    if (style == m_style)
        return;
    m_style = style;
    m_plot->clearGraphs();
    m_plot->addGraph(m_plot->xAxis, m_plot->yAxis);
    if (style == DoseAndRate)
        m_plot->addGraph(m_plot->xAxis, m_plot->yAxis2);
}

void ChartWidget::optionsChanged()
{
    m_plot->replot();
}

void ChartWidget::setDoseData(const Series &doses, const QDateTime &from, const QDateTime &to)
{
    QVector<double> keys, values;
    for (const Point &p : doses) {
        keys.append(double(p.dateTime.toSecsSinceEpoch()));
        values.append(p.value);
    }
    m_plot->graph(0)->setData(keys, values);
    m_plot->xAxis->setRange(double(from.toSecsSinceEpoch()), double(to.toSecsSinceEpoch()));
    m_plot->yAxis->rescale();
    m_plot->replot();
}

void ChartWidget::setRateData(const Series &ratesMicroSvPerHour, const QDateTime &from,
                              const QDateTime &to)
{
    Q_UNUSED(from)
    Q_UNUSED(to)
    if (m_style != DoseAndRate)
        return;
    QVector<double> keys, values;
    for (const Point &p : ratesMicroSvPerHour) {
        keys.append(double(p.dateTime.toSecsSinceEpoch()));
        values.append(displayRate(p.value));
    }
    m_plot->graph(1)->setData(keys, values);
    m_plot->yAxis2->rescale();
    m_plot->replot();
}
