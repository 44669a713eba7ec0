#include "DeviceTestSetup.h"

#include "app/LibraryPath.h"
#include "db/MetaTypes.h"

#include <QByteArray>
#include <QtGlobal>

namespace DeviceTestSetup {

void prepare(int answerTimeoutMs)
{
    VDB::registerMetaTypes();
    LibraryPath::setLibraryDirectory(qEnvironmentVariable("ORVANE_PLUGIN_DIR"));
    if (!qEnvironmentVariableIsSet("TM4040_ANSWER_TIMEOUT_MS"))
        qputenv("TM4040_ANSWER_TIMEOUT_MS", QByteArray::number(answerTimeoutMs));
}

} // namespace DeviceTestSetup
