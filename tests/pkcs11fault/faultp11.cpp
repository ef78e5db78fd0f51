// A pass-through PKCS#11 module for the tests: forwards every call to the
// module named by KCC_FAULT_TARGET, except one. KCC_FAULT_CALL names the
// function ("C_DestroyObject"), KCC_FAULT_AT which of its calls (1 for the
// first, 0 for every one), and KCC_FAULT_RV what it returns instead: a CK_RV
// in hex, or "ignore" to answer CKR_OK without doing anything, as a token
// that pretends.
#include <p11-kit/pkcs11.h>

#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

CK_FUNCTION_LIST *target = nullptr;
std::atomic<unsigned long> seen{0};

// What this call should do instead of being forwarded: false to forward.
bool injected(const char *name, CK_RV &rv)
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

template <typename Fn, Fn CK_FUNCTION_LIST::*member>
struct Forward;

template <typename... Args, CK_RV (*CK_FUNCTION_LIST::*member)(Args...)>
struct Forward<CK_RV (*)(Args...), member> {
    static const char *name;
    static CK_RV call(Args... args)
    {
        CK_RV rv = CKR_OK;
        if (injected(name, rv))
            return rv;
        return (target->*member)(args...);
    }
};

template <typename... Args, CK_RV (*CK_FUNCTION_LIST::*member)(Args...)>
const char *Forward<CK_RV (*)(Args...), member>::name = "";

#define KCC_FORWARD(fn)                                                                      \
    Forward<decltype(CK_FUNCTION_LIST::fn), &CK_FUNCTION_LIST::fn>::name = #fn;              \
    list.fn = &Forward<decltype(CK_FUNCTION_LIST::fn), &CK_FUNCTION_LIST::fn>::call;

CK_FUNCTION_LIST *forwardingList()
{
    static CK_FUNCTION_LIST list = [] {
        CK_FUNCTION_LIST list{};
        list.version = {2, 40};
        list.C_GetFunctionList = C_GetFunctionList;
        KCC_FORWARD(C_Initialize)
        KCC_FORWARD(C_Finalize)
        KCC_FORWARD(C_GetInfo)
        KCC_FORWARD(C_GetSlotList)
        KCC_FORWARD(C_GetSlotInfo)
        KCC_FORWARD(C_GetTokenInfo)
        KCC_FORWARD(C_GetMechanismList)
        KCC_FORWARD(C_GetMechanismInfo)
        KCC_FORWARD(C_InitToken)
        KCC_FORWARD(C_InitPIN)
        KCC_FORWARD(C_SetPIN)
        KCC_FORWARD(C_OpenSession)
        KCC_FORWARD(C_CloseSession)
        KCC_FORWARD(C_CloseAllSessions)
        KCC_FORWARD(C_GetSessionInfo)
        KCC_FORWARD(C_GetOperationState)
        KCC_FORWARD(C_SetOperationState)
        KCC_FORWARD(C_Login)
        KCC_FORWARD(C_Logout)
        KCC_FORWARD(C_CreateObject)
        KCC_FORWARD(C_CopyObject)
        KCC_FORWARD(C_DestroyObject)
        KCC_FORWARD(C_GetObjectSize)
        KCC_FORWARD(C_GetAttributeValue)
        KCC_FORWARD(C_SetAttributeValue)
        KCC_FORWARD(C_FindObjectsInit)
        KCC_FORWARD(C_FindObjects)
        KCC_FORWARD(C_FindObjectsFinal)
        KCC_FORWARD(C_EncryptInit)
        KCC_FORWARD(C_Encrypt)
        KCC_FORWARD(C_EncryptUpdate)
        KCC_FORWARD(C_EncryptFinal)
        KCC_FORWARD(C_DecryptInit)
        KCC_FORWARD(C_Decrypt)
        KCC_FORWARD(C_DecryptUpdate)
        KCC_FORWARD(C_DecryptFinal)
        KCC_FORWARD(C_DigestInit)
        KCC_FORWARD(C_Digest)
        KCC_FORWARD(C_DigestUpdate)
        KCC_FORWARD(C_DigestKey)
        KCC_FORWARD(C_DigestFinal)
        KCC_FORWARD(C_SignInit)
        KCC_FORWARD(C_Sign)
        KCC_FORWARD(C_SignUpdate)
        KCC_FORWARD(C_SignFinal)
        KCC_FORWARD(C_SignRecoverInit)
        KCC_FORWARD(C_SignRecover)
        KCC_FORWARD(C_VerifyInit)
        KCC_FORWARD(C_Verify)
        KCC_FORWARD(C_VerifyUpdate)
        KCC_FORWARD(C_VerifyFinal)
        KCC_FORWARD(C_VerifyRecoverInit)
        KCC_FORWARD(C_VerifyRecover)
        KCC_FORWARD(C_DigestEncryptUpdate)
        KCC_FORWARD(C_DecryptDigestUpdate)
        KCC_FORWARD(C_SignEncryptUpdate)
        KCC_FORWARD(C_DecryptVerifyUpdate)
        KCC_FORWARD(C_GenerateKey)
        KCC_FORWARD(C_GenerateKeyPair)
        KCC_FORWARD(C_WrapKey)
        KCC_FORWARD(C_UnwrapKey)
        KCC_FORWARD(C_DeriveKey)
        KCC_FORWARD(C_SeedRandom)
        KCC_FORWARD(C_GenerateRandom)
        KCC_FORWARD(C_GetFunctionStatus)
        KCC_FORWARD(C_CancelFunction)
        KCC_FORWARD(C_WaitForSlotEvent)
        return list;
    }();
    return &list;
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR out)
{
    if (!out)
        return CKR_ARGUMENTS_BAD;
    if (!target) {
        const char *path = std::getenv("KCC_FAULT_TARGET");
        void *module = path ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
        auto get = module ? reinterpret_cast<CK_C_GetFunctionList>(dlsym(module, "C_GetFunctionList")) : nullptr;
        if (!get || get(&target) != CKR_OK || !target)
            return CKR_GENERAL_ERROR;
    }
    seen = 0; // a fresh load counts from the first call again
    *out = forwardingList();
    return CKR_OK;
}

} // extern "C"
