#pragma once

#include <QDateTime>
#include <QSharedPointer>
#include <QVector>
#include <QWidget>

class QCustomPlot;
class QCPAxisTickerText;
class QCPItemText;
class QCPBars;

// The dose chart of every dose view: a time axis at the bottom, the dose on
// the left axis and, by style, its statistics or the dose rate on the right
// axis, with tick labels in the unit of the options. Colours come from the
// options and follow them.
class ChartWidget : public QWidget
{
    Q_OBJECT
public:
    // DosePerPeriodAndRate: the dose received per day or month as bars, the
    // highest dose rate of each as a line on the right axis.
    enum Style { DoseOnly = 0, DoseStatistics = 1, DoseAndRate = 2, DosePerPeriodAndRate = 3 };
    Q_ENUM(Style)

    // One value at one local date-time.
    struct Point
    {
        QDateTime dateTime;
        double value = 0;
    };
    using Series = QVector<Point>;

    explicit ChartWidget(QWidget *parent = nullptr);
    ~ChartWidget() override;

    Style style() const { return m_style; }
    QCustomPlot *plot() const { return m_plot; }
    QSize sizeHint() const override;

    // Doses in the display milli-unit of the options (as the store hands out
    // event values). `from` and `to` bound the time axis: the start of the
    // first shown day and the start of the day after the last one.
    void setDoseData(const Series &doses, const QDateTime &from, const QDateTime &to);
    // DosePerPeriodAndRate: one bar per point, centred on its date-time and
    // `barSeconds` wide; doses in the display milli-unit.
    void setBarData(const Series &doses, double barSeconds, const QDateTime &from,
                    const QDateTime &to);
    // Legend names of the dose and the rate series of DosePerPeriodAndRate.
    void setSeriesNames(const QString &dose, const QString &rate);

    // Dose rates in µSv/h, as the device delivers them and the store keeps
    // them (VDB::Event::medValue); the chart converts them to the display
    // milli-unit per hour itself. Only DoseAndRate shows them.
    void setRateData(const Series &ratesMicroSvPerHour, const QDateTime &from, const QDateTime &to);

    // A picture of the chart for a report frame of `frame` logical pixels
    // (1/96 inch), drawn at `dpi`: laid out and ticked for the frame's
    // shape, lines and text as sharp as the paper.
    QImage printImage(const QSizeF &frame, qreal dpi) const;
    // The picture for the image field a report (QtRPT) asks for now; the
    // widget's own size when asked otherwise.
    QImage reportImage(const QObject *report) const;
    // Said in the middle of the plot while it has no dose to show, e.g.
    // what to do to fill it; empty says nothing.
    void setEmptyText(const QString &text);
    // The least height at which ticks and legend stay readable.
    static int readableHeight(const QFont &font);

    // µSv/h -> display milli-unit per hour (mSv/h, mR/h or mrem/h).
    static double displayRate(double microSvPerHour);
    // The inverse: a value already in the display milli-unit (per hour), as
    // µSv/h for setRateData(), e.g. the dose of a type-300 record that is
    // charted on the rate axis.
    static double microSvPerHour(double displayValue);

public slots:
    void setStyle(ChartWidget::Style style);
    // Re-colours from the options and re-labels the ticks in their unit.
    void optionsChanged();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setUpPlot();
    // Re-expresses the kept data when the unit changed; true if it did.
    bool syncUnits();
    void applyColors();
    void showDose();
    void showRate();
    void updateStatistics();
    void arrangeLegend();
    void refreshTicks();
    void layoutPlot();
    void updateTimeTicks();
    void updateValueTicks();

    QCustomPlot *m_plot = nullptr;
    // Set while a picture for print is drawn: the plot is laid out for it.
    QRect m_printViewport;
    QString m_emptyText;
    QCPItemText *m_emptyLabel = nullptr;
    QCPBars *m_bars = nullptr; // DosePerPeriodAndRate only
    double m_barSeconds = 86400;
    Style m_style = DoseOnly;
    QSharedPointer<QCPAxisTickerText> m_timeTicker;
    QSharedPointer<QCPAxisTickerText> m_leftTicker;
    QSharedPointer<QCPAxisTickerText> m_rightTicker;
    // The data as given, so that a change of the unit can re-express it.
    Series m_doses;
    Series m_rates; // display milli-unit per hour
    // Statistics of the shown doses.
    int m_doseCount = 0;
    double m_doseMin = 0;
    double m_doseMax = 0;
    double m_doseAverage = 0;
    QDateTime m_from;
    QDateTime m_to;
    int m_unitCode = 1;
    int m_legendColumns = 0; // items per legend row as arranged last
};
