#pragma once

namespace DeviceTestSetup {

// What every test against the emulator needs once: the records' meta-types
// for queued signals, the plug-in from the build tree, and an answer limit
// that lets a fault end in a fraction of the device's 15 s (unless the run
// sets its own).
void prepare(int answerTimeoutMs = 1000);

} // namespace DeviceTestSetup
