#pragma once

#include "report/ReportBand.h"

#include <QList>
#include <QMarginsF>
#include <QRectF>
#include <QSizeF>

// A parsed report template: the page in template units (four units to the
// millimetre, so 840 x 1188 is A4 portrait) and its bands.
struct ReportTemplate
{
    static constexpr qreal UnitsPerMillimetre = 4.0;

    QString name;
    QSizeF pageSize {840, 1188};
    QMarginsF margins {40, 40, 40, 40};
    bool pageBorder = false;
    QColor pageBorderColor = Qt::black;
    qreal pageBorderWidth = 1;
    QList<ReportBand> bands;

    // The first band of the given type, or -1.
    int bandIndex(ReportBand::Type type) const
    {
        for (int i = 0; i < bands.size(); ++i) {
            if (bands.at(i).type == type)
                return i;
        }
        return -1;
    }

    QRectF contentRect() const { return QRectF(QPointF(0, 0), pageSize).marginsRemoved(margins); }
};
