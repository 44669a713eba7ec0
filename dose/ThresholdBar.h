#pragma once

#include <QColor>
#include <QWidget>

// A horizontal bar filled in the threshold's colour up to the share of the
// limit that has been reached, with that share printed in its middle.
class ThresholdBar : public QWidget
{
    Q_OBJECT
public:
    explicit ThresholdBar(QWidget *parent = nullptr);

    QColor color() const { return m_color; }
    double percentage() const { return m_percentage; }

    // Ignored for an invalid colour.
    void setColor(const QColor &color);
    // Ignored for a negative value or NaN; +infinity (a limit of zero that
    // is exceeded) draws a full bar.
    void setPercentage(double percentage);

    // What the bar prints: "50.0%", or "∞%" for an infinite share.
    QString text() const;
    // Filled length in pixels for a bar `width` pixels wide.
    static int filledWidth(int width, double percentage);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color = Qt::blue;
    double m_percentage = 0;
};
