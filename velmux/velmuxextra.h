// The library's extras, found at run time: VELMUX_EXTRA(name) is null where
// the library in use lacks them (a maker's velmux.dll, the tests' fake).
#ifndef VELMUX_EXTRA_H
#define VELMUX_EXTRA_H

#include "velmux.h"

#if defined(_WIN32)
#include <windows.h>

template <typename Fn>
Fn velmuxExtra(const char *name)
{
    HMODULE module = GetModuleHandleW(L"velmux.dll");
    if (!module)
        return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}
#define VELMUX_EXTRA(name) velmuxExtra<name##_fn>(#name)
#else
#pragma weak velmux_get_write_method
#pragma weak velmux_count_containers
#pragma weak velmux_get_last_error
#pragma weak velmux_get_rv_name
#pragma weak velmux_get_module_error
#pragma weak velmux_get_remnant
#pragma weak velmux_get_container_label
#pragma weak velmux_get_media_maker
#define VELMUX_EXTRA(name) (&name)
#endif

#endif // VELMUX_EXTRA_H
