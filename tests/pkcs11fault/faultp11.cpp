// A pass-through PKCS#11 module for the tests: forwards every call to the
// module named by KCC_FAULT_TARGET, except one. KCC_FAULT_CALL names the
// function ("C_DestroyObject"), KCC_FAULT_AT which of its calls (1 for the
// first, 0 for every one), and KCC_FAULT_RV what it returns instead: a CK_RV
// in hex, or "ignore" to answer CKR_OK without doing anything, as a token
// that pretends. With KCC_FAULT_LOG set, every value written (in place or
// into a new object) is read back from the token right after and appended
// to that file as a line "set HEX" or "create HEX".
#include "p11forward.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::atomic<unsigned long> seen{0};

struct Fault {
    static bool intercept(const char *name, CK_RV &rv)
    {
        const char *call = std::getenv("KCC_FAULT_CALL");
        if (!call || std::strcmp(call, name) != 0)
            return false;
        const char *at = std::getenv("KCC_FAULT_AT");
        const unsigned long which = at ? std::strtoul(at, nullptr, 10) : 1;
        const unsigned long n = ++seen;
        if (which != 0 && n != which)
            return false;
        const char *value = std::getenv("KCC_FAULT_RV");
        rv = value && std::strcmp(value, "ignore") != 0 ? CK_RV(std::strtoul(value, nullptr, 16)) : CKR_OK;
        return true;
    }
};

CK_C_SetAttributeValue forwardSet = nullptr;
CK_C_CreateObject forwardCreate = nullptr;

bool writesValue(CK_ATTRIBUTE_PTR templ, CK_ULONG count)
{
    for (CK_ULONG i = 0; i < count; ++i)
        if (templ[i].type == CKA_VALUE)
            return true;
    return false;
}

// What the token holds now, read past this module.
void logValue(const char *what, CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object)
{
    const char *path = std::getenv("KCC_FAULT_LOG");
    if (!path)
        return;
    CK_ATTRIBUTE attr{CKA_VALUE, nullptr, 0};
    std::vector<unsigned char> value;
    if (p11forward::target->C_GetAttributeValue(session, object, &attr, 1) == CKR_OK) {
        value.resize(attr.ulValueLen);
        attr.pValue = value.data();
        if (p11forward::target->C_GetAttributeValue(session, object, &attr, 1) != CKR_OK)
            value.clear();
    }
    if (FILE *log = std::fopen(path, "a")) {
        std::fprintf(log, "%s ", what);
        for (unsigned char b : value)
            std::fprintf(log, "%02x", b);
        std::fprintf(log, "\n");
        std::fclose(log);
    }
}

CK_RV loggedSet(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_PTR templ, CK_ULONG count)
{
    const CK_RV rv = forwardSet(session, object, templ, count);
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

} // namespace

extern "C" {

__attribute__((visibility("default"))) CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR out)
{
    if (!out)
        return CKR_ARGUMENTS_BAD;
    if (!p11forward::loadTarget("KCC_FAULT_TARGET"))
        return CKR_GENERAL_ERROR;
    seen = 0; // a fresh load counts from the first call again
    p11forward::getFunctionList = C_GetFunctionList;
    CK_FUNCTION_LIST *list = p11forward::forwardingList<Fault>();
    if (list->C_SetAttributeValue != loggedSet) {
        forwardSet = list->C_SetAttributeValue;
        forwardCreate = list->C_CreateObject;
        list->C_SetAttributeValue = loggedSet;
        list->C_CreateObject = loggedCreate;
    }
    *out = list;
    return CKR_OK;
}

} // extern "C"
