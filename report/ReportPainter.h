#pragma once

#include "report/ReportDocument.h"

#include <QFont>

class QPaintDevice;
class QPainter;

// Draws the pages of a laid-out report. Coordinates are template units; the
// painter is scaled so that the template page fills the given target.
class ReportPainter
{
public:
    // Paints page `pageIndex` into `target` (device coordinates of the
    // painter), keeping the page's proportions.
    static void paintPage(QPainter *painter, const ReportDocument &document, int pageIndex,
                          const QRectF &target);

    // The font of a field for drawing in template units on `device`.
    static QFont fieldFont(const ReportField &field, const QPaintDevice *device);
    // The flags handed to QPainter::drawText for a field.
    static int textFlags(const ReportField &field);
    // Height in template units that `text` needs in a field `width` units wide.
    static qreal textHeight(const ReportField &field, const QString &text, qreal width);

private:
    static void paintContent(QPainter *painter, const ReportField &field,
                             const ReportDocument::Item &item);
    static void paintText(QPainter *painter, const ReportField &field, const QRectF &rect,
                          const QString &text);
    static void paintBorders(QPainter *painter, const ReportField &field, const QRectF &rect);
};
