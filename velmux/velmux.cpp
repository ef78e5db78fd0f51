// velmux: key containers on PKCS#11 tokens, reached through p11-kit.
#include "velmux.h"

#include "pkcs11modules.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#endif

// PKCS#11 3.0; older headers lack it.
#ifndef CKA_UNIQUE_ID
#define CKA_UNIQUE_ID 0x00000004UL
#endif

namespace {

constexpr uint32_t kWriteWhole = 1;

std::vector<CK_SLOT_ID> slotsWithToken(CK_FUNCTION_LIST *fn)
{
    std::vector<CK_SLOT_ID> slots;
    CK_ULONG n = 0;
    CK_RV rv = CKR_BUFFER_TOO_SMALL;
    // A token can arrive between the two calls; then ask again.
    for (int attempt = 0; attempt < 4 && rv == CKR_BUFFER_TOO_SMALL; ++attempt) {
        if (fn->C_GetSlotList(CK_TRUE, nullptr, &n) != CKR_OK)
            return {};
        slots.resize(n);
        rv = n ? fn->C_GetSlotList(CK_TRUE, slots.data(), &n) : CKR_OK;
    }
    slots.resize(rv == CKR_OK ? n : 0);
    return slots;
}

// Never 2: that code is unused, so listing it finds nothing.
uint32_t mediaTypeOf(const CK_SLOT_INFO &slot, const CK_TOKEN_INFO &token)
{
    const bool pinPad = token.flags & CKF_PROTECTED_AUTHENTICATION_PATH;
    if (!(slot.flags & CKF_HW_SLOT))
        return pinPad ? 7 : 6;
    if (slot.flags & CKF_REMOVABLE_DEVICE)
        return pinPad ? 3 : 1;
    return pinPad ? 5 : 4;
}

// Our bytes in MediaRecord::opaque. Host byte order: a record never leaves
// the process that listed it.
#pragma pack(push, 1)
struct RecordBody {
    uint8_t magic[4];
    uint32_t version;
    uint64_t slot;                  // the full CK_SLOT_ID
    CK_UTF8CHAR serial[16];         // as in CK_TOKEN_INFO, blank padded
    CK_UTF8CHAR manufacturer[32];
    CK_UTF8CHAR model[16];
    CK_UTF8CHAR label[32];
    uint64_t moduleHash;            // FNV-1a of the whole module identity
    char moduleName[136];           // its first bytes, NUL padded
};
#pragma pack(pop)
static_assert(sizeof(RecordBody) == sizeof(MediaRecord::opaque), "record body fills the opaque bytes");

constexpr uint8_t kMagic[4] = {'V', 'M', 'X', 'R'};
constexpr uint32_t kVersion = 1;

void setModule(RecordBody &body, const std::string &identity)
{
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : identity)
        h = (h ^ c) * 1099511628211ull;
    body.moduleHash = h;
    std::memset(body.moduleName, 0, sizeof body.moduleName);
    std::memcpy(body.moduleName, identity.data(), std::min(identity.size(), sizeof body.moduleName - 1));
}

void encodeRecord(MediaRecord &rec, uint32_t type, const Module &module, CK_SLOT_ID slot,
                  const CK_TOKEN_INFO &token)
{
    RecordBody body{};
    std::memcpy(body.magic, kMagic, sizeof kMagic);
    body.version = kVersion;
    body.slot = slot;
    std::memcpy(body.serial, token.serialNumber, sizeof body.serial);
    std::memcpy(body.manufacturer, token.manufacturerID, sizeof body.manufacturer);
    std::memcpy(body.model, token.model, sizeof body.model);
    std::memcpy(body.label, token.label, sizeof body.label);
    setModule(body, module.identity);
    rec.slotId = uint32_t(slot);
    rec.mediaType = type;
    std::memcpy(rec.opaque, &body, sizeof body);
}

std::optional<RecordBody> decodeRecord(const MediaRecord &rec)
{
    RecordBody body;
    std::memcpy(&body, rec.opaque, sizeof body);
    if (std::memcmp(body.magic, kMagic, sizeof kMagic) != 0 || body.version != kVersion
        || rec.slotId != uint32_t(body.slot))
        return std::nullopt;
    return body;
}

bool namesModule(const RecordBody &body, const Module &module)
{
    RecordBody expected{};
    setModule(expected, module.identity);
    return body.moduleHash == expected.moduleHash
        && std::memcmp(body.moduleName, expected.moduleName, sizeof body.moduleName) == 0;
}

// The label is left out: relabelling does not make it another token.
bool namesToken(const RecordBody &body, const CK_TOKEN_INFO &token)
{
    return std::memcmp(body.serial, token.serialNumber, sizeof body.serial) == 0
        && std::memcmp(body.manufacturer, token.manufacturerID, sizeof body.manufacturer) == 0
        && std::memcmp(body.model, token.model, sizeof body.model) == 0;
}

// Pages of their own, kept out of swap and core dumps where the system allows
// it and zeroed before they are given back: the PIN and the container's
// original value, for one wipe.
class LockedBytes {
public:
    LockedBytes() = default;
    LockedBytes(const void *bytes, size_t size)
    {
        allocate(size);
        if (size)
            std::memcpy(data_, bytes, size);
    }
    explicit LockedBytes(size_t size) { allocate(size); }
    LockedBytes(const LockedBytes &) = delete;
    LockedBytes &operator=(const LockedBytes &) = delete;
    LockedBytes(LockedBytes &&other) noexcept { take(other); }
    LockedBytes &operator=(LockedBytes &&other) noexcept
    {
        if (this != &other) {
            clear();
            take(other);
        }
        return *this;
    }
    ~LockedBytes() { clear(); }

    void clear()
    {
        if (!data_)
            return;
        volatile unsigned char *p = data_;
        for (size_t i = 0; i < mapped_; ++i)
            p[i] = 0;
#if defined(_WIN32)
        VirtualUnlock(data_, mapped_);
        VirtualFree(data_, 0, MEM_RELEASE);
#else
        munlock(data_, mapped_);
        munmap(data_, mapped_);
#endif
        data_ = nullptr;
        size_ = mapped_ = 0;
    }
    CK_BYTE *data() const { return data_; }
    size_t size() const { return size_; }
    bool held() const { return data_ != nullptr; }

private:
    void allocate(size_t size)
    {
        // Whole pages: unlocking never touches a neighbour's lock.
        mapped_ = (size / 4096 + 1) * 4096;
#if defined(_WIN32)
        data_ = static_cast<CK_BYTE *>(VirtualAlloc(nullptr, mapped_, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        if (!data_)
            throw std::bad_alloc();
        // Best effort: a refused lock must not stop a wipe.
        VirtualLock(data_, mapped_);
#else
        void *p = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            throw std::bad_alloc();
        data_ = static_cast<CK_BYTE *>(p);
        mlock(data_, mapped_); // best effort, as above (RLIMIT_MEMLOCK)
#ifdef MADV_DONTDUMP
        madvise(data_, mapped_, MADV_DONTDUMP);
#endif
#endif
        size_ = size;
    }
    void take(LockedBytes &other)
    {
        data_ = other.data_;
        size_ = other.size_;
        mapped_ = other.mapped_;
        other.data_ = nullptr;
        other.size_ = other.mapped_ = 0;
    }

    CK_BYTE *data_ = nullptr;
    size_t size_ = 0;
    size_t mapped_ = 0;
};

class Session {
public:
    Session(CK_FUNCTION_LIST *fn, CK_SESSION_HANDLE handle, CK_FLAGS tokenFlags)
        : fn_(fn), handle_(handle), tokenFlags_(tokenFlags) {}
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;
    ~Session() { close(); }

    CK_RV close()
    {
        CK_FUNCTION_LIST *fn = fn_;
        fn_ = nullptr;
        return fn ? fn->C_CloseSession(handle_) : CKR_OK;
    }
    CK_FUNCTION_LIST *fn() const { return fn_; }
    CK_SESSION_HANDLE handle() const { return handle_; }
    bool pinPad() const { return tokenFlags_ & CKF_PROTECTED_AUTHENTICATION_PATH; }
    CK_FLAGS tokenFlags() const { return tokenFlags_; }
    void setTokenFlags(CK_FLAGS flags) { tokenFlags_ = flags; }

    // Object handles hold only within their session, so the container's is kept here.
    CK_OBJECT_HANDLE container = CK_INVALID_HANDLE;

private:
    CK_FUNCTION_LIST *fn_;
    CK_SESSION_HANDLE handle_;
    CK_FLAGS tokenFlags_;
};

// The container's attributes a replacing copy repeats, read once per context.
struct CopyTemplate {
    CK_ULONG valueLength = 0;
    std::vector<CK_ATTRIBUTE_TYPE> types;
    std::vector<std::vector<CK_BYTE>> values;
};

struct Located {
    CK_FUNCTION_LIST *fn = nullptr;
    CK_SLOT_ID slot = 0;
    CK_TOKEN_INFO token{};
    RecordBody body{};
};

struct Context {
    explicit Context(uint32_t t) : type(t) {}
    std::mutex lock;
    const uint32_t type;
    ModuleSet modules;                 // declared first: outlives the session
    std::unique_ptr<Session> session;
    // The token the first session was opened on; later opens go straight there.
    std::optional<Located> token;
    std::optional<CopyTemplate> copy;
    bool inPlaceRefused = false;
    uint32_t writeMethods = 0;
    // What the deletion's proof needs, kept from the first read and the
    // writes until the deletion.
    bool writeTried = false;
    LockedBytes original;              // the value before the first write
    std::vector<CK_BYTE> uniqueId;     // CKA_UNIQUE_ID, where the token gives one
    std::vector<std::vector<CK_BYTE>> passes; // each write's value, in order
    LockedBytes pin;                   // of the last log-in
    bool pinPad = false;               // that log-in went through the PIN pad
    std::string containerLabel;
    VelmuxRemnant remnant{};
    void forgetSecrets()
    {
        original.clear();
        pin.clear();
        uniqueId.clear();
        passes.clear();
    }
};

class ContextTable {
public:
    velmux_ctx add(std::shared_ptr<Context> ctx)
    {
        std::lock_guard<std::mutex> guard(lock_);
        while (next_ == 0 || contexts_.count(next_))
            ++next_;
        const velmux_ctx handle = next_++;
        contexts_.emplace(handle, std::move(ctx));
        return handle;
    }
    // The context behind handle, dropped from the table when remove is set.
    std::shared_ptr<Context> find(velmux_ctx handle, bool remove = false)
    {
        std::lock_guard<std::mutex> guard(lock_);
        auto it = contexts_.find(handle);
        if (it == contexts_.end())
            return nullptr;
        std::shared_ptr<Context> ctx = it->second;
        if (remove)
            contexts_.erase(it);
        return ctx;
    }

private:
    std::mutex lock_;
    velmux_ctx next_ = 1;
    std::map<velmux_ctx, std::shared_ptr<Context>> contexts_;
};

ContextTable &contexts()
{
    // Deliberately never destroyed: contexts left open at exit must not call
    // into modules whose own static state may already be gone.
    static ContextTable *const table = new ContextTable;
    return *table;
}

// The token's own answer behind the last failure, for the caller to show.
thread_local CK_RV lastFailure = CKR_OK;
// The named module the last context made on this thread could not load.
thread_local std::string moduleFailure;

// Cryptoki's names of its return values, for velmux_get_rv_name.
#define VELMUX_CKR(name) {name, #name}
const struct {
    CK_RV rv;
    const char *name;
} kReturnValueNames[] = {
    VELMUX_CKR(CKR_CANCEL), VELMUX_CKR(CKR_HOST_MEMORY), VELMUX_CKR(CKR_SLOT_ID_INVALID), VELMUX_CKR(CKR_GENERAL_ERROR),
    VELMUX_CKR(CKR_FUNCTION_FAILED), VELMUX_CKR(CKR_ARGUMENTS_BAD), VELMUX_CKR(CKR_NO_EVENT),
    VELMUX_CKR(CKR_NEED_TO_CREATE_THREADS), VELMUX_CKR(CKR_CANT_LOCK), VELMUX_CKR(CKR_ATTRIBUTE_READ_ONLY),
    VELMUX_CKR(CKR_ATTRIBUTE_SENSITIVE), VELMUX_CKR(CKR_ATTRIBUTE_TYPE_INVALID), VELMUX_CKR(CKR_ATTRIBUTE_VALUE_INVALID),
    VELMUX_CKR(CKR_ACTION_PROHIBITED), VELMUX_CKR(CKR_DATA_INVALID), VELMUX_CKR(CKR_DATA_LEN_RANGE),
    VELMUX_CKR(CKR_DEVICE_ERROR), VELMUX_CKR(CKR_DEVICE_MEMORY), VELMUX_CKR(CKR_DEVICE_REMOVED),
    VELMUX_CKR(CKR_FUNCTION_CANCELED), VELMUX_CKR(CKR_FUNCTION_NOT_PARALLEL), VELMUX_CKR(CKR_FUNCTION_NOT_SUPPORTED),
    VELMUX_CKR(CKR_OBJECT_HANDLE_INVALID), VELMUX_CKR(CKR_OPERATION_ACTIVE), VELMUX_CKR(CKR_OPERATION_NOT_INITIALIZED),
    VELMUX_CKR(CKR_PIN_INCORRECT), VELMUX_CKR(CKR_PIN_INVALID), VELMUX_CKR(CKR_PIN_LEN_RANGE), VELMUX_CKR(CKR_PIN_EXPIRED),
    VELMUX_CKR(CKR_PIN_LOCKED), VELMUX_CKR(CKR_SESSION_CLOSED), VELMUX_CKR(CKR_SESSION_COUNT),
    VELMUX_CKR(CKR_SESSION_HANDLE_INVALID), VELMUX_CKR(CKR_SESSION_PARALLEL_NOT_SUPPORTED),
    VELMUX_CKR(CKR_SESSION_READ_ONLY), VELMUX_CKR(CKR_SESSION_EXISTS), VELMUX_CKR(CKR_SESSION_READ_ONLY_EXISTS),
    VELMUX_CKR(CKR_SESSION_READ_WRITE_SO_EXISTS), VELMUX_CKR(CKR_TEMPLATE_INCOMPLETE),
    VELMUX_CKR(CKR_TEMPLATE_INCONSISTENT), VELMUX_CKR(CKR_TOKEN_NOT_PRESENT), VELMUX_CKR(CKR_TOKEN_NOT_RECOGNIZED),
    VELMUX_CKR(CKR_TOKEN_WRITE_PROTECTED), VELMUX_CKR(CKR_USER_ALREADY_LOGGED_IN), VELMUX_CKR(CKR_USER_NOT_LOGGED_IN),
    VELMUX_CKR(CKR_USER_PIN_NOT_INITIALIZED), VELMUX_CKR(CKR_USER_TYPE_INVALID),
    VELMUX_CKR(CKR_USER_ANOTHER_ALREADY_LOGGED_IN), VELMUX_CKR(CKR_USER_TOO_MANY_TYPES),
    VELMUX_CKR(CKR_RANDOM_SEED_NOT_SUPPORTED), VELMUX_CKR(CKR_RANDOM_NO_RNG), VELMUX_CKR(CKR_BUFFER_TOO_SMALL),
    VELMUX_CKR(CKR_INFORMATION_SENSITIVE), VELMUX_CKR(CKR_CRYPTOKI_NOT_INITIALIZED),
    VELMUX_CKR(CKR_CRYPTOKI_ALREADY_INITIALIZED), VELMUX_CKR(CKR_MUTEX_BAD), VELMUX_CKR(CKR_MUTEX_NOT_LOCKED),
    VELMUX_CKR(CKR_FUNCTION_REJECTED),
};
#undef VELMUX_CKR

std::string rvName(CK_RV rv)
{
    if (rv >= CKR_VENDOR_DEFINED) {
        char name[48];
        std::snprintf(name, sizeof name, "CKR_VENDOR_DEFINED+0x%lx", static_cast<unsigned long>(rv - CKR_VENDOR_DEFINED));
        return name;
    }
    for (const auto &known : kReturnValueNames)
        if (known.rv == rv)
            return known.name;
    return std::string();
}

velmux_status fromRv(CK_RV rv)
{
    if (rv != CKR_OK)
        lastFailure = rv;
    switch (rv) {
    case CKR_OK:
        return VELMUX_OK;
    case CKR_HOST_MEMORY:
        return VELMUX_E_NO_MEMORY;
    case CKR_USER_NOT_LOGGED_IN:
        return VELMUX_E_NOT_LOGGED_IN;
    case CKR_DEVICE_REMOVED:
    case CKR_TOKEN_NOT_PRESENT:
        return VELMUX_E_MEDIA_NOT_FOUND;
    default:
        return VELMUX_E_TOKEN;
    }
}

template <typename Body>
velmux_status guarded(Body &&body) noexcept
{
    lastFailure = CKR_OK;
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return VELMUX_E_NO_MEMORY;
    } catch (...) {
        return VELMUX_E_TOKEN;
    }
}

template <typename Body>
velmux_status withContext(velmux_ctx handle, Body &&body) noexcept
{
    return guarded([&]() -> velmux_status {
        std::shared_ptr<Context> ctx = contexts().find(handle);
        if (!ctx)
            return VELMUX_E_INVALID_CONTEXT;
        std::lock_guard<std::mutex> guard(ctx->lock);
        return body(*ctx);
    });
}

template <typename Body>
velmux_status withContextSession(velmux_ctx handle, Body &&body) noexcept
{
    return withContext(handle, [&](Context &ctx) -> velmux_status {
        if (!ctx.session)
            return VELMUX_E_NO_SESSION;
        return body(ctx, *ctx.session);
    });
}

template <typename Body>
velmux_status withSession(velmux_ctx handle, Body &&body) noexcept
{
    return withContextSession(handle, [&](Context &, Session &s) { return body(s); });
}

// Finds the record's token again: the recorded slot first, then every slot of
// the same module. Whatever sits in the slot must still be that very token.
velmux_status locate(const Context &ctx, const MediaRecord &rec, Located &out)
{
    const std::optional<RecordBody> body = decodeRecord(rec);
    if (!body)
        return VELMUX_E_RECORD;
    out.body = *body;
    auto holds = [&](CK_FUNCTION_LIST *fn, CK_SLOT_ID slot) {
        if (fn->C_GetTokenInfo(slot, &out.token) != CKR_OK || !(out.token.flags & CKF_TOKEN_INITIALIZED)
            || !namesToken(*body, out.token))
            return false;
        out.fn = fn;
        out.slot = slot;
        return true;
    };
    for (const Module &module : ctx.modules.modules()) {
        if (!namesModule(*body, module))
            continue;
        // Listing the slots only when the token has moved.
        if (holds(module.fn, CK_SLOT_ID(body->slot)))
            return VELMUX_OK;
        for (CK_SLOT_ID slot : slotsWithToken(module.fn)) {
            if (slot != CK_SLOT_ID(body->slot) && holds(module.fn, slot))
                return VELMUX_OK;
        }
    }
    return VELMUX_E_MEDIA_NOT_FOUND;
}

// Copies a blank-padded token field into a NUL-terminated one, cutting only
// at a UTF-8 character boundary.
void copyText(char *dst, size_t dstSize, const CK_UTF8CHAR *src, size_t srcSize)
{
    size_t n = strnlen(reinterpret_cast<const char *>(src), srcSize);
    if (n > dstSize - 1) {
        n = dstSize - 1;
        while (n > 0 && (src[n] & 0xC0) == 0x80)
            --n;
    }
    while (n > 0 && src[n - 1] == ' ')
        --n;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

// Ends a search however it went.
struct FindOperation {
    CK_FUNCTION_LIST *fn;
    CK_SESSION_HANDLE session;
    ~FindOperation() { fn->C_FindObjectsFinal(session); }
};

// The containers of a search: one to work on, and the written copies beside it.
struct Containers {
    CK_OBJECT_HANDLE container = CK_INVALID_HANDLE;
    std::vector<CK_OBJECT_HANDLE> copies;
    uint32_t count = 0; // distinct containers; copies count only when nothing else is there
};

bool isCopy(const Session &s, CK_OBJECT_HANDLE object, CK_RV &rv)
{
    char label[sizeof VELMUX_COPY_LABEL] = {};
    CK_ATTRIBUTE attr = {CKA_LABEL, label, sizeof label};
    rv = s.fn()->C_GetAttributeValue(s.handle(), object, &attr, 1);
    // A longer label is not ours.
    if (rv == CKR_BUFFER_TOO_SMALL) {
        rv = CKR_OK;
        return false;
    }
    return rv == CKR_OK && attr.ulValueLen == sizeof label - 1
        && std::memcmp(label, VELMUX_COPY_LABEL, sizeof label - 1) == 0;
}

velmux_status findContainers(const Session &s, Containers &out)
{
    CK_OBJECT_CLASS dataClass = CKO_DATA;
    char application[] = VELMUX_CONTAINER_APPLICATION;
    CK_ATTRIBUTE templ[] = {
        {CKA_CLASS, &dataClass, sizeof dataClass},
        {CKA_APPLICATION, application, sizeof application - 1},
    };
    CK_RV rv = s.fn()->C_FindObjectsInit(s.handle(), templ, 2);
    if (rv != CKR_OK)
        return fromRv(rv);
    std::vector<CK_OBJECT_HANDLE> found;
    {
        FindOperation operation{s.fn(), s.handle()};
        CK_OBJECT_HANDLE batch[16];
        for (;;) {
            CK_ULONG n = 0;
            rv = s.fn()->C_FindObjects(s.handle(), batch, std::size(batch), &n);
            if (rv != CKR_OK)
                return fromRv(rv);
            if (n == 0)
                break;
            found.insert(found.end(), batch, batch + n);
        }
    }
    out = Containers();
    if (found.empty())
        return VELMUX_E_CONTAINER_NOT_FOUND;
    // The usual case needs no label: one object is the container, copy or not.
    if (found.size() == 1) {
        out.container = found[0];
        out.count = 1;
        return VELMUX_OK;
    }
    std::vector<CK_OBJECT_HANDLE> originals;
    for (CK_OBJECT_HANDLE object : found) {
        const bool copy = isCopy(s, object, rv);
        if (rv != CKR_OK)
            return fromRv(rv);
        (copy ? out.copies : originals).push_back(object);
    }
    if (originals.size() > 1) {
        out.count = uint32_t(originals.size());
        return VELMUX_E_CONTAINER_AMBIGUOUS;
    }
    // Copies only: each holds written bytes, any of them will do.
    if (originals.empty()) {
        originals.push_back(out.copies.back());
        out.copies.pop_back();
    }
    out.container = originals[0];
    out.count = 1;
    return VELMUX_OK;
}

// The container of this session, searched for once per session.
velmux_status sessionContainer(Session &s, CK_OBJECT_HANDLE &out)
{
    if (s.container == CK_INVALID_HANDLE) {
        Containers found;
        const velmux_status status = findContainers(s, found);
        if (status != VELMUX_OK)
            return status;
        s.container = found.container;
    }
    out = s.container;
    return VELMUX_OK;
}

// What the first read of a container keeps for the deletion's proof.
struct Kept {
    LockedBytes value;
    std::vector<CK_BYTE> uniqueId;
    std::string label;
};

// Value length and the attributes a copy repeats, in two calls: every length,
// then every value but CKA_VALUE itself; with keep, the value, label and
// unique id too, in the same two calls.
velmux_status readTemplate(const Session &s, CK_OBJECT_HANDLE object, CopyTemplate &out, Kept *keep)
{
    static const CK_ATTRIBUTE_TYPE copied[] = {
        CKA_CLASS, CKA_TOKEN, CKA_PRIVATE, CKA_MODIFIABLE,
        CKA_APPLICATION, CKA_OBJECT_ID, CKA_COPYABLE, CKA_DESTROYABLE,
    };
    std::vector<CK_ATTRIBUTE> probe{{CKA_VALUE, nullptr, 0}};
    for (CK_ATTRIBUTE_TYPE type : copied)
        probe.push_back({type, nullptr, 0});
    const size_t extras = probe.size();
    if (keep) {
        probe.push_back({CKA_LABEL, nullptr, 0});
        probe.push_back({CKA_UNIQUE_ID, nullptr, 0});
    }
    CK_RV rv = s.fn()->C_GetAttributeValue(s.handle(), object, probe.data(), CK_ULONG(probe.size()));
    // Attributes a token does not know are reported, the others still measured.
    if (rv != CKR_OK && rv != CKR_ATTRIBUTE_TYPE_INVALID && rv != CKR_ATTRIBUTE_SENSITIVE)
        return fromRv(rv);
    if (probe[0].ulValueLen == CK_UNAVAILABLE_INFORMATION)
        return VELMUX_E_TOKEN;
    CopyTemplate result;
    result.valueLength = probe[0].ulValueLen;
    std::vector<CK_ATTRIBUTE> wanted;
    for (size_t i = 1; i < extras; ++i) {
        // Empty strings are the defaults; some tokens refuse them spelled out.
        if (probe[i].ulValueLen == CK_UNAVAILABLE_INFORMATION || probe[i].ulValueLen == 0)
            continue;
        result.types.push_back(probe[i].type);
        result.values.emplace_back(probe[i].ulValueLen);
    }
    for (size_t i = 0; i < result.types.size(); ++i)
        wanted.push_back({result.types[i], result.values[i].data(), CK_ULONG(result.values[i].size())});
    Kept kept;
    std::vector<CK_BYTE> label;
    if (keep) {
        kept.value = LockedBytes(size_t(result.valueLength));
        if (result.valueLength)
            wanted.push_back({CKA_VALUE, kept.value.data(), result.valueLength});
        for (size_t i = extras; i < probe.size(); ++i) {
            if (probe[i].ulValueLen == CK_UNAVAILABLE_INFORMATION || probe[i].ulValueLen == 0)
                continue;
            std::vector<CK_BYTE> &into = probe[i].type == CKA_LABEL ? label : kept.uniqueId;
            into.resize(probe[i].ulValueLen);
            wanted.push_back({probe[i].type, into.data(), CK_ULONG(into.size())});
        }
    }
    if (!wanted.empty()) {
        rv = s.fn()->C_GetAttributeValue(s.handle(), object, wanted.data(), CK_ULONG(wanted.size()));
        if (rv != CKR_OK)
            return fromRv(rv);
    }
    out = std::move(result);
    if (keep) {
        kept.label.assign(label.begin(), label.end());
        *keep = std::move(kept);
    }
    return VELMUX_OK;
}

velmux_status contextTemplate(Context &ctx, Session &s, CK_OBJECT_HANDLE object)
{
    if (ctx.copy)
        return VELMUX_OK;
    CopyTemplate copy;
    // The original value only before anything was written over it.
    const bool first = !ctx.writeTried && !ctx.original.held();
    Kept kept;
    const velmux_status status = readTemplate(s, object, copy, first ? &kept : nullptr);
    if (status != VELMUX_OK)
        return status;
    ctx.copy = std::move(copy);
    if (first) {
        ctx.original = std::move(kept.value);
        ctx.uniqueId = std::move(kept.uniqueId);
        ctx.containerLabel = std::move(kept.label);
    }
    return VELMUX_OK;
}

// For tokens that will not change a data object's value in place: create a
// labelled copy holding the new value, then destroy the old one.
velmux_status replaceContainer(Session &s, const CopyTemplate &copy, CK_OBJECT_HANDLE old, void *buffer,
                               CK_ULONG length)
{
    char label[] = VELMUX_COPY_LABEL;
    std::vector<CK_ATTRIBUTE> templ;
    for (size_t i = 0; i < copy.types.size(); ++i) {
        const CK_ATTRIBUTE_TYPE type = copy.types[i];
        const std::vector<CK_BYTE> &value = copy.values[i];
        // True flags are the defaults; some tokens refuse them spelled out.
        if ((type == CKA_COPYABLE || type == CKA_DESTROYABLE) && value[0] != CK_FALSE)
            continue;
        // The copy could never be rolled back.
        if (type == CKA_DESTROYABLE)
            return VELMUX_E_TOKEN;
        templ.push_back({type, const_cast<CK_BYTE *>(value.data()), CK_ULONG(value.size())});
    }
    templ.push_back({CKA_LABEL, label, sizeof label - 1});
    templ.push_back({CKA_VALUE, buffer, length});

    CK_OBJECT_HANDLE replacement = CK_INVALID_HANDLE;
    CK_RV rv = s.fn()->C_CreateObject(s.handle(), templ.data(), templ.size(), &replacement);
    if (rv != CKR_OK)
        return fromRv(rv);
    if (s.fn()->C_DestroyObject(s.handle(), old) != CKR_OK) {
        // Should this fail too, the copy holds nothing but the new bytes.
        s.fn()->C_DestroyObject(s.handle(), replacement);
        return VELMUX_E_TOKEN;
    }
    s.container = replacement;
    return VELMUX_OK;
}

// A token may accept a write and keep the old bytes: the value it now
// answers must be the one written.
velmux_status holdsValue(const Session &s, CK_OBJECT_HANDLE object, const void *buffer, CK_ULONG length)
{
    std::vector<CK_BYTE> value(length + 1); // one more: a longer value shows too
    CK_ATTRIBUTE attr = {CKA_VALUE, value.data(), CK_ULONG(value.size())};
    const CK_RV rv = s.fn()->C_GetAttributeValue(s.handle(), object, &attr, 1);
    if (rv != CKR_OK)
        return fromRv(rv);
    if (attr.ulValueLen != length || (length != 0 && std::memcmp(value.data(), buffer, length) != 0))
        return VELMUX_E_NOT_WRITTEN;
    return VELMUX_OK;
}

bool refusedInPlace(CK_RV rv)
{
    return rv == CKR_ATTRIBUTE_READ_ONLY || rv == CKR_ATTRIBUTE_TYPE_INVALID
        || rv == CKR_ACTION_PROHIBITED || rv == CKR_TEMPLATE_INCONSISTENT
        || rv == CKR_FUNCTION_NOT_SUPPORTED;
}

// The first object of a search, CK_INVALID_HANDLE when there is none.
velmux_status findFirst(const Session &s, CK_ATTRIBUTE *templ, CK_ULONG count, CK_OBJECT_HANDLE &found)
{
    found = CK_INVALID_HANDLE;
    CK_RV rv = s.fn()->C_FindObjectsInit(s.handle(), templ, count);
    if (rv != CKR_OK)
        return fromRv(rv);
    FindOperation operation{s.fn(), s.handle()};
    CK_ULONG n = 0;
    rv = s.fn()->C_FindObjects(s.handle(), &found, 1, &n);
    if (rv != CKR_OK)
        return fromRv(rv);
    if (n == 0)
        found = CK_INVALID_HANDLE;
    return VELMUX_OK;
}

// Which object the proof found and whose bytes it holds. Read as far as the
// token lets it: the find itself is the failure.
void describeRemnant(const Context &ctx, const Session &s, CK_OBJECT_HANDLE object, VelmuxRemnant &out)
{
    out = VelmuxRemnant{};
    out.size = sizeof out;
    out.bytes = VELMUX_REMNANT_OTHER;
    CK_ATTRIBUTE probe[] = {{CKA_LABEL, nullptr, 0}, {CKA_APPLICATION, nullptr, 0}, {CKA_VALUE, nullptr, 0}};
    s.fn()->C_GetAttributeValue(s.handle(), object, probe, 3);
    std::vector<CK_BYTE> fields[3];
    for (int i = 0; i < 3; ++i) {
        if (probe[i].ulValueLen != CK_UNAVAILABLE_INFORMATION)
            fields[i].resize(probe[i].ulValueLen);
        probe[i].pValue = fields[i].data();
        probe[i].ulValueLen = CK_ULONG(fields[i].size());
    }
    if (s.fn()->C_GetAttributeValue(s.handle(), object, probe, 3) != CKR_OK)
        return;
    copyText(out.label, sizeof out.label, fields[0].data(), fields[0].size());
    copyText(out.application, sizeof out.application, fields[1].data(), fields[1].size());
    const std::vector<CK_BYTE> &value = fields[2];
    if (ctx.original.held() && value.size() == ctx.original.size()
        && std::equal(value.begin(), value.end(), ctx.original.data())) {
        out.bytes = VELMUX_REMNANT_ORIGINAL;
        return;
    }
    for (size_t i = 0; i < ctx.passes.size(); ++i) {
        if (ctx.passes[i] == value) {
            out.bytes = VELMUX_REMNANT_PASS;
            out.pass = uint32_t(i + 1);
            return;
        }
    }
}

velmux_status unproven(CK_RV rv)
{
    lastFailure = rv;
    return VELMUX_E_DELETION_UNPROVEN;
}

// After the token accepted the deletion: the module started afresh where it
// allows, a fresh session logged in again, and no object may hold the
// container's application, its original value, a written value or its
// unique id.
velmux_status proveDeleted(Context &ctx)
{
    const Located token = *ctx.token;
    const CK_FLAGS flags = ctx.session->tokenFlags();
    ctx.session.reset();
    bool restarted = false;
    CK_RV rv = ctx.modules.restart(token.fn, restarted);
    if (rv != CKR_OK)
        return unproven(rv);
    CK_SESSION_HANDLE handle = CK_INVALID_HANDLE;
    rv = token.fn->C_OpenSession(token.slot, CKF_SERIAL_SESSION, nullptr, nullptr, &handle);
    if (rv != CKR_OK)
        return unproven(rv);
    // Kept as the context's session: a caller may look at the token through it.
    ctx.session = std::make_unique<Session>(token.fn, handle, flags);
    const Session &s = *ctx.session;
    if (ctx.pin.held()) {
        rv = s.fn()->C_Login(handle, CKU_USER, ctx.pinPad ? nullptr : ctx.pin.data(),
                             ctx.pinPad ? 0 : CK_ULONG(ctx.pin.size()));
        if (rv != CKR_OK && rv != CKR_USER_ALREADY_LOGGED_IN)
            return unproven(rv);
    }
    CK_OBJECT_CLASS dataClass = CKO_DATA;
    auto byValue = [&](const CK_BYTE *value, size_t length, CK_OBJECT_HANDLE &found) {
        CK_ATTRIBUTE templ[] = {{CKA_CLASS, &dataClass, sizeof dataClass},
                                {CKA_VALUE, const_cast<CK_BYTE *>(value), CK_ULONG(length)}};
        return findFirst(s, templ, 2, found);
    };
    CK_OBJECT_HANDLE found = CK_INVALID_HANDLE;
    velmux_status status = VELMUX_OK;
    // The key's own bytes first: the gravest find. An empty value matches anything empty.
    if (ctx.original.size() != 0)
        status = byValue(ctx.original.data(), ctx.original.size(), found);
    if (status == VELMUX_OK && found == CK_INVALID_HANDLE) {
        Containers again;
        status = findContainers(s, again);
        if (status == VELMUX_OK || status == VELMUX_E_CONTAINER_AMBIGUOUS)
            found = again.container != CK_INVALID_HANDLE ? again.container : CK_INVALID_HANDLE;
        if (status == VELMUX_E_CONTAINER_AMBIGUOUS && found == CK_INVALID_HANDLE) {
            // Several originals: any one of them is the failure.
            CK_ATTRIBUTE templ[] = {{CKA_CLASS, &dataClass, sizeof dataClass},
                                    {CKA_APPLICATION, const_cast<char *>(VELMUX_CONTAINER_APPLICATION),
                                     CK_ULONG(sizeof VELMUX_CONTAINER_APPLICATION - 1)}};
            status = findFirst(s, templ, 2, found);
        }
        if (status == VELMUX_E_CONTAINER_NOT_FOUND || status == VELMUX_E_CONTAINER_AMBIGUOUS)
            status = VELMUX_OK;
    }
    if (status == VELMUX_OK && found == CK_INVALID_HANDLE && !ctx.uniqueId.empty()) {
        CK_ATTRIBUTE templ[] = {{CKA_UNIQUE_ID, ctx.uniqueId.data(), CK_ULONG(ctx.uniqueId.size())}};
        status = findFirst(s, templ, 1, found);
    }
    for (size_t i = 0; status == VELMUX_OK && found == CK_INVALID_HANDLE && i < ctx.passes.size(); ++i) {
        const std::vector<CK_BYTE> &pass = ctx.passes[i];
        // A value written twice is searched for once.
        const auto before = ctx.passes.begin() + std::ptrdiff_t(i);
        if (pass.empty() || std::find(ctx.passes.begin(), before, pass) != before)
            continue;
        status = byValue(pass.data(), pass.size(), found);
    }
    if (status != VELMUX_OK)
        return VELMUX_E_DELETION_UNPROVEN; // the token's answer is the last failure
    if (found != CK_INVALID_HANDLE) {
        describeRemnant(ctx, s, found, ctx.remnant);
        return VELMUX_E_NOT_DELETED;
    }
    return VELMUX_OK;
}

} // namespace

extern "C" {

velmux_status velmux_create_ctx(velmux_ctx *context, uint32_t mediaType)
{
    moduleFailure.clear();
    return guarded([&]() -> velmux_status {
        if (!context)
            return VELMUX_E_INVALID_ARGUMENT;
        if (mediaType < 1 || mediaType > 7)
            return VELMUX_E_MEDIA_TYPE;
        auto ctx = std::make_shared<Context>(mediaType);
        const bool loaded = ctx->modules.load();
        moduleFailure = ctx->modules.failure();
        if (!loaded)
            return VELMUX_E_MODULE;
        *context = contexts().add(std::move(ctx));
        return VELMUX_OK;
    });
}

velmux_status velmux_destroy_ctx(velmux_ctx context)
{
    return guarded([&]() -> velmux_status {
        std::shared_ptr<Context> ctx = contexts().find(context, true);
        if (!ctx)
            return VELMUX_E_INVALID_CONTEXT;
        std::lock_guard<std::mutex> guard(ctx->lock);
        ctx->session.reset();
        return VELMUX_OK;
    });
}

velmux_status velmux_get_media_list(velmux_ctx context, MediaRecord *records, uint32_t *count)
{
    return withContext(context, [&](Context &ctx) -> velmux_status {
        if (!records || !count)
            return VELMUX_E_INVALID_ARGUMENT;
        const uint32_t capacity = *count;
        uint32_t filled = 0;
        for (const Module &module : ctx.modules.modules()) {
            for (CK_SLOT_ID slot : slotsWithToken(module.fn)) {
                if (filled == capacity)
                    break;
                CK_SLOT_INFO slotInfo{};
                CK_TOKEN_INFO token{};
                // A token pulled out meanwhile is simply not listed.
                if (module.fn->C_GetSlotInfo(slot, &slotInfo) != CKR_OK
                    || module.fn->C_GetTokenInfo(slot, &token) != CKR_OK)
                    continue;
                if (!(token.flags & CKF_TOKEN_INITIALIZED) || (token.flags & CKF_WRITE_PROTECTED)
                    || mediaTypeOf(slotInfo, token) != ctx.type)
                    continue;
                encodeRecord(records[filled++], ctx.type, module, slot, token);
            }
        }
        *count = filled;
        return VELMUX_OK;
    });
}

velmux_status velmux_get_media_info(velmux_ctx context, const MediaRecord *record, MediaInfo *info)
{
    return withContext(context, [&](Context &ctx) -> velmux_status {
        if (!record || !info || info->size != sizeof(MediaInfo))
            return VELMUX_E_INVALID_ARGUMENT;
        Located found;
        const velmux_status status = locate(ctx, *record, found);
        if (status != VELMUX_OK)
            return status;
        const CK_TOKEN_INFO &t = found.token;
        std::memset(reinterpret_cast<uint8_t *>(info) + sizeof info->size, 0,
                    sizeof(MediaInfo) - sizeof info->size);
        copyText(info->name, sizeof info->name, t.label, sizeof t.label);
        copyText(info->detail, sizeof info->detail, t.model, sizeof t.model);
        if (info->detail[0] == '\0')
            copyText(info->detail, sizeof info->detail, t.manufacturerID, sizeof t.manufacturerID);
        copyText(info->serialNumber, sizeof info->serialNumber, t.serialNumber, sizeof t.serialNumber);
        return VELMUX_OK;
    });
}

velmux_status velmux_open_session(velmux_ctx context, const MediaRecord *record, uint32_t flags)
{
    return withContext(context, [&](Context &ctx) -> velmux_status {
        if (!record || flags != 0)
            return VELMUX_E_INVALID_ARGUMENT;
        if (ctx.session)
            return VELMUX_E_SESSION_OPEN;
        const std::optional<RecordBody> body = decodeRecord(*record);
        if (!body)
            return VELMUX_E_RECORD;
        // Another record on this context: look its token up afresh.
        if (ctx.token && std::memcmp(&ctx.token->body, &*body, sizeof *body) != 0)
            ctx.token.reset();
        if (!ctx.token) {
            Located found;
            const velmux_status status = locate(ctx, *record, found);
            if (status != VELMUX_OK)
                return status;
            ctx.token = found;
        }
        const Located &found = *ctx.token;
        CK_SESSION_HANDLE handle = CK_INVALID_HANDLE;
        CK_RV rv = found.fn->C_OpenSession(found.slot, CKF_SERIAL_SESSION | CKF_RW_SESSION,
                                           nullptr, nullptr, &handle);
        if (rv != CKR_OK)
            return fromRv(rv);
        auto session = std::make_unique<Session>(found.fn, handle, 0);
        // The token may have been swapped since it was found.
        CK_TOKEN_INFO now{};
        if (found.fn->C_GetTokenInfo(found.slot, &now) != CKR_OK || !namesToken(found.body, now))
            return VELMUX_E_MEDIA_NOT_FOUND;
        session->setTokenFlags(now.flags);
        ctx.session = std::move(session);
        return VELMUX_OK;
    });
}

velmux_status velmux_close_session(velmux_ctx context)
{
    return withContext(context, [&](Context &ctx) -> velmux_status {
        if (!ctx.session)
            return VELMUX_E_NO_SESSION;
        const CK_RV rv = ctx.session->close();
        ctx.session.reset();
        // A session the token already dropped is closed all the same.
        const bool gone = rv == CKR_SESSION_HANDLE_INVALID || rv == CKR_SESSION_CLOSED;
        return gone ? VELMUX_OK : fromRv(rv);
    });
}

velmux_status velmux_login(velmux_ctx context, const char *pin)
{
    return withContextSession(context, [&](Context &ctx, Session &s) -> velmux_status {
        if (!pin)
            return VELMUX_E_INVALID_ARGUMENT;
        LockedBytes secret(pin, std::strlen(pin));
        const bool usePad = s.pinPad() && secret.size() == 0;
        const CK_RV rv = s.fn()->C_Login(s.handle(), CKU_USER, usePad ? nullptr : secret.data(),
                                         usePad ? 0 : CK_ULONG(secret.size()));
        switch (rv) {
        case CKR_OK:
        case CKR_USER_ALREADY_LOGGED_IN:
            // Kept for the deletion's proof, which logs in afresh.
            ctx.pin = std::move(secret);
            ctx.pinPad = usePad;
            return VELMUX_OK;
        case CKR_PIN_LOCKED:
            return VELMUX_E_PIN_LOCKED;
        case CKR_USER_PIN_NOT_INITIALIZED:
            return VELMUX_E_PIN_NOT_INITIALIZED;
        case CKR_PIN_EXPIRED:
            return VELMUX_E_PIN_EXPIRED;
        case CKR_PIN_INCORRECT:
        case CKR_PIN_INVALID:
        case CKR_PIN_LEN_RANGE:
            break;
        default:
            // Not about the PIN: the token's own answer goes with the refusal.
            lastFailure = rv;
            return VELMUX_E_TOKEN;
        }
        // Some tokens answer any refused PIN alike; their flags, read at the open, tell more.
        if (s.tokenFlags() & CKF_USER_PIN_LOCKED)
            return VELMUX_E_PIN_LOCKED;
        if (!(s.tokenFlags() & CKF_USER_PIN_INITIALIZED))
            return VELMUX_E_PIN_NOT_INITIALIZED;
        return VELMUX_E_PIN_INCORRECT;
    });
}

velmux_status velmux_get_container_size(velmux_ctx context, uint32_t *size)
{
    return withContextSession(context, [&](Context &ctx, Session &s) -> velmux_status {
        if (!size)
            return VELMUX_E_INVALID_ARGUMENT;
        CK_OBJECT_HANDLE container = CK_INVALID_HANDLE;
        velmux_status status = sessionContainer(s, container);
        if (status != VELMUX_OK)
            return status;
        // Read afresh each time it is asked; the writes reuse it.
        ctx.copy.reset();
        status = contextTemplate(ctx, s, container);
        if (status != VELMUX_OK)
            return status;
        if (ctx.copy->valueLength > UINT32_MAX)
            return VELMUX_E_CONTAINER_TOO_LARGE;
        *size = uint32_t(ctx.copy->valueLength);
        return VELMUX_OK;
    });
}

velmux_status velmux_write_container(velmux_ctx context, uint32_t mode, const void *buffer, uint32_t length)
{
    return withContextSession(context, [&](Context &ctx, Session &s) -> velmux_status {
        if (mode != kWriteWhole || (!buffer && length != 0))
            return VELMUX_E_INVALID_ARGUMENT;
        CK_OBJECT_HANDLE container = CK_INVALID_HANDLE;
        velmux_status status = sessionContainer(s, container);
        if (status == VELMUX_OK)
            status = contextTemplate(ctx, s, container);
        if (status != VELMUX_OK)
            return status;
        if (ctx.copy->valueLength != length)
            return VELMUX_E_LENGTH;
        ctx.writeTried = true;
        // Even a write that fails may have reached the token: the proof looks for it too.
        const CK_BYTE *bytes = static_cast<const CK_BYTE *>(buffer);
        std::vector<CK_BYTE> pass(bytes, bytes + length);
        ctx.passes.push_back(std::move(pass));
        // PKCS#11 templates are not const; the module only reads the value.
        void *value = const_cast<void *>(buffer);
        // A token that refused once refuses again: no need to ask every pass.
        if (!ctx.inPlaceRefused) {
            CK_ATTRIBUTE attr = {CKA_VALUE, value, length};
            const CK_RV rv = s.fn()->C_SetAttributeValue(s.handle(), container, &attr, 1);
            if (rv == CKR_OK) {
                status = holdsValue(s, container, value, length);
                if (status == VELMUX_OK)
                    ctx.writeMethods |= VELMUX_WRITTEN_IN_PLACE;
                return status;
            }
            if (!refusedInPlace(rv))
                return fromRv(rv);
            ctx.inPlaceRefused = true;
        }
        status = replaceContainer(s, *ctx.copy, container, value, length);
        if (status == VELMUX_OK)
            status = holdsValue(s, s.container, value, length);
        if (status == VELMUX_OK)
            ctx.writeMethods |= VELMUX_WRITTEN_BY_REPLACEMENT;
        return status;
    });
}

velmux_status velmux_delete_container(velmux_ctx context)
{
    return withContextSession(context, [&](Context &ctx, Session &s) -> velmux_status {
        // The PIN and the values live for this wipe only, whatever its end.
        struct Forget {
            Context &ctx;
            ~Forget() { ctx.forgetSecrets(); }
        } forget{ctx};
        ctx.remnant = VelmuxRemnant{};
        Containers found;
        velmux_status status = findContainers(s, found);
        if (status != VELMUX_OK)
            return status;
        // Never read on this context: its value now is the original.
        if (!ctx.copy && !ctx.writeTried) {
            status = contextTemplate(ctx, s, found.container);
            if (status != VELMUX_OK)
                return status;
        }
        const CK_RV rv = s.fn()->C_DestroyObject(s.handle(), found.container);
        s.container = CK_INVALID_HANDLE;
        if (rv != CKR_OK)
            return fromRv(rv);
        // Copies left by an interrupted write hold written bytes only; a
        // refusal here is not worth failing the deletion for: the proof
        // finds what is left.
        for (CK_OBJECT_HANDLE copy : found.copies)
            s.fn()->C_DestroyObject(s.handle(), copy);
        // A token may answer OK and do nothing, or keep the bytes elsewhere.
        return ctx.token ? proveDeleted(ctx) : unproven(CKR_OK);
    });
}

velmux_status velmux_get_write_method(velmux_ctx context, uint32_t *methods)
{
    return withContext(context, [&](Context &ctx) -> velmux_status {
        if (!methods)
            return VELMUX_E_INVALID_ARGUMENT;
        *methods = ctx.writeMethods;
        return VELMUX_OK;
    });
}

velmux_status velmux_get_last_error(uint32_t *rv, char *text, uint32_t textSize)
{
    if (!rv)
        return VELMUX_E_INVALID_ARGUMENT;
    *rv = uint32_t(lastFailure);
    if (text && textSize > 0) {
        const std::string words = lastFailure == CKR_OK ? std::string() : describeRv(lastFailure);
        const std::size_t n = std::min<std::size_t>(words.size(), textSize - 1);
        std::memcpy(text, words.data(), n);
        text[n] = '\0';
    }
    return VELMUX_OK;
}

velmux_status velmux_get_module_error(char *text, uint32_t textSize)
{
    if (!text || textSize == 0)
        return VELMUX_E_INVALID_ARGUMENT;
    copyText(text, textSize, reinterpret_cast<const CK_UTF8CHAR *>(moduleFailure.data()), moduleFailure.size());
    return VELMUX_OK;
}

velmux_status velmux_get_rv_name(uint32_t rv, char *name, uint32_t nameSize)
{
    if (!name || nameSize == 0)
        return VELMUX_E_INVALID_ARGUMENT;
    const std::string words = rvName(rv);
    const std::size_t n = std::min<std::size_t>(words.size(), nameSize - 1);
    std::memcpy(name, words.data(), n);
    name[n] = '\0';
    return VELMUX_OK;
}

velmux_status velmux_get_remnant(velmux_ctx context, VelmuxRemnant *remnant)
{
    return withContext(context, [&](Context &ctx) -> velmux_status {
        if (!remnant || remnant->size != sizeof(VelmuxRemnant))
            return VELMUX_E_INVALID_ARGUMENT;
        *remnant = ctx.remnant;
        remnant->size = sizeof(VelmuxRemnant);
        return VELMUX_OK;
    });
}

velmux_status velmux_get_container_label(velmux_ctx context, char *label, uint32_t labelSize)
{
    return withContext(context, [&](Context &ctx) -> velmux_status {
        if (!label || labelSize == 0)
            return VELMUX_E_INVALID_ARGUMENT;
        copyText(label, labelSize, reinterpret_cast<const CK_UTF8CHAR *>(ctx.containerLabel.data()),
                 ctx.containerLabel.size());
        return VELMUX_OK;
    });
}

velmux_status velmux_get_media_maker(velmux_ctx context, const MediaRecord *record, VelmuxMaker *maker)
{
    return withContext(context, [&](Context &) -> velmux_status {
        if (!record || !maker || maker->size != sizeof(VelmuxMaker))
            return VELMUX_E_INVALID_ARGUMENT;
        const std::optional<RecordBody> body = decodeRecord(*record);
        if (!body)
            return VELMUX_E_RECORD;
        copyText(maker->manufacturer, sizeof maker->manufacturer, body->manufacturer, sizeof body->manufacturer);
        copyText(maker->model, sizeof maker->model, body->model, sizeof body->model);
        return VELMUX_OK;
    });
}

velmux_status velmux_count_containers(velmux_ctx context, uint32_t *count)
{
    return withSession(context, [&](Session &s) -> velmux_status {
        if (!count)
            return VELMUX_E_INVALID_ARGUMENT;
        Containers found;
        const velmux_status status = findContainers(s, found);
        if (status != VELMUX_OK && status != VELMUX_E_CONTAINER_AMBIGUOUS
            && status != VELMUX_E_CONTAINER_NOT_FOUND)
            return status;
        *count = found.count;
        return VELMUX_OK;
    });
}

} // extern "C"
