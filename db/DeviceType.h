#pragma once

#include <QString>

// A kind of dosimeter. Owned by the data store's cache and passed by plain
// pointer; the pointer stays valid until the caches are reloaded.
struct DeviceType
{
    int id = 0;
    QString name; // e.g. "КВР-ТМ4040"
    QString connector; // file name of the device plug-in, e.g. "tm4040"
};
