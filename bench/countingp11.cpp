// A pass-through PKCS#11 module for the benchmark: forwards every call to the
// module named by KCC_COUNT_TARGET and counts the calls, so the program's
// sequence and a hand-written one can be compared on the same token.
#include "p11forward.h"

#include <atomic>

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

KCC_P11_EXPORT CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR out)
{
    return p11forward::handOut<Count>(out, "KCC_COUNT_TARGET", C_GetFunctionList);
}

// Calls forwarded since the module was loaded.
KCC_P11_EXPORT unsigned long kcc_counted_calls()
{
    return calls.load();
}
