#pragma once

#include "db/Event.h"

#include <QString>

// The state column of a history record: its threshold and fault flags as
// short words, or "Норма" when none is set. `context` is the translation
// context of the window that shows it.
QString eventStateText(const VDB::Event &event, const char *context);
