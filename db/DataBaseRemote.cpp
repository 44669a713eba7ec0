// Changes that other workstations commit to the same server database.

#include "db/DataBase.h"

#include "db/Transaction.h"

#include <QHash>
#include <QImage>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QTimer>
#include <QVariant>

namespace VDB {

namespace {

template<class T> QString ids(const QList<QSharedPointer<T>> &records)
{
    QStringList out;
    for (const QSharedPointer<T> &record : records)
        out << QString::number(record->id);
    return out.join(QLatin1Char(','));
}

QString fingerprint(const User &u)
{
    const QString device = u.device ? QStringLiteral("%1/%2/%3")
                                          .arg(u.device->type ? u.device->type->id : 0)
                                          .arg(u.device->serial)
                                          .arg(u.device->assignDate.toString(Qt::ISODateWithMs))
                                    : QString();
    return QStringList {u.firstname,
                        u.middlename,
                        u.surname,
                        u.department,
                        u.comment,
                        u.login,
                        u.password,
                        QString::number(u.role),
                        QString::number(u.sex),
                        u.birthday.toString(Qt::ISODate),
                        QString::number(u.canUseDevice),
                        u.usageReason,
                        ids(u.groups),
                        device}
        .join(QChar(0x1f));
}

bool samePhoto(const QPixmap &a, const QPixmap &b)
{
    if (a.isNull() || b.isNull())
        return a.isNull() == b.isNull();
    return a.size() == b.size() && a.toImage() == b.toImage();
}

// Members and thresholds are told by the users' and thresholds' signals.
QString fingerprint(const Group &g)
{
    return QStringList {g.name, g.description, QString::number(g.access)}.join(QChar(0x1f));
}

QString fingerprint(const Threshold &t)
{
    return QStringList {QString::number(t.id),
                        t.name,
                        QString::number(t.isUser),
                        QString::number(t.channel),
                        QString::number(t.value, 'g', 17),
                        QString::number(t.period),
                        ids(t.groups)}
        .join(QChar(0x1f));
}

QString fingerprint(const Options &o)
{
    QStringList colours;
    for (const QColor &c : o.edColors + o.medColors)
        colours << c.name(QColor::HexArgb);
    return QStringLiteral("%1 %2 %3").arg(o.settings()).arg(o.interval).arg(colours.join(' '));
}

// The kept record of each id takes the fresh record's contents, so that
// whoever holds it sees the change; new ids keep their fresh record.
template<class T>
QList<QSharedPointer<T>> merge(const QList<QSharedPointer<T>> &kept,
                               const QList<QSharedPointer<T>> &fresh,
                               QHash<T *, QSharedPointer<T>> *byFresh)
{
    QHash<int, QSharedPointer<T>> keptById;
    for (const QSharedPointer<T> &record : kept)
        keptById.insert(record->id, record);
    QList<QSharedPointer<T>> out;
    for (const QSharedPointer<T> &record : fresh) {
        QSharedPointer<T> target = keptById.value(record->id);
        if (target)
            *target = *record;
        else
            target = record;
        byFresh->insert(record.data(), target);
        out << target;
    }
    return out;
}

template<class T>
void remap(QList<QSharedPointer<T>> &links, const QHash<T *, QSharedPointer<T>> &byFresh)
{
    for (QSharedPointer<T> &link : links)
        link = byFresh.value(link.data(), link);
}

} // namespace

void DataBase::listenForChanges()
{
    QSqlDriver *driver = connection().driver();
    if (!m_server || !driver->subscribeToNotification(QLatin1String(Transaction::ChangeChannel)))
        return;
    // A reconnection subscribes again on the same driver, which keeps its
    // connections.
    if (m_listening)
        return;
    m_listening = true;
    connect(driver,
            qOverload<const QString &, QSqlDriver::NotificationSource, const QVariant &>(
                &QSqlDriver::notification),
            this, [this](const QString &, QSqlDriver::NotificationSource source, const QVariant &) {
                // Our own commits have updated the caches already.
                if (source == QSqlDriver::SelfSource || m_remoteChangePending)
                    return;
                // A burst of commits is taken in at once.
                m_remoteChangePending = true;
                QTimer::singleShot(50, this, &DataBase::takeInRemoteChanges);
            });
}

bool DataBase::lockEventWrites()
{
    // An arbitrary key that this program's event writes share.
    return !m_server || exec(QStringLiteral("SELECT pg_advisory_xact_lock(40400)"));
}

int DataBase::lastEventId() const
{
    QSqlQuery query(connection());
    return query.exec(QStringLiteral("SELECT max(id) FROM Events")) && query.next()
        ? query.value(0).toInt()
        : 0;
}

void DataBase::takeInRemoteChanges()
{
    m_remoteChangePending = false;
    if (!isOpen())
        return;
    const QList<SharedUser> oldUsers = m_users;
    const QList<SharedGroup> oldGroups = m_groups;
    const QList<SharedThreshold> oldThresholds = m_thresholds;
    QHash<int, QString> userPrints, groupPrints;
    QHash<int, QPixmap> photos;
    for (const SharedUser &u : oldUsers) {
        userPrints.insert(u->id, fingerprint(*u));
        photos.insert(u->id, u->photo);
    }
    for (const SharedGroup &g : oldGroups)
        groupPrints.insert(g->id, fingerprint(*g));
    QString thresholdPrint;
    for (const SharedThreshold &t : oldThresholds)
        thresholdPrint += fingerprint(*t);
    const QString optionsPrint = fingerprint(m_options);

    m_users.clear();
    m_groups.clear();
    m_thresholds.clear();
    loadOptions();
    loadUsers();
    loadGroups();
    loadThresholds();
    // A failed read would look as if everyone had been deleted.
    if (m_users.isEmpty() && !oldUsers.isEmpty()) {
        m_users = oldUsers;
        m_groups = oldGroups;
        m_thresholds = oldThresholds;
        return;
    }

    QHash<User *, SharedUser> users;
    QHash<Group *, SharedGroup> groups;
    QHash<Threshold *, SharedThreshold> thresholds;
    // The fresh records stay alive until their links are broken below.
    const QList<SharedUser> freshUsers = m_users;
    const QList<SharedGroup> freshGroups = m_groups;
    const QList<SharedThreshold> freshThresholds = m_thresholds;
    m_users = merge(oldUsers, freshUsers, &users);
    m_groups = merge(oldGroups, freshGroups, &groups);
    m_thresholds = merge(oldThresholds, freshThresholds, &thresholds);
    for (const SharedUser &u : qAsConst(m_users))
        remap(u->groups, groups);
    for (const SharedGroup &g : qAsConst(m_groups)) {
        remap(g->users, users);
        remap(g->thresholds, thresholds);
    }
    for (const SharedThreshold &t : qAsConst(m_thresholds))
        remap(t->groups, groups);
    // The fresh records that only lent their contents link each other.
    for (auto it = users.cbegin(); it != users.cend(); ++it) {
        if (it.key() != it.value().data())
            it.key()->groups.clear();
    }
    for (auto it = groups.cbegin(); it != groups.cend(); ++it) {
        if (it.key() != it.value().data()) {
            it.key()->users.clear();
            it.key()->thresholds.clear();
        }
    }
    for (auto it = thresholds.cbegin(); it != thresholds.cend(); ++it) {
        if (it.key() != it.value().data())
            it.key()->groups.clear();
    }

    QList<SharedUser> usersGone;
    for (const SharedUser &u : oldUsers) {
        if (!m_users.contains(u)) {
            u->groups.clear();
            usersGone << u;
        }
    }
    QList<SharedGroup> groupsGone;
    for (const SharedGroup &g : oldGroups) {
        if (!m_groups.contains(g)) {
            g->users.clear();
            g->thresholds.clear();
            groupsGone << g;
        }
    }

    // The same signals, in the same order, as the local operations emit.
    for (const SharedGroup &g : qAsConst(m_groups)) {
        if (!groupPrints.contains(g->id))
            emit groupAdded(g);
    }
    for (const SharedUser &u : qAsConst(m_users)) {
        if (!userPrints.contains(u->id))
            emit userAdded(u);
        else if (userPrints.value(u->id) != fingerprint(*u)
                 || !samePhoto(photos.value(u->id), u->photo))
            emit userUpdated(u);
    }
    for (const SharedGroup &g : qAsConst(m_groups)) {
        if (groupPrints.contains(g->id) && groupPrints.value(g->id) != fingerprint(*g))
            emit groupUpdated(g);
    }
    for (const SharedUser &u : qAsConst(usersGone))
        emit userDeleted(u);
    for (const SharedGroup &g : qAsConst(groupsGone))
        emit groupDeleted(g);
    if (fingerprint(m_options) != optionsPrint)
        emit optionsChanged();
    QString newThresholdPrint;
    for (const SharedThreshold &t : qAsConst(m_thresholds))
        newThresholdPrint += fingerprint(*t);
    if (newThresholdPrint != thresholdPrint)
        emit thresholdsUpdated();

    const int lastEvent = lastEventId();
    if (lastEvent != m_seenEventId) {
        m_seenEventId = lastEvent;
        // The writer brought the dose of record up to date in its own
        // transaction; what this one takes in is not news to the others.
        Transaction::setQuiet(true);
        refreshDoseRecord();
        Transaction::setQuiet(false);
        emit historyAdded();
    }
}

} // namespace VDB
