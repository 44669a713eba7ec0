#pragma once

#include "db/SharedTypes.h"

#include <QDate>
#include <QList>
#include <QPair>

// What the thresholds mean: a threshold is exceeded when the dose summed over
// its window of days is strictly greater than its limit. Nothing is cached;
// every call asks the data store afresh, over the window that ends with the
// store's today().
namespace ThresholdEvaluator {

// One exceeded threshold: a user (user thresholds) or a group (group
// thresholds), the threshold, and the dose sum in the display unit.
struct Exceedance
{
    SharedUser user; // set for a user threshold
    SharedGroup group; // set for a group threshold
    SharedThreshold threshold;
    double sum = 0;
};

// Strictly above the limit; a sum equal to the limit is not exceeded.
bool isExceeded(double sum, double limit);

// The user's (or the group's members') dose over the threshold's window.
double userSum(const Threshold &threshold, const SharedUser &user);
double groupSum(const Threshold &threshold, const SharedGroup &group);

// Whether any user threshold of the store is exceeded by this user, checked
// in the store's order and stopping at the first; group thresholds are not
// consulted.
bool userExceedsAny(const SharedUser &user);

// Every exceeded threshold: first each user against each user threshold (the
// store's user order, then threshold order), then each group threshold
// against each of its groups in link order.
QList<Exceedance> scan();

// How much of the limit the sum takes, in percent, for a ThresholdBar. A
// limit of zero or below gives 0 while it is not exceeded and +infinity
// when it is, never NaN.
double fillPercentage(double sum, double limit);

} // namespace ThresholdEvaluator
