#pragma once

#include "device/PluginInterface.h"

#include <QLibrary>
#include <QLoggingCategory>

#include <cstdio>

// The TM4040 plug-in of the build tree for a benchmark, with its byte dumps
// silenced; null (and the reason on stderr) when it does not load.
inline AbstractPlugin *loadBenchPlugin(QLibrary &library, const char *file)
{
    QLoggingCategory::setFilterRules(QStringLiteral("orvane.tm4040.debug=false"));
    library.setFileName(QString::fromLocal8Bit(file));
    const auto getPlugin = reinterpret_cast<GetPluginFunction>(library.resolve("getPlugin"));
    if (!getPlugin) {
        std::fprintf(stderr, "cannot load %s: %s\n", file, qPrintable(library.errorString()));
        return nullptr;
    }
    return getPlugin();
}
