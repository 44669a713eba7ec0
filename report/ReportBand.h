#pragma once

#include "report/ReportField.h"

#include <QList>
#include <QRectF>
#include <QString>

// One band of a report template: a strip as wide as the printable area that
// is printed once, once per page or once per data record.
struct ReportBand
{
    enum Type {
        ReportTitle, // once, at the top of the first page
        PageHeader, // at the top of every page
        MasterHeader, // before the data rows, again on every page they continue on
        MasterData, // once per data record
        MasterFooter, // after the last data row
        ReportSummary, // once, after everything else
        PageFooter // at the bottom of every page
    };

    Type type = MasterData;
    QString name;
    // Where the designer placed the band; only the height matters for the
    // layout, the bands are stacked in print order.
    QRectF geometry;
    QList<ReportField> fields;
};
