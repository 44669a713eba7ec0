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
    // One statement per period gives every user's sum, and the groups' sums
    // are their members'; thousands of users would otherwise cost a
    // statement each.
    QHash<quint16, QHash<int, double>> sums;
    for (const SharedThreshold &threshold : thresholds) {
        if (!sums.contains(threshold->period))
            sums.insert(threshold->period, db->userDoses(threshold->period));
    }
    for (const SharedUser &user : users) {
        for (const SharedThreshold &threshold : thresholds) {
            if (!threshold->isUser)
                continue;
            const double sum = sums[threshold->period].value(user->id);
            if (isExceeded(sum, threshold->value))
                rows.append({user, SharedGroup(), threshold, sum});
        }
    }
    QHash<QPair<const Group *, quint16>, double> groupSums;
    for (const SharedThreshold &threshold : thresholds) {
        if (threshold->isUser)
            continue;
        const QHash<int, double> &perUser = sums[threshold->period];
        const QList<SharedGroup> groups = threshold->groups;
        for (const SharedGroup &group : groups) {
            const auto key = qMakePair(static_cast<const Group *>(group.data()), threshold->period);
            auto it = groupSums.find(key);
            if (it == groupSums.end()) {
                double sum = 0;
                for (const SharedUser &member : qAsConst(group->users))
                    sum += perUser.value(member->id);
                it = groupSums.insert(key, sum);
            }
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
