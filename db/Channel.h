#pragma once

#include <QMetaType>
#include <QString>

namespace VDB {

// Radiation channel of a dose, a threshold or a colour; stored as int.
enum Channel { Alpha = 0, Beta = 1, Gamma = 2, Neutron = 3 };

constexpr int ChannelCount = 4;

// "Альфа", "Бета", "Гамма", "Нейтронный" for 0 to 3; empty for anything else.
QString channelName(int channel);

} // namespace VDB

Q_DECLARE_METATYPE(VDB::Channel)
