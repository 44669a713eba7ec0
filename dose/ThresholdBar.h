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

    // The dose reached and the limit, in `unit`, printed beside the share;
    // without them (negative) the bar shows the share alone.
    void setAmounts(double dose, double limit, const QString &unit);
    // What the bar prints: "0.25 из 0.50 мЗв (50.0%)", or the share alone
    // ("50.0%", "∞%" for an infinite one) when no amounts are set.
    QString text() const;
    // Above the limit the bar turns to this colour, whatever its own.
    static QColor exceededColor() { return QColor(210, 30, 30); }
    // Filled length in pixels for a bar `width` pixels wide.
    static int filledWidth(int width, double percentage);

    QSize sizeHint() const override;

protected:
    QFont barFont() const;
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color = Qt::blue;
    double m_percentage = 0;
    double m_dose = -1;
    double m_limit = -1;
    QString m_unit;
};
