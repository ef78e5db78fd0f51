#include "fakevelmux.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace {

struct Medium {
    uint32_t typeCode;
    MediaRecord record;
    std::string name, detail, serialNumber;
};

struct Context {
    uint32_t mediaType = 0;
    bool session = false;
    bool loggedIn = false;
    uint32_t methods = 0;
};

struct Injection {
    std::string function;
    int occurrence;
    uint32_t status;
};

struct State {
    std::vector<Medium> media;
    std::vector<FakeVelmux::Call> calls;
    std::vector<Injection> injections;
    std::map<uint32_t, Context> contexts;
    // Not 0, so a caller that ignores the handle it was given is caught.
    uint32_t nextHandle = 0x100;
    uint32_t containerSize = 16;
    uint32_t containers = 1;
    uint32_t writeMethod = VELMUX_WRITTEN_IN_PLACE;
    std::string moduleError;
};

State &state()
{
    static State s;
    return s;
}

Context *context(uint32_t handle)
{
    auto it = state().contexts.find(handle);
    return it == state().contexts.end() ? nullptr : &it->second;
}

const Medium *medium(uint32_t typeCode, const MediaRecord *record)
{
    for (const Medium &m : state().media)
        if (m.typeCode == typeCode && std::memcmp(&m.record, record, sizeof(MediaRecord)) == 0)
            return &m;
    return nullptr;
}

void copyField(char *field, size_t fieldSize, const std::string &text)
{
    std::memset(field, 0, fieldSize);
    std::memcpy(field, text.data(), std::min(fieldSize, text.size()));
}

// Logs the call and decides between an injected status and the real work.
template <typename Work>
velmux_status answer(FakeVelmux::Call call, Work work)
{
    State &s = state();
    const int occurrence = 1 + static_cast<int>(std::count_if(
        s.calls.begin(), s.calls.end(),
        [&](const FakeVelmux::Call &c) { return c.function == call.function; }));
    const auto rule = std::find_if(s.injections.begin(), s.injections.end(), [&](const Injection &i) {
        return i.function == call.function && (i.occurrence == 0 || i.occurrence == occurrence);
    });

    velmux_status status;
    if (rule != s.injections.end() && VELMUX_FAILED(rule->status)) {
        status = rule->status;
    } else {
        status = work(call);
        if (rule != s.injections.end() && VELMUX_SUCCEEDED(status))
            status = rule->status;
    }
    call.status = status;
    s.calls.push_back(std::move(call));
    return status;
}

FakeVelmux::Call named(const char *function, uint32_t ctx)
{
    FakeVelmux::Call call;
    call.function = function;
    call.ctx = ctx;
    return call;
}

// Session and log-in checks shared by the container calls.
velmux_status loggedIn(uint32_t handle)
{
    const Context *c = context(handle);
    if (!c)
        return VELMUX_E_INVALID_CONTEXT;
    if (!c->session)
        return VELMUX_E_NO_SESSION;
    if (!c->loggedIn)
        return VELMUX_E_NOT_LOGGED_IN;
    if (state().containers == 0)
        return VELMUX_E_CONTAINER_NOT_FOUND;
    if (state().containers > 1)
        return VELMUX_E_CONTAINER_AMBIGUOUS;
    return VELMUX_OK;
}

} // namespace

namespace FakeVelmux {

void reset() { state() = State(); }

void clearCalls() { state().calls.clear(); }

void setModuleError(const std::string &text) { state().moduleError = text; }

void addMedia(uint32_t typeCode, const MediaRecord &record, const char *name,
              const char *detail, const char *serialNumber)
{
    state().media.push_back({typeCode, record, name, detail, serialNumber});
}

MediaRecord makeRecord(uint32_t slotId, uint32_t mediaType, uint8_t fill)
{
    MediaRecord record;
    record.slotId = slotId;
    record.mediaType = mediaType;
    std::memset(record.opaque, fill, sizeof record.opaque);
    return record;
}

std::vector<uint8_t> bytes(const MediaRecord &record)
{
    const auto *p = reinterpret_cast<const uint8_t *>(&record);
    return std::vector<uint8_t>(p, p + sizeof record);
}

void failCall(const std::string &function, int occurrence, uint32_t status)
{
    state().injections.push_back({function, occurrence, status});
}

void setContainerSize(uint32_t size) { state().containerSize = size; }
void setContainerPresent(bool present) { state().containers = present ? 1 : 0; }
bool containerPresent() { return state().containers > 0; }
void setContainers(uint32_t count) { state().containers = count; }
void setWriteMethod(uint32_t method) { state().writeMethod = method; }

const std::vector<Call> &calls() { return state().calls; }

std::vector<std::string> callNames()
{
    std::vector<std::string> names;
    for (const Call &c : state().calls)
        names.push_back(c.function);
    return names;
}

size_t liveContexts() { return state().contexts.size(); }

} // namespace FakeVelmux

extern "C" {

velmux_status velmux_create_ctx(velmux_ctx *handle, uint32_t mediaType)
{
    FakeVelmux::Call call = named("velmux_create_ctx", 0);
    call.mediaType = mediaType;
    return answer(std::move(call), [&](FakeVelmux::Call &c) -> velmux_status {
        if (!handle)
            return VELMUX_E_INVALID_ARGUMENT;
        if (mediaType < 1 || mediaType > 7)
            return VELMUX_E_MEDIA_TYPE;
        c.ctx = state().nextHandle++;
        state().contexts[c.ctx].mediaType = mediaType;
        *handle = c.ctx;
        return VELMUX_OK;
    });
}

velmux_status velmux_destroy_ctx(velmux_ctx handle)
{
    return answer(named("velmux_destroy_ctx", handle), [&](FakeVelmux::Call &) -> velmux_status {
        return state().contexts.erase(handle) ? VELMUX_OK : VELMUX_E_INVALID_CONTEXT;
    });
}

velmux_status velmux_get_media_list(velmux_ctx handle, MediaRecord *records, uint32_t *count)
{
    FakeVelmux::Call call = named("velmux_get_media_list", handle);
    call.preset = count ? *count : 0;
    return answer(std::move(call), [&](FakeVelmux::Call &) -> velmux_status {
        const Context *c = context(handle);
        if (!c)
            return VELMUX_E_INVALID_CONTEXT;
        if (!records || !count)
            return VELMUX_E_INVALID_ARGUMENT;
        uint32_t filled = 0;
        for (const Medium &m : state().media)
            if (m.typeCode == c->mediaType && filled < *count)
                records[filled++] = m.record;
        *count = filled;
        return VELMUX_OK;
    });
}

velmux_status velmux_get_media_info(velmux_ctx handle, const MediaRecord *record, MediaInfo *info)
{
    FakeVelmux::Call call = named("velmux_get_media_info", handle);
    if (record)
        call.record = *record;
    call.preset = info ? info->size : 0;
    return answer(std::move(call), [&](FakeVelmux::Call &) -> velmux_status {
        const Context *c = context(handle);
        if (!c)
            return VELMUX_E_INVALID_CONTEXT;
        if (!record || !info || info->size != sizeof(MediaInfo))
            return VELMUX_E_INVALID_ARGUMENT;
        const Medium *m = medium(c->mediaType, record);
        if (!m)
            return VELMUX_E_MEDIA_NOT_FOUND;
        copyField(info->detail, sizeof info->detail, m->detail);
        copyField(info->name, sizeof info->name, m->name);
        copyField(info->serialNumber, sizeof info->serialNumber, m->serialNumber);
        return VELMUX_OK;
    });
}

velmux_status velmux_open_session(velmux_ctx handle, const MediaRecord *record, uint32_t flags)
{
    FakeVelmux::Call call = named("velmux_open_session", handle);
    if (record)
        call.record = *record;
    call.flags = flags;
    return answer(std::move(call), [&](FakeVelmux::Call &) -> velmux_status {
        Context *c = context(handle);
        if (!c)
            return VELMUX_E_INVALID_CONTEXT;
        if (!record)
            return VELMUX_E_INVALID_ARGUMENT;
        if (c->session)
            return VELMUX_E_SESSION_OPEN;
        if (!medium(c->mediaType, record))
            return VELMUX_E_MEDIA_NOT_FOUND;
        c->session = true;
        c->loggedIn = false;
        return VELMUX_OK;
    });
}

velmux_status velmux_close_session(velmux_ctx handle)
{
    return answer(named("velmux_close_session", handle), [&](FakeVelmux::Call &) -> velmux_status {
        Context *c = context(handle);
        if (!c)
            return VELMUX_E_INVALID_CONTEXT;
        if (!c->session)
            return VELMUX_E_NO_SESSION;
        c->session = c->loggedIn = false;
        return VELMUX_OK;
    });
}

velmux_status velmux_login(velmux_ctx handle, const char *pin)
{
    FakeVelmux::Call call = named("velmux_login", handle);
    call.pinNull = !pin;
    call.pin = pin ? pin : "";
    return answer(std::move(call), [&](FakeVelmux::Call &) -> velmux_status {
        Context *c = context(handle);
        if (!c)
            return VELMUX_E_INVALID_CONTEXT;
        if (!pin)
            return VELMUX_E_INVALID_ARGUMENT;
        if (!c->session)
            return VELMUX_E_NO_SESSION;
        c->loggedIn = true;
        return VELMUX_OK;
    });
}

velmux_status velmux_get_container_size(velmux_ctx handle, uint32_t *size)
{
    FakeVelmux::Call call = named("velmux_get_container_size", handle);
    call.preset = size ? *size : 0;
    return answer(std::move(call), [&](FakeVelmux::Call &) -> velmux_status {
        if (!size)
            return VELMUX_E_INVALID_ARGUMENT;
        const velmux_status status = loggedIn(handle);
        if (VELMUX_SUCCEEDED(status))
            *size = state().containerSize;
        return status;
    });
}

velmux_status velmux_write_container(velmux_ctx handle, uint32_t mode, const void *buffer, uint32_t length)
{
    FakeVelmux::Call call = named("velmux_write_container", handle);
    call.mode = mode;
    call.length = length;
    if (buffer)
        call.data.assign(static_cast<const uint8_t *>(buffer), static_cast<const uint8_t *>(buffer) + length);
    return answer(std::move(call), [&](FakeVelmux::Call &) -> velmux_status {
        if (!buffer && length)
            return VELMUX_E_INVALID_ARGUMENT;
        const velmux_status status = loggedIn(handle);
        if (VELMUX_FAILED(status))
            return status;
        if (length != state().containerSize)
            return VELMUX_E_LENGTH;
        context(handle)->methods |= state().writeMethod;
        return VELMUX_OK;
    });
}

velmux_status velmux_delete_container(velmux_ctx handle)
{
    return answer(named("velmux_delete_container", handle), [&](FakeVelmux::Call &) -> velmux_status {
        const velmux_status status = loggedIn(handle);
        if (VELMUX_SUCCEEDED(status))
            state().containers = 0;
        return status;
    });
}

velmux_status velmux_get_write_method(velmux_ctx handle, uint32_t *methods)
{
    return answer(named("velmux_get_write_method", handle), [&](FakeVelmux::Call &) -> velmux_status {
        const Context *c = context(handle);
        if (!c)
            return VELMUX_E_INVALID_CONTEXT;
        if (!methods)
            return VELMUX_E_INVALID_ARGUMENT;
        *methods = c->methods;
        return VELMUX_OK;
    });
}

velmux_status velmux_count_containers(velmux_ctx handle, uint32_t *count)
{
    return answer(named("velmux_count_containers", handle), [&](FakeVelmux::Call &) -> velmux_status {
        const Context *c = context(handle);
        if (!c)
            return VELMUX_E_INVALID_CONTEXT;
        if (!count)
            return VELMUX_E_INVALID_ARGUMENT;
        if (!c->session)
            return VELMUX_E_NO_SESSION;
        *count = c->loggedIn ? state().containers : 0;
        return VELMUX_OK;
    });
}

velmux_status velmux_get_module_error(char *text, uint32_t textSize)
{
    if (!text || textSize == 0)
        return VELMUX_E_INVALID_ARGUMENT;
    const std::string &error = state().moduleError;
    const size_t n = std::min<size_t>(error.size(), textSize - 1);
    std::memcpy(text, error.data(), n);
    text[n] = '\0';
    return VELMUX_OK;
}

} // extern "C"
