#pragma once

#include "db/SharedTypes.h"

#include <QString>

// Edited values of one threshold, as the threshold dialogs hand them over.
struct ThresholdData
{
    bool isUser = true;
    QString name;
    int channel = 2;
    double value = 0.0001; // display unit
    quint16 period = 1;
    QList<SharedGroup> groups;
};

// One pending change of the threshold list.
struct ThresholdChange
{
    enum Action { Add = 0, Delete = 1, Update = 2 };

    int action = Add;
    ThresholdData data;
    SharedThreshold threshold; // ignored for Add
};
