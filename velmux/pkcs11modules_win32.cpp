// Modules on Windows, without p11-kit: the DLL named by VELMUX_PKCS11_MODULE
// alone, otherwise every DLL listed in the registry value "Modules" (REG_SZ,
// REG_EXPAND_SZ or REG_MULTI_SZ) under HKEY_CURRENT_USER and then
// HKEY_LOCAL_MACHINE, key Software\Kestrik\velmux.
#include "pkcs11modules.h"

#include <windows.h>

#include <map>
#include <string>
#include <mutex>

namespace {

const wchar_t kVariable[] = L"VELMUX_PKCS11_MODULE";
const wchar_t kRegistryKey[] = L"Software\\Kestrik\\velmux";
const wchar_t kRegistryValue[] = L"Modules";

std::wstring environmentPath()
{
    DWORD n = GetEnvironmentVariableW(kVariable, nullptr, 0);
    if (n == 0)
        return {};
    std::wstring value(n, L'\0');
    n = GetEnvironmentVariableW(kVariable, value.data(), n);
    value.resize(n);
    return value;
}

// A REG_SZ holds one path; a REG_MULTI_SZ one per string.
std::vector<std::wstring> registryPaths(HKEY root)
{
    // RRF_RT_REG_SZ also takes REG_EXPAND_SZ, expanded; naming that type as
    // well is refused without RRF_NOEXPAND.
    const DWORD types = RRF_RT_REG_SZ | RRF_RT_REG_MULTI_SZ;
    DWORD bytes = 0;
    if (RegGetValueW(root, kRegistryKey, kRegistryValue, types, nullptr, nullptr, &bytes) != ERROR_SUCCESS)
        return {};
    std::wstring data;
    LSTATUS status = ERROR_MORE_DATA;
    // Expanding variables can need more room than the first answer said.
    for (int attempt = 0; attempt < 4 && status == ERROR_MORE_DATA; ++attempt) {
        data.assign(bytes / sizeof(wchar_t) + 2, L'\0');
        bytes = DWORD(data.size() * sizeof(wchar_t));
        status = RegGetValueW(root, kRegistryKey, kRegistryValue, types, nullptr, data.data(), &bytes);
    }
    if (status != ERROR_SUCCESS)
        return {};
    data.push_back(L'\0'); // the list's end, whatever the value held
    std::vector<std::wstring> paths;
    for (const wchar_t *p = data.c_str(); *p; p += wcslen(p) + 1)
        paths.emplace_back(p);
    return paths;
}

std::string utf8(const std::wstring &text)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// The system's words for a Win32 error, without the closing line break.
std::string systemText(DWORD error)
{
    wchar_t *buffer = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                       | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
    std::wstring text(buffer ? buffer : L"", n);
    if (buffer)
        LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return text.empty() ? "error " + std::to_string(error) : utf8(text);
}

// The loaded file's own name, so two spellings of one path are one module.
std::string moduleIdentity(HMODULE dll)
{
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(dll, name.data(), DWORD(name.size()));
        if (n == 0)
            return {};
        if (n < name.size()) {
            name.resize(n);
            break;
        }
        name.resize(name.size() * 2);
    }
    CharLowerBuffW(name.data(), DWORD(name.size()));
    return utf8(name);
}

// Cryptoki allows one C_Initialize per process, but every velmux context
// holds its modules: count the holders of each DLL and finalise with the last.
class Initialised {
public:
    CK_FUNCTION_LIST *acquire(HMODULE dll)
    {
        std::lock_guard<std::mutex> guard(lock_);
        auto it = held_.find(dll);
        if (it != held_.end()) {
            ++it->second.count;
            return it->second.fn;
        }
        auto getList = reinterpret_cast<CK_C_GetFunctionList>(
            reinterpret_cast<void (*)()>(GetProcAddress(dll, "C_GetFunctionList")));
        CK_FUNCTION_LIST *fn = nullptr;
        if (!getList || getList(&fn) != CKR_OK || !fn)
            return nullptr;
        CK_C_INITIALIZE_ARGS args{};
        args.flags = CKF_OS_LOCKING_OK;
        const CK_RV rv = fn->C_Initialize(&args);
        if (rv != CKR_OK && rv != CKR_CRYPTOKI_ALREADY_INITIALIZED)
            return nullptr;
        // Initialised by someone else in the process: theirs to finalise.
        held_.emplace(dll, Holders{fn, 1, rv == CKR_OK});
        return fn;
    }

    void release(HMODULE dll)
    {
        std::lock_guard<std::mutex> guard(lock_);
        auto it = held_.find(dll);
        if (it == held_.end() || --it->second.count > 0)
            return;
        if (it->second.ours)
            it->second.fn->C_Finalize(nullptr);
        held_.erase(it);
    }

    // Finalises and initialises again where this is the only holder and the
    // initialisation was ours.
    CK_RV restart(CK_FUNCTION_LIST *fn, bool &restarted)
    {
        std::lock_guard<std::mutex> guard(lock_);
        restarted = false;
        for (auto &held : held_) {
            if (held.second.fn != fn || held.second.count != 1 || !held.second.ours)
                continue;
            CK_RV rv = fn->C_Finalize(nullptr);
            if (rv == CKR_OK) {
                CK_C_INITIALIZE_ARGS args{};
                args.flags = CKF_OS_LOCKING_OK;
                rv = fn->C_Initialize(&args);
            }
            // Not initialised now: nobody finalises it again.
            held.second.ours = rv == CKR_OK;
            restarted = rv == CKR_OK;
            return rv;
        }
        return CKR_OK;
    }

private:
    struct Holders {
        CK_FUNCTION_LIST *fn;
        int count;
        bool ours;
    };
    std::mutex lock_;
    std::map<HMODULE, Holders> held_;
};

Initialised &initialised()
{
    // Never destroyed: a context still open at exit must not touch a dead map.
    static Initialised *const table = new Initialised;
    return *table;
}

} // namespace

struct ModuleSet::Loaded {
    std::vector<HMODULE> dlls;
    ~Loaded()
    {
        for (auto it = dlls.rbegin(); it != dlls.rend(); ++it) {
            initialised().release(*it);
            FreeLibrary(*it);
        }
    }
};

ModuleSet::ModuleSet() : loaded_(std::make_unique<Loaded>()) {}
ModuleSet::~ModuleSet() = default;

bool ModuleSet::load()
{
    std::vector<std::wstring> paths;
    const std::wstring chosen = environmentPath();
    if (!chosen.empty()) {
        paths.push_back(chosen);
    } else {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
            for (std::wstring &path : registryPaths(root))
                paths.push_back(std::move(path));
    }
    for (const std::wstring &path : paths) {
        // Dependencies of a module given by full path are found beside it.
        HMODULE dll = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (!dll) {
            if (!chosen.empty())
                failure_ = utf8(path) + ": " + systemText(GetLastError());
            continue;
        }
        bool again = false;
        for (HMODULE held : loaded_->dlls)
            again = again || held == dll;
        CK_FUNCTION_LIST *fn = again ? nullptr : initialised().acquire(dll);
        if (!fn) {
            if (!chosen.empty() && !again)
                failure_ = utf8(path) + ": no C_GetFunctionList, or C_Initialize refused";
            FreeLibrary(dll);
            continue;
        }
        loaded_->dlls.push_back(dll);
        modules_.push_back({fn, moduleIdentity(dll)});
    }
    // A chosen module that does not load is a failure, not a fallback.
    return !modules_.empty();
}

CK_RV ModuleSet::restart(CK_FUNCTION_LIST *fn, bool &restarted)
{
    return initialised().restart(fn, restarted);
}

std::string describeRv(CK_RV)
{
    return std::string(); // no p11-kit here: the value alone is shown
}
