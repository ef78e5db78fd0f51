// A pass-through PKCS#11 module for the benchmark: forwards every call to the
// module named by KCC_COUNT_TARGET and counts the calls, so the program's
// sequence and a hand-written one can be compared on the same token.
#include "p11forward.h"

#include <atomic>
#include <cstdlib>

namespace {

std::atomic<unsigned long> calls{0};

struct Count {
    static bool intercept(const char *, CK_RV &)
    {
        ++calls;
        return false;
    }
};

} // namespace

extern "C" {

__attribute__((visibility("default"))) CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR out)
{
    if (!out)
        return CKR_ARGUMENTS_BAD;
    if (!p11forward::loadTarget("KCC_COUNT_TARGET"))
        return CKR_GENERAL_ERROR;
    p11forward::getFunctionList = C_GetFunctionList;
    *out = p11forward::forwardingList<Count>();
    return CKR_OK;
}

// Calls forwarded since the module was loaded.
__attribute__((visibility("default"))) unsigned long kcc_counted_calls()
{
    return calls.load();
}

} // extern "C"
