#include "Tm4040Plugin.h"

namespace {

// The object lives until the library is unloaded.
Tm4040Plugin &thePlugin()
{
    static Tm4040Plugin plugin;
    return plugin;
}

} // namespace

// The library's entry point: every call returns the same object.
extern "C" Q_DECL_EXPORT AbstractPlugin *getPlugin()
{
    return &thePlugin();
}

// The optional entry point for the progress of a history download.
extern "C" Q_DECL_EXPORT void setProgressCallback(ProgressCallback callback, void *context)
{
    thePlugin().setProgressCallback(callback, context);
}
