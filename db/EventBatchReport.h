#pragma once

// What a batch of history records came to in the store.
struct EventBatchReport
{
    int inserted = 0; // new rows
    int alreadyStored = 0; // skipped: stored before
    // Records stamped outside the importing user's assignment of the device:
    // stored for the wearer of that time, or for nobody when none is known.
    int outsideAssignment = 0;
};
