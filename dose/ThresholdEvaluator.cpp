#include "dose/ThresholdEvaluator.h"

#include "db/DataBase.h"

#include <QHash>
#include <limits>

namespace ThresholdEvaluator {

bool isExceeded(double sum, double limit)
{
    return sum > limit;
}

double userSum(const Threshold &threshold, const SharedUser &user)
{
    // An empty user would make the store sum over everybody.
    if (!user)
        return 0;
    return VDB::DataBase::instance()->userDose(threshold.period, user);
}

double groupSum(const Threshold &threshold, const SharedGroup &group)
{
    if (!group)
        return 0;
    return VDB::DataBase::instance()->groupDose(threshold.period, group);
}

bool userExceedsAny(const SharedUser &user)
{
    VDB::DataBase::instance()->refreshDoseRecord();
    const QList<SharedThreshold> thresholds = VDB::DataBase::instance()->thresholds();
    for (const SharedThreshold &threshold : thresholds) {
        if (!threshold->isUser)
            continue;
        if (isExceeded(userSum(*threshold, user), threshold->value))
            return true;
    }
    return false;
}

QList<Exceedance> scan()
{
    VDB::DataBase *db = VDB::DataBase::instance();
    db->refreshDoseRecord();
    // Copies: the lists must not change under the loops.
    const QList<SharedUser> users = db->users();
    const QList<SharedThreshold> thresholds = db->thresholds();
    QList<Exceedance> rows;
    // Thresholds with the same period share one sum per user or group.
    QHash<quint16, double> sums;
    for (const SharedUser &user : users) {
        sums.clear();
        for (const SharedThreshold &threshold : thresholds) {
            if (!threshold->isUser)
                continue;
            auto it = sums.find(threshold->period);
            if (it == sums.end())
                it = sums.insert(threshold->period, userSum(*threshold, user));
            const double sum = *it;
            if (isExceeded(sum, threshold->value))
                rows.append({user, SharedGroup(), threshold, sum});
        }
    }
    QHash<QPair<const Group *, quint16>, double> groupSums;
    for (const SharedThreshold &threshold : thresholds) {
        if (threshold->isUser)
            continue;
        const QList<SharedGroup> groups = threshold->groups;
        for (const SharedGroup &group : groups) {
            const auto key = qMakePair(static_cast<const Group *>(group.data()), threshold->period);
            auto it = groupSums.find(key);
            if (it == groupSums.end())
                it = groupSums.insert(key, groupSum(*threshold, group));
            const double sum = *it;
            if (isExceeded(sum, threshold->value))
                rows.append({SharedUser(), group, threshold, sum});
        }
    }
    return rows;
}

double fillPercentage(double sum, double limit)
{
    if (limit > 0)
        return 100 * sum / limit;
    return isExceeded(sum, limit) ? std::numeric_limits<double>::infinity() : 0.0;
}

} // namespace ThresholdEvaluator
