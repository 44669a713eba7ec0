#pragma once

#include <QColor>
#include <QRectF>
#include <QString>

// One field of a report band as the template describes it: where it sits
// inside the band, what it shows and how it looks.
struct ReportField
{
    enum Kind { Text, Image };

    QString name;
    Kind kind = Text;
    // The text to show, with "[name]" placeholders and "<Date>", "<Time>",
    // "<Page>", "<TotalPages>" tokens; for images the "[name]" to ask for.
    QString value;
    // In template units, relative to the top left corner of the band.
    QRectF geometry;

    QString fontFamily;
    qreal fontSize = 10; // points
    bool fontBold = false;
    bool fontItalic = false;
    bool fontUnderline = false;
    bool fontStrikeout = false;
    QColor fontColor = Qt::black;
    QColor backgroundColor = Qt::transparent;

    // A side is drawn when its colour is not fully transparent.
    QColor borderLeft = Qt::transparent;
    QColor borderTop = Qt::transparent;
    QColor borderRight = Qt::transparent;
    QColor borderBottom = Qt::transparent;
    qreal borderWidth = 1; // template units
    Qt::PenStyle borderStyle = Qt::SolidLine;

    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    bool printing = true;
    bool autoHeight = false;
    bool textWrap = false;
};
