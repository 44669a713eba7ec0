#include "dose/EventStateText.h"

#include <QCoreApplication>

QString eventStateText(const VDB::Event &event, const char *context)
{
    const auto tr = [context](const char *text) {
        return QCoreApplication::translate(context, text);
    };
    QString text;
    if (event.edThreshold)
        text += tr("ЭД↑ ");
    if (event.medThreshold)
        text += tr("МЭД↑ ");
    if (event.batteryLow)
        text += tr("Батарея ");
    if (event.memoryFault)
        text += tr("Память ");
    if (event.detectorFault)
        text += tr("Датчик ");
    if (event.hvFault)
        text += tr("ВВ ");
    return text.isEmpty() ? tr("Норма") : text;
}
