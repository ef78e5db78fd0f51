// Device wipes of a 4 KiB key container on a throwaway SoftHSM2 token. Most of
// a device pass is the token's own work (the write and the fresh log-in that
// the schedule requires between passes), so the figures that say something
// about the executor and the library are their time and PKCS#11 call count
// against the bare sequence: raw PKCS#11 through p11-kit, the same steps
// (find, read the attributes, try in place, replace, fresh log-in between
// passes, delete) written by hand, with a buffer filled in advance. Both run
// through a pass-through module that counts the calls.

#include "bench.h"

#include <cstdio>

#ifdef KCC_BENCH_DEVICE

#include "tokenwipe.h"
#include "tokenstore.h"
#include "velmux.h"

#include <QByteArray>
#include <p11-kit/p11-kit.h>
#include <p11-kit/pkcs11.h>

#include <dlfcn.h>
#include <vector>

namespace bench {

namespace {

const char *const names[] = {"Gost",  "DoD",   "HmgBaseline", "HmgEnhanced",
                             "Rcmp",  "Ar380", "Vsitr",       "Schneier"};
const QString tokenLabel = QStringLiteral("bench");
constexpr uint32_t softwareToken = 6;

bool findRecord(MediaRecord *found)
{
    velmux_ctx ctx = 0;
    if (VELMUX_FAILED(velmux_create_ctx(&ctx, softwareToken)))
        return false;
    std::vector<MediaRecord> records(VELMUX_MEDIA_LIST_CAPACITY);
    uint32_t count = VELMUX_MEDIA_LIST_CAPACITY;
    bool ok = false;
    if (VELMUX_SUCCEEDED(velmux_get_media_list(ctx, records.data(), &count))) {
        for (uint32_t i = 0; i < count && !ok; ++i) {
            MediaInfo info{};
            info.size = sizeof info;
            if (VELMUX_SUCCEEDED(velmux_get_media_info(ctx, &records[i], &info))
                && QString::fromUtf8(info.name) == tokenLabel) {
                *found = records[i];
                ok = true;
            }
        }
    }
    velmux_destroy_ctx(ctx);
    return ok;
}

// Held open for the whole run, so the count survives each wipe's unloading.
unsigned long countedCalls()
{
    static void *const module = dlopen(KCC_COUNTING_MODULE, RTLD_NOW);
    static const auto counted
        = module ? reinterpret_cast<unsigned long (*)()>(dlsym(module, "kcc_counted_calls")) : nullptr;
    return counted ? counted() : 0;
}

// Whether a search of this template finds anything: init, one batch, final.
bool findsAny(CK_FUNCTION_LIST *fn, CK_SESSION_HANDLE session, CK_ATTRIBUTE *templ, CK_ULONG count)
{
    CK_OBJECT_HANDLE found = CK_INVALID_HANDLE;
    CK_ULONG n = 0;
    fn->C_FindObjectsInit(session, templ, count);
    fn->C_FindObjects(session, &found, 1, &n);
    fn->C_FindObjectsFinal(session);
    return n != 0;
}

// The container's handle in this session: every object found, until none is left.
CK_OBJECT_HANDLE findContainer(CK_FUNCTION_LIST *fn, CK_SESSION_HANDLE session)
{
    CK_OBJECT_CLASS dataClass = CKO_DATA;
    char application[] = VELMUX_CONTAINER_APPLICATION;
    CK_ATTRIBUTE templ[] = {{CKA_CLASS, &dataClass, sizeof dataClass},
                            {CKA_APPLICATION, application, sizeof application - 1}};
    CK_OBJECT_HANDLE found = CK_INVALID_HANDLE, batch[16];
    CK_ULONG n = 0;
    fn->C_FindObjectsInit(session, templ, 2);
    while (fn->C_FindObjects(session, batch, 16, &n) == CKR_OK && n > 0)
        found = batch[0];
    fn->C_FindObjectsFinal(session);
    return found;
}

// By hand: what a wipe of passes writes needs on a token that replaces, with
// the same proofs: each write read back; after the deletion the module
// started afresh, a fresh session logged in, searched by the application, the
// original value and each written value.
bool bareSequence(const MediaRecord &media, int passes, bool extraReopen)
{
    CK_FUNCTION_LIST *fn = p11_kit_module_load(KCC_COUNTING_MODULE, 0);
    if (!fn || p11_kit_module_initialize(fn) != CKR_OK)
        return false;
    QByteArray pin = TokenStore::defaultPin().toUtf8();
    const CK_SLOT_ID slot = media.slotId;
    CK_TOKEN_INFO token{};
    bool ok = fn->C_GetTokenInfo(slot, &token) == CKR_OK;
    CK_SESSION_HANDLE session = CK_INVALID_HANDLE;
    auto open = [&](CK_FLAGS flags) {
        fn->C_OpenSession(slot, flags, nullptr, nullptr, &session);
        fn->C_Login(session, CKU_USER, reinterpret_cast<CK_UTF8CHAR *>(pin.data()), CK_ULONG(pin.size()));
    };
    open(CKF_SERIAL_SESSION | CKF_RW_SESSION);
    CK_OBJECT_HANDLE container = findContainer(fn, session);
    CK_BBOOL isToken = CK_TRUE, isPrivate = CK_TRUE, modifiable = CK_TRUE;
    CK_OBJECT_CLASS dataClass = CKO_DATA;
    char application[sizeof VELMUX_CONTAINER_APPLICATION] = {};
    CK_ATTRIBUTE read[] = {{CKA_VALUE, nullptr, 0}, {CKA_TOKEN, &isToken, 1}, {CKA_PRIVATE, &isPrivate, 1},
                           {CKA_MODIFIABLE, &modifiable, 1}, {CKA_APPLICATION, application, sizeof application - 1}};
    fn->C_GetAttributeValue(session, container, read, 1); // the length
    std::vector<unsigned char> original(read[0].ulValueLen);
    read[0].pValue = original.data();
    fn->C_GetAttributeValue(session, container, read, 5); // the original value with the rest
    std::vector<unsigned char> buffer(original.size(), 0x5A), back(original.size());
    char label[] = VELMUX_COPY_LABEL;
    CK_ATTRIBUTE copy[] = {{CKA_CLASS, &dataClass, sizeof dataClass}, read[1], read[2], read[3], read[4],
                           {CKA_LABEL, label, sizeof label - 1}, {CKA_VALUE, buffer.data(), buffer.size()}};
    auto reopen = [&] {
        fn->C_CloseSession(session);
        open(CKF_SERIAL_SESSION | CKF_RW_SESSION);
        container = findContainer(fn, session);
    };
    for (int i = 0; i < passes; ++i) {
        CK_ATTRIBUTE value = {CKA_VALUE, buffer.data(), buffer.size()};
        // Asked once; the answer holds for the token.
        if (i > 0 || fn->C_SetAttributeValue(session, container, &value, 1) != CKR_OK) {
            CK_OBJECT_HANDLE replacement = CK_INVALID_HANDLE;
            ok = fn->C_CreateObject(session, copy, 7, &replacement) == CKR_OK
                && fn->C_DestroyObject(session, container) == CKR_OK && ok;
            container = replacement;
        }
        CK_ATTRIBUTE readBack = {CKA_VALUE, back.data(), back.size()};
        ok = fn->C_GetAttributeValue(session, container, &readBack, 1) == CKR_OK && back == buffer && ok;
        if (i + 1 < passes || extraReopen)
            reopen();
    }
    reopen();
    ok = fn->C_DestroyObject(session, container) == CKR_OK && ok;
    fn->C_CloseSession(session);
    p11_kit_module_finalize(fn);
    p11_kit_module_initialize(fn);
    open(CKF_SERIAL_SESSION);
    CK_ATTRIBUTE byApplication[] = {{CKA_CLASS, &dataClass, sizeof dataClass}, read[4]};
    CK_ATTRIBUTE byValue[] = {{CKA_CLASS, &dataClass, sizeof dataClass}, {CKA_VALUE, original.data(), original.size()}};
    ok = !findsAny(fn, session, byValue, 2) && !findsAny(fn, session, byApplication, 2) && ok;
    // One value stands for every pass: the program searches each distinct one.
    byValue[1].pValue = buffer.data();
    for (int i = 0; i < passes; ++i)
        ok = !findsAny(fn, session, byValue, 2) && ok;
    fn->C_CloseSession(session);
    p11_kit_module_finalize(fn);
    p11_kit_module_release(fn);
    return ok;
}

} // namespace

bool runDeviceBench(int repetitions)
{
    const QString reason = TokenStore::unavailableReason();
    if (!reason.isEmpty()) {
        std::printf("\nDevice wipe: skipped, %s\n", qPrintable(reason));
        return false;
    }
    TokenStore token;
    MediaRecord media{};
    // Both sides reach SoftHSM2 through the counting module.
    qputenv("KCC_COUNT_TARGET", qgetenv("VELMUX_PKCS11_MODULE"));
    qputenv("VELMUX_PKCS11_MODULE", KCC_COUNTING_MODULE);
    countedCalls();
    if (!token.isValid() || !token.initToken(tokenLabel) || !findRecord(&media)) {
        std::printf("\nDevice wipe: skipped, no token: %s\n", qPrintable(token.errorString()));
        return false;
    }
    const QByteArray container(4096, char(0xA5));

    std::printf("\nDevice wipe, 4 KiB container on a SoftHSM2 token, median of %d\n", repetitions);
    std::printf("(bare = raw PKCS#11 through p11-kit, written by hand, buffer filled in advance;\n"
                " pass = write + fresh log-in; calls = PKCS#11 calls counted by a pass-through module)\n");
    std::printf("%-12s %6s %12s %12s %11s %10s %10s %10s %11s\n", "algorithm", "passes", "kcc ms", "bare ms",
                "kcc ms/pass", "kcc/bare", "kcc calls", "bare calls", "calls ratio");
    for (int a = 0; a < 8; ++a) {
        const WipeAlgorithm algorithm = WipeAlgorithm(a);
        const int passes = wipeSchedule(algorithm).size();
        QVector<double> kcc, bare;
        unsigned long kccCalls = 0, bareCalls = 0;
        for (int r = 0; r < repetitions; ++r) {
            if (!token.writeContainer(tokenLabel, container, true)) {
                std::printf("cannot write a container: %s\n", qPrintable(token.errorString()));
                return false;
            }
            unsigned long before = countedCalls();
            Clock::time_point start = Clock::now();
            const TokenWipeStatus status
                = overwriteTokenContainer(passPlan(algorithm), &media, TokenStore::defaultPin()).status;
            kcc << secondsSince(start);
            kccCalls = countedCalls() - before;
            if (status != TokenWipeStatus::Wiped) {
                std::printf("device wipe failed with status %d\n", int(status));
                return false;
            }
            if (!token.writeContainer(tokenLabel, container, true))
                return false;
            before = countedCalls();
            start = Clock::now();
            if (!bareSequence(media, passes, algorithm == Schneier)) {
                std::printf("bare PKCS#11 sequence failed\n");
                return false;
            }
            bare << secondsSince(start);
            bareCalls = countedCalls() - before;
        }
        const double k = median(kcc), b = median(bare);
        std::printf("%-12s %6d %12.2f %12.2f %11.2f %10.2f %10lu %10lu %11.3f\n", names[a], passes, k * 1e3,
                    b * 1e3, k * 1e3 / passes, k / b, kccCalls, bareCalls,
                    bareCalls ? double(kccCalls) / double(bareCalls) : 0.0);
        std::fflush(stdout);
    }
    return true;
}

} // namespace bench

#else

namespace bench {

bool runDeviceBench(int)
{
    std::printf("\nDevice wipe: skipped, built without the tests' token helper (BUILD_TESTING off)\n");
    return false;
}

} // namespace bench

#endif
