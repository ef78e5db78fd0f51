// Modules through p11-kit: every registered one, or VELMUX_PKCS11_MODULE alone.
#include "pkcs11modules.h"

#include <p11-kit/p11-kit.h>

#include <cstdlib>

namespace {

struct FreeDeleter {
    void operator()(char *p) const { std::free(p); }
};
using CString = std::unique_ptr<char, FreeDeleter>;

// Symlinks resolved: p11-kit's registry and the variable may name one module
// by different paths.
std::string moduleIdentity(CK_FUNCTION_LIST *fn)
{
    CString file(p11_kit_module_get_filename(fn));
    if (file) {
        CString real(realpath(file.get(), nullptr));
        return real ? real.get() : file.get();
    }
    CString name(p11_kit_module_get_name(fn));
    return name ? name.get() : std::string();
}

} // namespace

struct ModuleSet::Loaded {
    CK_FUNCTION_LIST **list = nullptr;
    CK_FUNCTION_LIST *single = nullptr;
    ~Loaded()
    {
        if (list)
            p11_kit_modules_finalize_and_release(list);
        if (single) {
            p11_kit_module_finalize(single);
            p11_kit_module_release(single);
        }
    }
};

ModuleSet::ModuleSet() : loaded_(std::make_unique<Loaded>()) {}
ModuleSet::~ModuleSet() = default;

bool ModuleSet::load()
{
    const char *path = std::getenv("VELMUX_PKCS11_MODULE");
    if (path && *path) {
        CK_FUNCTION_LIST *fn = p11_kit_module_load(path, 0);
        if (!fn)
            return false;
        if (p11_kit_module_initialize(fn) != CKR_OK) {
            p11_kit_module_release(fn);
            return false;
        }
        loaded_->single = fn;
        modules_.push_back({fn, moduleIdentity(fn)});
    } else {
        // Modules that fail to initialise are already left out of the list.
        loaded_->list = p11_kit_modules_load_and_initialize(0);
        if (!loaded_->list)
            return false;
        for (CK_FUNCTION_LIST **m = loaded_->list; *m; ++m)
            modules_.push_back({*m, moduleIdentity(*m)});
    }
    return !modules_.empty();
}

std::string describeRv(CK_RV rv)
{
    const char *text = p11_kit_strerror(rv);
    return text ? text : "";
}
