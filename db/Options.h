#pragma once

#include <QByteArray>
#include <QColor>
#include <QVector>

// Program-wide options, kept in the single row of the Options table.
struct Options
{
    // Bits of the `settings` column besides the unit code (bits 0-1).
    enum SettingsBit { DelHistory = 4, SynchronizeDate = 8, TurnOffDevice = 16, UndockDevice = 32 };

    Options();

    bool delHistory = false;
    bool synchronizeDate = false;
    bool turnOffDevice = false;
    bool undockDevice = false;
    int interval = 7; // days
    int units = 1; // 0 roentgen, 1 sievert (stored unit), 2 rem
    QVector<QColor> medColors; // four, indexed by VDB::Channel
    QVector<QColor> edColors; // four, indexed by VDB::Channel

    // Colour of a channel; the alpha colour for a channel outside 0-3.
    QColor edColor(int channel) const;
    QColor medColor(int channel) const;

    // The `settings` column value; bits 6 and up are 0.
    int settings() const;
    // Takes flags and unit code from a `settings` value; higher bits are ignored.
    void setSettings(int settings);

    // A colour list as stored in the database: QColor data-stream
    // serialisations one after another (11 bytes each).
    static QByteArray encodeColors(const QVector<QColor> &colors);
    // Reads up to `into.size()` colours; missing ones become invalid.
    static void decodeColors(const QByteArray &blob, QVector<QColor> &into);
};
