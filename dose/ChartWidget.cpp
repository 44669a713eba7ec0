// qcustomplot.h uses Qt's foreach in its templates.
#undef QT_NO_FOREACH

#include "dose/ChartWidget.h"

#include "db/DataBase.h"
#include "dose/DoseUnits.h"

#include <QVBoxLayout>
#include <qcustomplot.h>

ChartWidget::ChartWidget(QWidget *parent)
    : QWidget(parent)
    , m_plot(new QCustomPlot(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_plot);
    m_plot->addGraph();
    m_unitFactor = toDisplayDose(1.0);
    connect(VDB::DataBase::instance(), &VDB::DataBase::optionsChanged, this,
            &ChartWidget::optionsChanged);
}

void ChartWidget::setStyle(ChartWidget::Style style)
{
    if (style == m_style)
        return;
    m_style = style;
    m_plot->clearGraphs();
    m_plot->addGraph();
    const int more = style == DoseStatistics ? 3 : style == DoseAndRate ? 1 : 0;
    for (int i = 0; i < more; ++i)
        m_plot->addGraph(m_plot->xAxis, style == DoseAndRate ? m_plot->yAxis2 : m_plot->yAxis);
}

void ChartWidget::optionsChanged()
{
    // Re-express the shown values in the new unit.
    const double factor = toDisplayDose(1.0);
    const double ratio = factor / m_unitFactor;
    m_unitFactor = factor;
    for (int i = 0; i < m_plot->graphCount(); ++i) {
        for (auto it = m_plot->graph(i)->data()->begin(); it != m_plot->graph(i)->data()->end(); ++it)
            it->value *= ratio;
    }
}

double ChartWidget::displayRate(double microSvPerHour)
{
    return toDisplayDose(microSvPerHour / 1000.0);
}

void ChartWidget::setDoseData(const Series &points, const QDateTime &from, const QDateTime &to)
{
    QVector<double> keys;
    QVector<double> values;
    for (const Point &point : points) {
        keys.append(point.dateTime.toSecsSinceEpoch());
        values.append(point.value);
    }
    m_plot->graph(0)->setData(keys, values);
    m_plot->xAxis->setRange(from.toSecsSinceEpoch(), to.toSecsSinceEpoch());
    m_plot->replot();
}

void ChartWidget::setRateData(const Series &points, const QDateTime &, const QDateTime &)
{
    if (m_style != DoseAndRate)
        return;
    QVector<double> keys;
    QVector<double> values;
    for (const Point &point : points) {
        keys.append(point.dateTime.toSecsSinceEpoch());
        values.append(displayRate(point.value));
    }
    m_plot->graph(1)->setData(keys, values);
    m_plot->replot();
}
