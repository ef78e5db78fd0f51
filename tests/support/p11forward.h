#ifndef P11FORWARD_H
#define P11FORWARD_H

// A pass-through PKCS#11 function list for the modules of the tests and the
// benchmark: every function asks Hook::intercept(name, rv) first and is
// forwarded to target unless it answered true, with rv as the result.

#include <p11-kit/pkcs11.h>

#include <dlfcn.h>

#include <cstdlib>
#include <string>

namespace p11forward {

inline CK_FUNCTION_LIST *target = nullptr;
inline CK_C_GetFunctionList getFunctionList = nullptr; // the module's own C_GetFunctionList

template <typename Hook, typename Fn, Fn CK_FUNCTION_LIST::*member>
struct Forward;

template <typename Hook, typename... Args, CK_RV (*CK_FUNCTION_LIST::*member)(Args...)>
struct Forward<Hook, CK_RV (*)(Args...), member> {
    static inline const char *name = "";
    static CK_RV call(Args... args)
    {
        CK_RV rv = CKR_OK;
        if (Hook::intercept(name, rv))
            return rv;
        return (target->*member)(args...);
    }
};

#define KCC_FORWARD(fn)                                                                            \
    Forward<Hook, decltype(CK_FUNCTION_LIST::fn), &CK_FUNCTION_LIST::fn>::name = #fn;              \
    list.fn = &Forward<Hook, decltype(CK_FUNCTION_LIST::fn), &CK_FUNCTION_LIST::fn>::call;

template <typename Hook>
CK_FUNCTION_LIST *forwardingList()
{
    static CK_FUNCTION_LIST list = [] {
        CK_FUNCTION_LIST list{};
        list.version = {2, 40};
        list.C_GetFunctionList = getFunctionList;
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

#undef KCC_FORWARD

// The real module behind the one named by the environment variable; false
// when it cannot be loaded. This module is never unloaded (its inline
// variables are unique symbols), so a process that names another target
// later, as the tests do between implementations, gets that one.
inline bool loadTarget(const char *variable)
{
    static std::string loadedPath;
    static void *loaded = nullptr;
    const char *path = std::getenv(variable);
    if (target && path && loadedPath == path)
        return true;
    if (loaded)
        dlclose(loaded);
    target = nullptr;
    loaded = path ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
    loadedPath = path ? path : "";
    auto get = loaded ? reinterpret_cast<CK_C_GetFunctionList>(dlsym(loaded, "C_GetFunctionList")) : nullptr;
    return get && get(&target) == CKR_OK && target;
}

// The C_GetFunctionList of a pass-through module: the real module named by
// `variable` behind Hook's list. `self` is the module's own C_GetFunctionList;
// `adjust`, when given, is run on the list at each load (to reset what the
// module counted, or to put its own functions in).
template <typename Hook>
CK_RV handOut(CK_FUNCTION_LIST_PTR_PTR out, const char *variable, CK_C_GetFunctionList self,
              void (*adjust)(CK_FUNCTION_LIST &list) = nullptr)
{
    if (!out)
        return CKR_ARGUMENTS_BAD;
    if (!loadTarget(variable))
        return CKR_GENERAL_ERROR;
    getFunctionList = self;
    CK_FUNCTION_LIST *list = forwardingList<Hook>();
    if (adjust)
        adjust(*list);
    *out = list;
    return CKR_OK;
}

} // namespace p11forward

// What a pass-through module exports: its own symbols stay hidden.
#define KCC_P11_EXPORT extern "C" __attribute__((visibility("default")))

#endif // P11FORWARD_H
