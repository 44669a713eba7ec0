#pragma once

#include <QDateTime>
#include <QVector>
#include <QWidget>

class QCustomPlot;

// Stand-in dose chart: the graphs hold the points they were given.
class ChartWidget : public QWidget
{
    Q_OBJECT
public:
    enum Style { DoseOnly = 0, DoseStatistics = 1, DoseAndRate = 2 };
    struct Point
    {
        QDateTime dateTime;
        double value = 0;
    };
    using Series = QVector<Point>;

    explicit ChartWidget(QWidget *parent = nullptr);

    Style style() const { return m_style; }
    QCustomPlot *plot() const { return m_plot; }

    // Doses in the display milli-unit.
    void setDoseData(const Series &doses, const QDateTime &from, const QDateTime &to);
    // Dose rates in µSv/h; shown in the display milli-unit per hour.
    void setRateData(const Series &ratesMicroSvPerHour, const QDateTime &from, const QDateTime &to);

    // µSv/h -> display milli-unit per hour.
    static double displayRate(double microSvPerHour);

public slots:
    void setStyle(ChartWidget::Style style);
    void optionsChanged();

private:
    QCustomPlot *m_plot = nullptr;
    Style m_style = DoseOnly;
    double m_unitFactor = 1;
};
