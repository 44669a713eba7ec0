#include "dose/ThresholdBar.h"

#include <QPainter>
#include <cmath>

ThresholdBar::ThresholdBar(QWidget *parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
}

void ThresholdBar::setColor(const QColor &color)
{
    if (!color.isValid())
        return;
    m_color = color;
    update();
}

void ThresholdBar::setPercentage(double percentage)
{
    if (std::isnan(percentage) || percentage < 0)
        return;
    m_percentage = percentage;
    update();
}

void ThresholdBar::setAmounts(double dose, double limit, const QString &unit)
{
    m_dose = dose;
    m_limit = limit;
    m_unit = unit;
    updateGeometry();
    update();
}

QString ThresholdBar::text() const
{
    const QString share = std::isinf(m_percentage)
        ? QStringLiteral("∞%")
        : QString::number(m_percentage, 'f', 1) + QLatin1Char('%');
    if (!(m_dose >= 0) || !(m_limit >= 0))
        return share;
    // As many decimals as a small limit needs to be told from zero.
    const int decimals = m_limit >= 0.1 || m_limit == 0 ? 2 : 4;
    return tr("%1 из %2 %3 (%4)")
        .arg(QString::number(m_dose, 'f', decimals), QString::number(m_limit, 'f', decimals),
             m_unit, share)
        .simplified();
}

int ThresholdBar::filledWidth(int width, double percentage)
{
    if (percentage >= 100)
        return width;
    if (!(percentage > 0))
        return 0;
    return int(width * percentage / 100);
}

QSize ThresholdBar::sizeHint() const
{
    // Wide enough for its text in the bar's font.
    return QSize(qMax(150, QFontMetrics(barFont()).horizontalAdvance(text()) + 12), 22);
}

QFont ThresholdBar::barFont() const
{
    QFont bold = font();
    bold.setWeight(QFont::Bold);
    return bold;
}

void ThresholdBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QPen textPen = painter.pen();
    const int filled = filledWidth(width(), m_percentage);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawRect(filled, 0, width() - filled, height());
    // Over the limit the bar says so by its colour too.
    painter.setBrush(m_percentage > 100 ? exceededColor() : m_color);
    painter.drawRect(0, 0, filled, height());

    painter.setFont(barFont());
    painter.setPen(textPen);
    painter.drawText(rect(), Qt::AlignCenter, text());
}
