// Modules through p11-kit: every registered one, or those VELMUX_PKCS11_MODULE
// names (paths separated by colons) alone.
#include "pkcs11modules.h"

#include <p11-kit/p11-kit.h>

#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <vector>

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

// openCryptoki 3.8's soft token stays loaded after C_Finalize yet is mapped
// afresh by the next C_Initialize, and that one crashes now and then in the
// same process (its session clean-up runs on the old mapping's state). Such
// a module is kept initialised once for the life of the process: p11-kit
// counts the initialisations of one module, so the contexts' own
// C_Initialize and C_Finalize then never reach it again.
bool reinitialisesUnsafely(CK_FUNCTION_LIST *fn)
{
    CK_INFO info{};
    if (fn->C_GetInfo(&info) != CKR_OK)
        return false;
    const std::string maker(reinterpret_cast<const char *>(info.manufacturerID), sizeof info.manufacturerID);
    const std::string library(reinterpret_cast<const char *>(info.libraryDescription), sizeof info.libraryDescription);
    return maker.rfind("IBM ", 0) == 0 && library.rfind("Meta PKCS11 LIBRARY", 0) == 0;
}

std::mutex keptLock;
std::set<std::string> kept;

bool keptInitialised(const std::string &identity)
{
    const std::lock_guard<std::mutex> guard(keptLock);
    return kept.count(identity) != 0;
}

void keepInitialised(CK_FUNCTION_LIST *fn, const std::string &identity)
{
    const std::lock_guard<std::mutex> guard(keptLock);
    if (identity.empty() || kept.count(identity) || !reinitialisesUnsafely(fn))
        return;
    // Never finalised nor released: it lives as long as the process.
    CK_FUNCTION_LIST *keeper = p11_kit_module_load(identity.c_str(), 0);
    if (keeper && p11_kit_module_initialize(keeper) == CKR_OK)
        kept.insert(identity);
    else if (keeper)
        p11_kit_module_release(keeper);
}

// p11-kit's message for a module it could not load, as "file: reason": the
// loader's own text (dlerror's) where p11-kit passed it on.
std::string loadFailure(const std::string &path)
{
    const char *message = p11_kit_message();
    std::string reason = message ? message : "";
    const std::string prefix = "couldn't load module: " + path + ": ";
    if (reason.rfind(prefix, 0) == 0)
        reason.erase(0, prefix.size());
    if (reason.empty())
        reason = "not loaded";
    return reason.rfind(path + ": ", 0) == 0 ? reason : path + ": " + reason;
}

} // namespace

struct ModuleSet::Loaded {
    CK_FUNCTION_LIST **list = nullptr;
    std::vector<CK_FUNCTION_LIST *> named;
    ~Loaded()
    {
        if (list)
            p11_kit_modules_finalize_and_release(list);
        for (CK_FUNCTION_LIST *fn : named) {
            p11_kit_module_finalize(fn);
            p11_kit_module_release(fn);
        }
    }
};

ModuleSet::ModuleSet() : loaded_(std::make_unique<Loaded>()) {}
ModuleSet::~ModuleSet() = default;

bool ModuleSet::load()
{
    const char *paths = std::getenv("VELMUX_PKCS11_MODULE");
    if (paths && *paths) {
        // Every module named must load: the user asked for these alone.
        std::string rest = paths;
        while (!rest.empty()) {
            const std::size_t colon = rest.find(':');
            const std::string path = rest.substr(0, colon);
            rest = colon == std::string::npos ? std::string() : rest.substr(colon + 1);
            if (path.empty())
                continue;
            CK_FUNCTION_LIST *fn = p11_kit_module_load(path.c_str(), 0);
            if (!fn) {
                failure_ = loadFailure(path);
                return false;
            }
            const CK_RV rv = p11_kit_module_initialize(fn);
            if (rv != CKR_OK) {
                failure_ = path + ": C_Initialize: " + describeRv(rv);
                p11_kit_module_release(fn);
                return false;
            }
            loaded_->named.push_back(fn);
            modules_.push_back({fn, moduleIdentity(fn)});
        }
    } else {
        // Modules that fail to initialise are already left out of the list.
        loaded_->list = p11_kit_modules_load_and_initialize(0);
        if (!loaded_->list)
            return false;
        for (CK_FUNCTION_LIST **m = loaded_->list; *m; ++m)
            modules_.push_back({*m, moduleIdentity(*m)});
    }
    for (const Module &module : modules_)
        keepInitialised(module.fn, module.identity);
    return !modules_.empty();
}

CK_RV ModuleSet::restart(CK_FUNCTION_LIST *fn, bool &restarted)
{
    restarted = false;
    std::string identity;
    for (const Module &module : modules_)
        if (module.fn == fn)
            identity = module.identity;
    if (keptInitialised(identity))
        return CKR_OK;
    // p11-kit counts initialisations: this reaches the module only where no
    // other context of the process uses it.
    CK_RV rv = p11_kit_module_finalize(fn);
    if (rv == CKR_OK)
        rv = p11_kit_module_initialize(fn);
    restarted = rv == CKR_OK;
    return rv;
}

std::string describeRv(CK_RV rv)
{
    const char *text = p11_kit_strerror(rv);
    return text ? text : "";
}
