// A pass-through PKCS#11 module for the tests: forwards every call to the
// module named by KCC_FAULT_TARGET, except one. KCC_FAULT_CALL names the
// function ("C_DestroyObject"), KCC_FAULT_AT which of its calls (1 for the
// first, 0 for every one), and KCC_FAULT_RV what it returns instead: a CK_RV
// in hex, or "ignore" to answer CKR_OK without doing anything, as a token
// that pretends.
#include "p11forward.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

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
    *out = p11forward::forwardingList<Fault>();
    return CKR_OK;
}

} // extern "C"
