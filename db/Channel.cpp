#include "db/Channel.h"

#include <QCoreApplication>

namespace VDB {

QString channelName(int channel)
{
    switch (channel) {
    case Alpha:
        return QCoreApplication::translate("VDB::Channel", "Альфа");
    case Beta:
        return QCoreApplication::translate("VDB::Channel", "Бета");
    case Gamma:
        return QCoreApplication::translate("VDB::Channel", "Гамма");
    case Neutron:
        return QCoreApplication::translate("VDB::Channel", "Нейтронный");
    default:
        return QString();
    }
}

} // namespace VDB
