#pragma once

namespace VDB {

// Registers SharedUser, SharedGroup, SharedDevice, SharedThreshold, VDB::Event
// and VDB::Channel under exactly these names, so that they travel through
// QVariant and queued connections. Called once at start-up; safe to repeat.
void registerMetaTypes();

} // namespace VDB
