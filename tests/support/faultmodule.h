#ifndef FAULTMODULE_H
#define FAULTMODULE_H

#include <dlfcn.h>

// Makes the tests' pass-through module forget what it counted and kept,
// where this process holds it loaded from one case to the next (openCryptoki
// is never finalised in a process).
inline void resetFaultModule(const char *path)
{
    if (void *module = dlopen(path, RTLD_NOW | RTLD_NOLOAD)) {
        if (auto reset = reinterpret_cast<void (*)()>(dlsym(module, "kcc_fault_reset")))
            reset();
        dlclose(module);
    }
}

#endif // FAULTMODULE_H
