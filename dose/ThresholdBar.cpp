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

QString ThresholdBar::text() const
{
    if (std::isinf(m_percentage))
        return QStringLiteral("∞%");
    return QString::number(m_percentage, 'f', 1) + QLatin1Char('%');
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
    return QSize(150, 22);
}

void ThresholdBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QPen textPen = painter.pen();
    const int filled = filledWidth(width(), m_percentage);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawRect(filled, 0, width() - filled, height());
    painter.setBrush(m_color);
    painter.drawRect(0, 0, filled, height());

    QFont font = painter.font();
    font.setPixelSize(15);
    font.setWeight(QFont::Bold);
    painter.setFont(font);
    painter.setPen(textPen);
    painter.drawText(rect(), Qt::AlignCenter, text());
}
