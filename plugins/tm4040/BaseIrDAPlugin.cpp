#include "BaseIrDAPlugin.h"

void BaseIrDAPlugin::disconnectDevice()
{
    m_transport.close();
}

void BaseIrDAPlugin::reserved1() { }

void BaseIrDAPlugin::reserved2() { }

void BaseIrDAPlugin::reserved3() { }

QDateTime BaseIrDAPlugin::reservedTime()
{
    return QDateTime();
}
