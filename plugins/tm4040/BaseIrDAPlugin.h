#pragma once

#include "IrDATransport.h"
#include "device/PluginInterface.h"

// A plug-in whose device talks over the infrared link: owns the link and
// fills the reserved slots.
class BaseIrDAPlugin : public AbstractPlugin
{
public:
    void disconnectDevice() override;
    void reserved1() override;
    void reserved2() override;
    void reserved3() override;
    QDateTime reservedTime() override;

protected:
    BaseIrDAPlugin() = default;
    ~BaseIrDAPlugin() = default;

    IrDATransport m_transport;
};
