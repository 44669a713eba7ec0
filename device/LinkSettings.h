#pragma once

#include <QString>

// The workstation's choice of the link to a dosimeter, kept in the
// workstation's settings (QSettings), never in the shared database:
// automatic search, an IrDA dongle on a port, a raw serial port or TCP.
//
// The plug-in knows only its interface, so the choice reaches it through
// the environment of the program's own process: TM4040_LINK is set from the
// setting, unless the user started the program with TM4040_LINK set, which
// then wins.
class LinkSettings
{
public:
    enum Kind { Automatic, IrDA, Serial, Tcp };

    static constexpr int DefaultTcpPort = 4040;

    Kind kind = Automatic;
    QString port; // IrDA and serial
    int baud = 0; // 0: the link's own default (IrDA 115200 at most, serial 9600)
    QString host; // TCP
    int tcpPort = DefaultTcpPort;

    static LinkSettings load();
    void save() const;

    // The TM4040_LINK value for this choice; empty for the automatic search.
    QString linkText() const;

    // Sets (or clears) TM4040_LINK of this process from the stored choice,
    // unless the user had set it when the program first looked.
    static void applyToEnvironment();
    // The value the user set before the program started, if any.
    static QString userLink();
};
