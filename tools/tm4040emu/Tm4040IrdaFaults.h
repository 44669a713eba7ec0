#pragma once

#include <QtGlobal>

// Faults and pacing of the emulator's IrDA mode (Tm4040Emulator::PtyMode::Irda).
// Part of Tm4040Faults, so they can be changed while the emulator runs.
struct Tm4040IrdaFaults
{
    // Frames lost or damaged on the way, as a fraction (0 to 1) of the frames
    // travelling in that direction. A damaged frame has one bit flipped after
    // its FCS was computed, so the receiver must drop it on the FCS check.
    // The choices come from a generator seeded with `seed`: a run repeats.
    double dropToDevice = 0;
    double dropFromDevice = 0;
    double corruptToDevice = 0;
    double corruptFromDevice = 0;
    quint32 seed = 1;
    // Unnumbered frames (discovery, connection, disconnection) travel
    // untouched by the loss and damage above, for tests about the data
    // that a connected link carries through bad air.
    bool spareUnnumbered = false;

    // A busy device: once it has taken `busyAfterIFrames` I-frames on a link
    // (0: at once), it answers RNR and takes no I-frames for `busyMs`.
    int busyMs = 0;
    int busyAfterIFrames = 0;

    // The device answers discovery but refuses every connection (DM to SNRM).
    bool refuseConnection = false;
    // A second device is in range: it answers discovery in an earlier slot
    // than the dosimeter, with its own address, and refuses connections.
    bool secondDeviceRefusing = false;

    // Highest speed the device accepts in negotiation, in baud
    // (9600, 19200, 38400, 57600 or 115200).
    int maxBaud = 115200;

    // Bytes leave at the pace of the link: 9600 baud during discovery and
    // connection, the negotiated speed after UA (10 bits a byte). Off: as
    // fast as the terminal takes them (for tests).
    bool realTiming = false;
    // Frames that arrive while the host's terminal runs at another speed
    // than the link's are lost, as with a real dongle.
    bool checkHostSpeed = false;
};
