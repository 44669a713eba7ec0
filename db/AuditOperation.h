#pragma once

#include <QString>
#include <QStringList>

namespace VDB {

// The operations the audit trail records. Each is stored by a stable code
// (the `operation` column), so entries keep their meaning when the names
// shown to the operator change.
namespace AuditOperation {

extern const char LoginSucceeded[];
extern const char LoginFailed[];
extern const char UserAdded[];
extern const char UserChanged[];
extern const char UserDeleted[];
extern const char GroupAdded[];
extern const char GroupChanged[];
extern const char GroupDeleted[];
extern const char DeviceUsageChanged[];
extern const char DeviceAssigned[];
extern const char DeviceReleased[];
extern const char HistoryImported[];
extern const char HistoryCleared[];
extern const char DeviceSettingsWritten[];
extern const char DoseReset[];
extern const char ThresholdsChanged[];
extern const char OptionsChanged[];
extern const char DoseSettingsChanged[];
extern const char DatabaseCreated[];
extern const char DatabaseRecreated[];

// Every code, in the order the operator's filter lists them.
QStringList codes();
// The Russian name of a code; an unknown code (of a newer program) as it is.
QString name(const QString &code);

} // namespace AuditOperation
} // namespace VDB
