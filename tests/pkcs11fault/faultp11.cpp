// A pass-through PKCS#11 module for the tests: forwards every call to the
// module named by KCC_FAULT_TARGET, except one. KCC_FAULT_CALL names the
// function ("C_DestroyObject"), KCC_FAULT_AT which of its calls (1 for the
// first, 0 for every one), and KCC_FAULT_RV what it does instead: a CK_RV in
// hex, or "ignore" to answer CKR_OK without doing anything, as a token that
// pretends. Tokens that keep what they were told to lose:
// - "cached" (C_DestroyObject): answers OK, keeps the object and hides it
//   from this process's searches until the module is finalised;
// - "copy-label" (C_DestroyObject): first copies the object under another
//   label, then destroys it;
// - "copy-application" (C_SetAttributeValue): before the first write, copies
//   the object's value under another application.
// With KCC_FAULT_AFTER=deletion only calls after the container's deletion
// count (a destroy that left no object of its application). With
// KCC_FAULT_LOG set, every value written (in place or into a new object) is
// read back from the token right after and appended to that file as a line
// "set HEX" or "create HEX". kcc_fault_reset() forgets what happened so far.
#include "p11forward.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

const char kContainerApplication[] = "Kestrik key container";
const char kKeptLabel[] = "Kestrik kept copy";

std::atomic<unsigned long> seen{0};
std::atomic<bool> deletionSeen{false};
std::mutex lock;
std::set<CK_OBJECT_HANDLE> hidden; // guarded by lock
bool copyMade = false;             // guarded by lock

void reset()
{
    seen = 0;
    deletionSeen = false;
    const std::lock_guard<std::mutex> guard(lock);
    hidden.clear();
    copyMade = false;
}

enum class Mode { None, Fail, Ignore, Cached, CopyLabel, CopyApplication };

// Whether this call of name is the chosen one, and what it does then.
Mode chosen(const char *name, CK_RV &rv)
{
    const char *call = std::getenv("KCC_FAULT_CALL");
    if (!call || std::strcmp(call, name) != 0)
        return Mode::None;
    const char *after = std::getenv("KCC_FAULT_AFTER");
    if (after && std::strcmp(after, "deletion") == 0 && !deletionSeen)
        return Mode::None;
    const char *at = std::getenv("KCC_FAULT_AT");
    const unsigned long which = at ? std::strtoul(at, nullptr, 10) : 1;
    const unsigned long n = ++seen;
    if (which != 0 && n != which)
        return Mode::None;
    const std::string value = std::getenv("KCC_FAULT_RV") ? std::getenv("KCC_FAULT_RV") : "";
    rv = CKR_OK;
    if (value == "ignore")
        return Mode::Ignore;
    if (value == "cached")
        return Mode::Cached;
    if (value == "copy-label")
        return Mode::CopyLabel;
    if (value == "copy-application")
        return Mode::CopyApplication;
    rv = CK_RV(std::strtoul(value.c_str(), nullptr, 16));
    return Mode::Fail;
}

struct Fault {
    static bool intercept(const char *name, CK_RV &rv)
    {
        // These are decided by their own wrappers below.
        if (std::strcmp(name, "C_DestroyObject") == 0 || std::strcmp(name, "C_SetAttributeValue") == 0
            || std::strcmp(name, "C_FindObjects") == 0)
            return false;
        const Mode mode = chosen(name, rv);
        return mode == Mode::Fail || mode == Mode::Ignore;
    }
};

CK_C_CreateObject forwardCreate = nullptr;

bool writesValue(CK_ATTRIBUTE_PTR templ, CK_ULONG count)
{
    for (CK_ULONG i = 0; i < count; ++i)
        if (templ[i].type == CKA_VALUE)
            return true;
    return false;
}

std::vector<unsigned char> valueOf(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type)
{
    CK_ATTRIBUTE attr{type, nullptr, 0};
    std::vector<unsigned char> value;
    if (p11forward::target->C_GetAttributeValue(session, object, &attr, 1) == CKR_OK
        && attr.ulValueLen != CK_UNAVAILABLE_INFORMATION) {
        value.resize(attr.ulValueLen);
        attr.pValue = value.data();
        if (p11forward::target->C_GetAttributeValue(session, object, &attr, 1) != CKR_OK)
            value.clear();
    }
    return value;
}

// What the token holds now, read past this module.
void logValue(const char *what, CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object)
{
    const char *path = std::getenv("KCC_FAULT_LOG");
    if (!path)
        return;
    const std::vector<unsigned char> value = valueOf(session, object, CKA_VALUE);
    if (FILE *log = std::fopen(path, "a")) {
        std::fprintf(log, "%s ", what);
        for (unsigned char b : value)
            std::fprintf(log, "%02x", b);
        std::fprintf(log, "\n");
        std::fclose(log);
    }
}

// A data object holding object's value, under the label and application given
// (the object's own where null), made past this module.
void keepCopy(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, const char *label, const char *application)
{
    std::vector<unsigned char> value = valueOf(session, object, CKA_VALUE);
    std::vector<unsigned char> ownLabel = valueOf(session, object, CKA_LABEL);
    std::vector<unsigned char> ownApplication = valueOf(session, object, CKA_APPLICATION);
    std::vector<unsigned char> isPrivate = valueOf(session, object, CKA_PRIVATE);
    CK_OBJECT_CLASS dataClass = CKO_DATA;
    CK_BBOOL yes = CK_TRUE;
    CK_BBOOL priv = isPrivate.empty() ? CK_FALSE : isPrivate[0];
    std::vector<CK_ATTRIBUTE> templ{{CKA_CLASS, &dataClass, sizeof dataClass},
                                    {CKA_TOKEN, &yes, sizeof yes},
                                    {CKA_PRIVATE, &priv, sizeof priv},
                                    {CKA_VALUE, value.data(), CK_ULONG(value.size())}};
    if (label)
        templ.push_back({CKA_LABEL, const_cast<char *>(label), CK_ULONG(std::strlen(label))});
    else if (!ownLabel.empty())
        templ.push_back({CKA_LABEL, ownLabel.data(), CK_ULONG(ownLabel.size())});
    if (application)
        templ.push_back({CKA_APPLICATION, const_cast<char *>(application), CK_ULONG(std::strlen(application))});
    else if (!ownApplication.empty())
        templ.push_back({CKA_APPLICATION, ownApplication.data(), CK_ULONG(ownApplication.size())});
    CK_OBJECT_HANDLE copy = CK_INVALID_HANDLE;
    p11forward::target->C_CreateObject(session, templ.data(), CK_ULONG(templ.size()), &copy);
}

// Whether the session still sees an object of the container's application.
bool containerVisible(CK_SESSION_HANDLE session)
{
    CK_OBJECT_CLASS dataClass = CKO_DATA;
    CK_ATTRIBUTE templ[] = {{CKA_CLASS, &dataClass, sizeof dataClass},
                            {CKA_APPLICATION, const_cast<char *>(kContainerApplication),
                             CK_ULONG(sizeof kContainerApplication - 1)}};
    CK_OBJECT_HANDLE found = CK_INVALID_HANDLE;
    CK_ULONG n = 0;
    if (p11forward::target->C_FindObjectsInit(session, templ, 2) != CKR_OK)
        return true;
    const CK_RV rv = p11forward::target->C_FindObjects(session, &found, 1, &n);
    p11forward::target->C_FindObjectsFinal(session);
    return rv != CKR_OK || n != 0;
}

CK_RV faultDestroy(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object)
{
    CK_RV rv = CKR_OK;
    switch (chosen("C_DestroyObject", rv)) {
    case Mode::Fail:
        return rv;
    case Mode::Ignore:
        return CKR_OK;
    case Mode::Cached: {
        const std::lock_guard<std::mutex> guard(lock);
        hidden.insert(object);
        return CKR_OK;
    }
    case Mode::CopyLabel:
        keepCopy(session, object, kKeptLabel, nullptr);
        break;
    default:
        break;
    }
    rv = p11forward::target->C_DestroyObject(session, object);
    if (rv == CKR_OK && !containerVisible(session))
        deletionSeen = true;
    return rv;
}

CK_RV loggedSet(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_PTR templ, CK_ULONG count)
{
    CK_RV rv = CKR_OK;
    switch (chosen("C_SetAttributeValue", rv)) {
    case Mode::Fail:
        return rv;
    case Mode::Ignore:
        return CKR_OK;
    case Mode::CopyApplication: {
        const std::lock_guard<std::mutex> guard(lock);
        if (!copyMade && writesValue(templ, count))
            keepCopy(session, object, nullptr, kKeptLabel);
        copyMade = true;
        break;
    }
    default:
        break;
    }
    rv = p11forward::target->C_SetAttributeValue(session, object, templ, count);
    if (rv == CKR_OK && writesValue(templ, count))
        logValue("set", session, object);
    return rv;
}

CK_RV loggedCreate(CK_SESSION_HANDLE session, CK_ATTRIBUTE_PTR templ, CK_ULONG count, CK_OBJECT_HANDLE_PTR object)
{
    const CK_RV rv = forwardCreate(session, templ, count, object);
    if (rv == CKR_OK && object && writesValue(templ, count))
        logValue("create", session, *object);
    return rv;
}

// The objects a cached view still shows as gone are left out of every search.
CK_RV cachedFind(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE_PTR objects, CK_ULONG max, CK_ULONG_PTR count)
{
    CK_RV fault = CKR_OK;
    const Mode mode = chosen("C_FindObjects", fault);
    if (mode == Mode::Fail || mode == Mode::Ignore) {
        if (count)
            *count = 0;
        return fault;
    }
    for (;;) {
        const CK_RV rv = p11forward::target->C_FindObjects(session, objects, max, count);
        if (rv != CKR_OK || !count || !objects || *count == 0)
            return rv;
        const std::lock_guard<std::mutex> guard(lock);
        const CK_ULONG found = *count;
        CK_ULONG kept = 0;
        for (CK_ULONG i = 0; i < found; ++i)
            if (!hidden.count(objects[i]))
                objects[kept++] = objects[i];
        *count = kept;
        if (kept > 0)
            return CKR_OK;
    }
}

// The cache lives as long as the module's initialisation.
CK_RV cachedFinalize(CK_VOID_PTR reserved)
{
    {
        const std::lock_guard<std::mutex> guard(lock);
        hidden.clear();
    }
    return p11forward::target->C_Finalize(reserved);
}

// At each load: the counting starts again from the first call, and the
// functions that fail, log or keep take their places once.
void adjust(CK_FUNCTION_LIST &list)
{
    reset();
    if (list.C_SetAttributeValue == loggedSet)
        return;
    forwardCreate = list.C_CreateObject;
    list.C_SetAttributeValue = loggedSet;
    list.C_CreateObject = loggedCreate;
    list.C_DestroyObject = faultDestroy;
    list.C_FindObjects = cachedFind;
    list.C_Finalize = cachedFinalize;
}

} // namespace

KCC_P11_EXPORT CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR out)
{
    return p11forward::handOut<Fault>(out, "KCC_FAULT_TARGET", C_GetFunctionList, adjust);
}

// For a process that keeps the module loaded from one case to the next.
KCC_P11_EXPORT void kcc_fault_reset()
{
    reset();
}
