#include "Tm4040Plugin.h"

// The library's one exported symbol. The object lives until the library is
// unloaded; every call returns the same one.
extern "C" Q_DECL_EXPORT AbstractPlugin *getPlugin()
{
    static Tm4040Plugin plugin;
    return &plugin;
}
