#include "db/MetaTypes.h"

#include "db/Channel.h"
#include "db/Event.h"
#include "db/Group.h"
#include "db/Threshold.h"
#include "db/User.h"
#include "db/UserDevice.h"

namespace VDB {

void registerMetaTypes()
{
    qRegisterMetaType<SharedUser>("SharedUser");
    qRegisterMetaType<SharedGroup>("SharedGroup");
    qRegisterMetaType<SharedDevice>("SharedDevice");
    qRegisterMetaType<SharedThreshold>("SharedThreshold");
    qRegisterMetaType<VDB::Event>("VDB::Event");
    qRegisterMetaType<VDB::Channel>("VDB::Channel");
}

} // namespace VDB
