#include "db/AuditOperation.h"

#include <QCoreApplication>

namespace VDB {
namespace AuditOperation {

const char LoginSucceeded[] = "login";
const char LoginFailed[] = "login_failed";
const char UserAdded[] = "user_add";
const char UserChanged[] = "user_edit";
const char UserDeleted[] = "user_delete";
const char GroupAdded[] = "group_add";
const char GroupChanged[] = "group_edit";
const char GroupDeleted[] = "group_delete";
const char DeviceUsageChanged[] = "device_usage";
const char DeviceAssigned[] = "device_assign";
const char DeviceReleased[] = "device_release";
const char HistoryImported[] = "history_import";
const char HistoryCleared[] = "history_clear";
const char DeviceSettingsWritten[] = "device_settings";
const char DoseReset[] = "dose_reset";
const char ThresholdsChanged[] = "thresholds";
const char OptionsChanged[] = "options";
const char DoseSettingsChanged[] = "dose_settings";
const char DatabaseCreated[] = "db_create";
const char DatabaseRecreated[] = "db_recreate";

namespace {

struct Known
{
    const char *code;
    const char *name;
};

const Known KnownOperations[] = {
    {LoginSucceeded, QT_TRANSLATE_NOOP("AuditOperation", "Вход в программу")},
    {LoginFailed, QT_TRANSLATE_NOOP("AuditOperation", "Неудачный вход")},
    {UserAdded, QT_TRANSLATE_NOOP("AuditOperation", "Добавление пользователя")},
    {UserChanged, QT_TRANSLATE_NOOP("AuditOperation", "Изменение пользователя")},
    {UserDeleted, QT_TRANSLATE_NOOP("AuditOperation", "Удаление пользователя")},
    {GroupAdded, QT_TRANSLATE_NOOP("AuditOperation", "Добавление группы")},
    {GroupChanged, QT_TRANSLATE_NOOP("AuditOperation", "Изменение группы")},
    {GroupDeleted, QT_TRANSLATE_NOOP("AuditOperation", "Удаление группы")},
    {DeviceUsageChanged, QT_TRANSLATE_NOOP("AuditOperation", "Допуск группы к приборам")},
    {DeviceAssigned, QT_TRANSLATE_NOOP("AuditOperation", "Назначение прибора")},
    {DeviceReleased, QT_TRANSLATE_NOOP("AuditOperation", "Открепление прибора")},
    {HistoryImported, QT_TRANSLATE_NOOP("AuditOperation", "Импорт истории прибора")},
    {HistoryCleared, QT_TRANSLATE_NOOP("AuditOperation", "Очистка памяти прибора")},
    {DeviceSettingsWritten, QT_TRANSLATE_NOOP("AuditOperation", "Запись настроек прибора")},
    {DoseReset, QT_TRANSLATE_NOOP("AuditOperation", "Сброс накопленной дозы")},
    {ThresholdsChanged, QT_TRANSLATE_NOOP("AuditOperation", "Изменение порогов")},
    {OptionsChanged, QT_TRANSLATE_NOOP("AuditOperation", "Изменение настроек программы")},
    {DoseSettingsChanged, QT_TRANSLATE_NOOP("AuditOperation", "Изменение учёта дозы")},
    {DatabaseCreated, QT_TRANSLATE_NOOP("AuditOperation", "Создание базы данных")},
    {DatabaseRecreated, QT_TRANSLATE_NOOP("AuditOperation", "Пересоздание базы данных")},
};

} // namespace

QStringList codes()
{
    QStringList list;
    for (const Known &known : KnownOperations)
        list << QString::fromLatin1(known.code);
    return list;
}

QString name(const QString &code)
{
    for (const Known &known : KnownOperations) {
        if (code == QLatin1String(known.code))
            return QCoreApplication::translate("AuditOperation", known.name);
    }
    return code;
}

} // namespace AuditOperation
} // namespace VDB
