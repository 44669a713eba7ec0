#include "report/ReportPainter.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>

namespace {

// Templates are designed on a canvas where one unit is one pixel of a 96 dpi
// screen, and their boxes are sized for fonts drawn there; a point is thus
// 96 / 72 units, which keeps the designer's proportions on paper.
constexpr qreal UnitsPerPoint = 96.0 / 72.0;
// A line that is too wide for its field and would be cut is narrowed rather,
// by up to this much.
constexpr qreal MinimumSqueeze = 0.8;
// Text that does not fit even so is set smaller, down to this share of its
// size, and wrapped.
constexpr qreal MinimumShrink = 0.4;
constexpr qreal Epsilon = 0.01;

// A device of known resolution to measure text on when nothing is painted.
const QImage &measuringDevice()
{
    static const QImage image = [] {
        QImage device(1, 1, QImage::Format_RGB32);
        device.setDotsPerMeterX(11811); // 300 dpi
        device.setDotsPerMeterY(11811);
        return device;
    }();
    return image;
}

QRectF alignedRect(const QSizeF &size, Qt::Alignment alignment, const QRectF &area)
{
    qreal x = area.left();
    qreal y = area.top();
    if (alignment & Qt::AlignHCenter)
        x += (area.width() - size.width()) / 2;
    else if (alignment & Qt::AlignRight)
        x += area.width() - size.width();
    if (alignment & Qt::AlignVCenter)
        y += (area.height() - size.height()) / 2;
    else if (alignment & Qt::AlignBottom)
        y += area.height() - size.height();
    return QRectF(QPointF(x, y), size);
}

bool visible(const QColor &color)
{
    return color.isValid() && color.alpha() > 0;
}

} // namespace

QFont ReportPainter::fieldFont(const ReportField &field, const QPaintDevice *device)
{
    QFont font;
    QStringList families;
    if (!field.fontFamily.isEmpty())
        families << field.fontFamily;
    // Windows families named by templates are missing elsewhere; fall back to
    // fonts that have Cyrillic letters.
    families << QStringLiteral("DejaVu Sans") << QStringLiteral("Liberation Sans")
             << QStringLiteral("Arial");
    font.setFamilies(families);
    font.setFamily(families.first());
    font.setStyleHint(QFont::SansSerif);
    // Unhinted glyphs keep text widths proportional at every scale, so the
    // preview, the PDF and the pictures break lines alike.
    font.setHintingPreference(QFont::PreferNoHinting);
    const int dpi = device ? device->logicalDpiY() : 96;
    font.setPointSizeF(field.fontSize * UnitsPerPoint * 72.0 / qMax(1, dpi));
    font.setBold(field.fontBold);
    font.setItalic(field.fontItalic);
    font.setUnderline(field.fontUnderline);
    font.setStrikeOut(field.fontStrikeout);
    return font;
}

int ReportPainter::textFlags(const ReportField &field)
{
    int flags = int(field.alignment);
    if (field.textWrap)
        flags |= Qt::TextWordWrap;
    return flags;
}

qreal ReportPainter::textHeight(const ReportField &field, const QString &text, qreal width)
{
    const QFontMetricsF metrics(fieldFont(field, &measuringDevice()), &measuringDevice());
    const QRectF bounds
        = metrics.boundingRect(QRectF(0, 0, qMax<qreal>(width, 1), 1e6), textFlags(field), text);
    return bounds.height();
}

void ReportPainter::paintPage(QPainter *painter, const ReportDocument &document, int pageIndex,
                              const QRectF &target)
{
    if (pageIndex < 0 || pageIndex >= document.pages.size())
        return;
    const QSizeF page = document.source.pageSize;
    const qreal scale = qMin(target.width() / page.width(), target.height() / page.height());
    if (!(scale > 0))
        return;

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::TextAntialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->translate(alignedRect(page * scale, Qt::AlignCenter, target).topLeft());
    painter->scale(scale, scale);

    // Backgrounds first, then contents, then frames: a cell's background never
    // hides the shared frame line of its neighbour, and pictures stay visible
    // over empty cells drawn later.
    const QList<ReportDocument::Item> &items = document.pages.at(pageIndex).items;
    for (const ReportDocument::Item &item : items) {
        const ReportField &field = document.field(item);
        if (visible(field.backgroundColor) && !item.rect.isEmpty())
            painter->fillRect(item.rect, field.backgroundColor);
    }
    for (const ReportDocument::Item &item : items)
        paintContent(painter, document.field(item), item);
    for (const ReportDocument::Item &item : items) {
        if (!item.rect.isEmpty())
            paintBorders(painter, document.field(item), item.rect);
    }

    if (document.source.pageBorder && document.source.pageBorderWidth > 0) {
        painter->setClipping(false);
        painter->setPen(QPen(document.source.pageBorderColor, document.source.pageBorderWidth));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(document.source.contentRect());
    }
    painter->restore();
}

void ReportPainter::paintContent(QPainter *painter, const ReportField &field,
                                 const ReportDocument::Item &item)
{
    const QRectF rect = item.rect;
    if (rect.isEmpty())
        return;
    painter->save();
    // Nothing of a field spills over its frame.
    painter->setClipRect(rect, Qt::IntersectClip);
    if (field.kind == ReportField::Image) {
        if (!item.image.isNull()) {
            const QSizeF size = QSizeF(item.image.size()).scaled(rect.size(), Qt::KeepAspectRatio);
            painter->drawImage(alignedRect(size, field.alignment, rect), item.image);
        }
    } else if (!item.text.isEmpty()) {
        paintText(painter, field, rect, item.text);
    }
    painter->restore();
}

void ReportPainter::paintText(QPainter *painter, const ReportField &field, const QRectF &rect,
                              const QString &text)
{
    const QFont font = fieldFont(field, painter->device());
    painter->setFont(font);
    painter->setPen(field.fontColor);
    const int flags = textFlags(field);

    const QFontMetricsF metrics(font, painter->device());
    const qreal lineWidth = metrics.horizontalAdvance(text);
    // Leading spaces pad a cell on the left; keep as much room on the right.
    qreal padding = 0;
    if (field.alignment & Qt::AlignLeft) {
        int spaces = 0;
        while (spaces < text.size() && text.at(spaces) == QLatin1Char(' '))
            ++spaces;
        padding = metrics.horizontalAdvance(text.left(spaces));
    }
    const qreal available = rect.width() - padding;
    if (lineWidth > rect.width() && !text.contains(QLatin1Char('\n'))
        && lineWidth * MinimumSqueeze <= available) {
        const qreal wrappedHeight
            = metrics.boundingRect(QRectF(0, 0, rect.width(), 1e6), flags, text).height();
        if (!field.textWrap || wrappedHeight > rect.height()) {
            // One line, narrowed to the field's width.
            const qreal squeeze = available / lineWidth;
            painter->save();
            painter->translate(rect.left(), 0);
            painter->scale(squeeze, 1);
            painter->drawText(QRectF(0, rect.top(), lineWidth, rect.height()),
                              flags & ~Qt::TextWordWrap, text);
            painter->restore();
            return;
        }
    }
    // Still too long for the cell, on one line or wrapped: a smaller font,
    // wrapped, until all of it fits, rather than words cut at the frame.
    auto fits = [&](const QFont &candidate, int candidateFlags) {
        const QRectF needed
            = QFontMetricsF(candidate, painter->device())
                  .boundingRect(QRectF(0, 0, rect.width(), 1e6), candidateFlags, text);
        return needed.width() <= rect.width() + Epsilon
            && needed.height() <= rect.height() + Epsilon;
    };
    if (!fits(font, flags)) {
        for (qreal scale = 0.9; scale >= MinimumShrink; scale -= 0.05) {
            QFont smaller = font;
            smaller.setPointSizeF(font.pointSizeF() * scale);
            // A field that does not wrap stays on one line.
            const int smallerFlags = field.textWrap ? flags | Qt::TextWordWrap : flags;
            if (fits(smaller, smallerFlags)) {
                painter->setFont(smaller);
                painter->drawText(rect, smallerFlags, text);
                return;
            }
        }
    }
    painter->drawText(rect, flags, text);
}

void ReportPainter::paintBorders(QPainter *painter, const ReportField &field, const QRectF &rect)
{
    if (field.borderWidth <= 0 || field.borderStyle == Qt::NoPen)
        return;
    const struct
    {
        const QColor &color;
        QLineF line;
    } sides[] = {
        {field.borderLeft, QLineF(rect.topLeft(), rect.bottomLeft())},
        {field.borderTop, QLineF(rect.topLeft(), rect.topRight())},
        {field.borderRight, QLineF(rect.topRight(), rect.bottomRight())},
        {field.borderBottom, QLineF(rect.bottomLeft(), rect.bottomRight())},
    };
    for (const auto &side : sides) {
        if (!visible(side.color))
            continue;
        // Square caps close the corners where two sides meet.
        painter->setPen(QPen(side.color, field.borderWidth, field.borderStyle, Qt::SquareCap));
        painter->drawLine(side.line);
    }
}
