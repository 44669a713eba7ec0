#include "db/AuditDetails.h"

#include "db/Channel.h"
#include "db/DoseUnits.h"
#include "db/Group.h"

#include <QStringList>

namespace VDB {

namespace {

QString roleName(int role)
{
    switch (role) {
    case User::Administrator:
        return AuditDetails::tr("администратор");
    case User::Operator:
        return AuditDetails::tr("оператор");
    default:
        return AuditDetails::tr("пользователь");
    }
}

void addChange(QStringList &changes, const QString &field, const QString &before,
               const QString &after)
{
    if (before != after)
        changes << AuditDetails::tr("%1: «%2» → «%3»").arg(field, before, after);
}

} // namespace

QString AuditDetails::user(const User &user)
{
    const QString name = user.fullName();
    return user.login.isEmpty() ? name : tr("%1 (%2)").arg(name, user.login);
}

QString AuditDetails::newUser(const User &data)
{
    QStringList parts;
    parts << tr("роль: %1").arg(roleName(data.role))
          << tr("группы: %1").arg(groupNames(data.groups))
          << tr("работа с приборами: %1").arg(yesNo(data.canUseDevice));
    if (!data.department.isEmpty())
        parts << tr("подразделение: %1").arg(data.department);
    return parts.join(QStringLiteral("; "));
}

QString AuditDetails::userChanges(const User &before, const User &after)
{
    QStringList changes;
    addChange(changes, tr("фамилия"), before.surname, after.surname);
    addChange(changes, tr("имя"), before.firstname, after.firstname);
    addChange(changes, tr("отчество"), before.middlename, after.middlename);
    addChange(changes, tr("подразделение"), before.department, after.department);
    addChange(changes, tr("дата рождения"), before.birthday.toString(QStringLiteral("dd.MM.yyyy")),
              after.birthday.toString(QStringLiteral("dd.MM.yyyy")));
    addChange(changes, tr("пол"), before.sex == User::Female ? tr("ж") : tr("м"),
              after.sex == User::Female ? tr("ж") : tr("м"));
    addChange(changes, tr("роль"), roleName(before.role), roleName(after.role));
    addChange(changes, tr("логин"), before.login, after.login);
    if (!after.password.isEmpty() && before.password != after.password)
        changes << tr("пароль изменён");
    addChange(changes, tr("группы"), groupNames(before.groups), groupNames(after.groups));
    addChange(changes, tr("работа с приборами"), yesNo(before.canUseDevice),
              yesNo(after.canUseDevice));
    addChange(changes, tr("причина запрета"), before.usageReason, after.usageReason);
    addChange(changes, tr("комментарий"), before.comment, after.comment);
    if (!after.photo.isNull())
        changes << tr("фотография записана");
    return changes.isEmpty() ? tr("без изменений") : changes.join(QStringLiteral("; "));
}

QString AuditDetails::groupRights(int access)
{
    QStringList rights;
    if (access & Group::AssignDevices)
        rights << tr("назначение приборов");
    if (access & Group::DeviceSettings)
        rights << tr("настройки приборов");
    if (access & Group::ProgramSettings)
        rights << tr("настройки программы");
    return tr("права: %1").arg(rights.isEmpty() ? tr("нет") : rights.join(QStringLiteral(", ")));
}

QString AuditDetails::groupChanges(const Group &before, const QString &name,
                                   const QString &description, int access)
{
    QStringList changes;
    addChange(changes, tr("название"), before.name, name);
    addChange(changes, tr("описание"), before.description, description);
    if (before.access != access)
        changes << tr("%1 → %2").arg(groupRights(before.access), groupRights(access));
    return changes.isEmpty() ? tr("без изменений") : changes.join(QStringLiteral("; "));
}

QString AuditDetails::device(const QString &typeName, int serial)
{
    return tr("%1 №\u00a0%2").arg(typeName).arg(serial);
}

QString AuditDetails::threshold(const ThresholdData &data)
{
    QString text
        = tr("%1; канал %2; %3 %4 за %5 сут.")
              .arg(data.isUser ? tr("индивидуальный") : tr("групповой"), channelName(data.channel))
              .arg(data.value, 0, 'g', 6)
              .arg(DoseUnits::currentMilliUnitName())
              .arg(data.period);
    if (!data.isUser)
        text += tr("; группы: %1").arg(groupNames(data.groups));
    return text;
}

QString AuditDetails::options(const Options &options)
{
    return tr("интервал %1 сут.; единицы: %2; после чтения: удалять историю %3, "
              "синхронизировать время %4, выключать прибор %5, откреплять прибор %6")
        .arg(options.interval)
        .arg(DoseUnits::milliUnitName(options.units & 3))
        .arg(yesNo(options.delHistory), yesNo(options.synchronizeDate),
             yesNo(options.turnOffDevice), yesNo(options.undockDevice));
}

QString AuditDetails::doseSettings(const DoseRecordSettings &settings)
{
    return tr("учитывать показания счётчика: %1; пределы: год %2, пять лет %3, один год %4 мЗв")
        .arg(yesNo(settings.countReadings))
        .arg(settings.annualLimit)
        .arg(settings.fiveYearLimit)
        .arg(settings.singleYearLimit);
}

QString AuditDetails::groupNames(const QList<SharedGroup> &groups)
{
    QStringList names;
    for (const SharedGroup &group : groups)
        names << group->name;
    return names.isEmpty() ? tr("нет") : names.join(QStringLiteral(", "));
}

QString AuditDetails::yesNo(bool value)
{
    return value ? tr("да") : tr("нет");
}

} // namespace VDB
