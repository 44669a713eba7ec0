#pragma once

#include <QDateTime>
#include <QPair>
#include <QVector>
#include <QWidget>

class QCustomPlot;

// Stand-in dose chart: the graphs hold the points they were given.
class ChartWidget : public QWidget
{
    Q_OBJECT
public:
    enum Style { DoseOnly = 0, DoseStatistics = 1, DoseAndRate = 2 };
    using Point = QPair<QDateTime, double>;
    using Points = QVector<Point>;

    explicit ChartWidget(QWidget *parent = nullptr);

    Style style() const { return m_style; }
    QCustomPlot *plot() const { return m_plot; }

    void setDoseData(const Points &points, const QDateTime &from, const QDateTime &to);
    void setRateData(const Points &points, const QDateTime &from, const QDateTime &to);

public slots:
    void setStyle(ChartWidget::Style style);
    void optionsChanged();

private:
    QCustomPlot *m_plot = nullptr;
    Style m_style = DoseOnly;
};
