#pragma once

#include "report/ReportTemplate.h"

#include <QImage>
#include <QList>
#include <QRectF>
#include <QString>

// A report laid out into pages with every value filled in: what the painter
// draws, as often as the preview asks, without asking the program again.
struct ReportDocument
{
    // One field placed on a page.
    struct Item
    {
        int band = -1; // index into source.bands
        int field = -1; // index into that band's fields
        QRectF rect; // in template units, on the page
        QString text; // text fields: the final text
        QImage image; // image fields: the picture (may be null)
    };

    struct Page
    {
        QList<Item> items;
    };

    ReportTemplate source;
    QList<Page> pages;

    const ReportField &field(const Item &item) const
    {
        return source.bands.at(item.band).fields.at(item.field);
    }
};
