// OpenSSL 3.0 has GOST R 34.10-2012 only through the engine interface, which
// it deprecates; the warnings are kept out of this one file.
#define OPENSSL_SUPPRESS_DEPRECATED

#include "gostengine.h"

#include <openssl/engine.h>
#include <openssl/err.h>

#include <mutex>

namespace timestamp {

bool loadGostEngine()
{
    static std::once_flag once;
    static bool loaded = false;
    std::call_once(once, [] {
        // Not installed is no fault: authorities with other keys need none of it.
        ENGINE *engine = ENGINE_by_id("gost");
        if (engine && ENGINE_init(engine)) {
            loaded = ENGINE_set_default(engine, ENGINE_METHOD_ALL & ~ENGINE_METHOD_RAND) == 1;
            ENGINE_finish(engine);
        }
        ENGINE_free(engine);
        ERR_clear_error();
    });
    return loaded;
}

} // namespace timestamp
