#include "devicewipe.h"

#include "passbytes.h"

#include <string>
#include <vector>

namespace {

// Clears the library's view of the PIN once a log-in has used it.
void clearSecret(std::string &secret)
{
    volatile char *p = &secret[0];
    for (std::size_t i = 0; i < secret.size(); ++i)
        p[i] = 0;
    secret.clear();
}

velmux_status login(velmux_ctx context, const QString &pin)
{
    std::string utf8 = pin.toStdString(); // anew for every log-in
    const velmux_status status = velmux_login(context, utf8.c_str());
    clearSecret(utf8);
    return status;
}

// Destroys the context when the wipe leaves, whichever way it leaves.
class ContextGuard
{
public:
    explicit ContextGuard(velmux_ctx context) : m_context(context) {}
    ~ContextGuard()
    {
        if (m_armed)
            velmux_destroy_ctx(m_context);
    }
    void destroyNow()
    {
        m_armed = false;
        velmux_destroy_ctx(m_context);
    }
    ContextGuard(const ContextGuard &) = delete;
    ContextGuard &operator=(const ContextGuard &) = delete;

private:
    velmux_ctx m_context;
    bool m_armed = true;
};

// Closes the session when the wipe leaves, whichever way it leaves.
class SessionGuard
{
public:
    explicit SessionGuard(velmux_ctx context) : m_context(context) {}
    ~SessionGuard()
    {
        if (m_armed)
            velmux_close_session(m_context);
    }
    void closeNow()
    {
        m_armed = false;
        velmux_close_session(m_context);
    }
    SessionGuard(const SessionGuard &) = delete;
    SessionGuard &operator=(const SessionGuard &) = delete;

private:
    velmux_ctx m_context;
    bool m_armed = true;
};

DeviceWipeStatus runWipe(WipeAlgorithm algorithm, const MediaRecord *media, const QString &pin)
{
    velmux_ctx context = 0;
    if (VELMUX_FAILED(velmux_create_ctx(&context, media->mediaType)))
        return DeviceWipeStatus::ContextFailed;
    ContextGuard contextGuard(context);

    if (VELMUX_FAILED(velmux_open_session(context, media, 0)))
        return DeviceWipeStatus::OpenSessionFailed;
    SessionGuard sessionGuard(context);

    if (VELMUX_FAILED(login(context, pin)))
        return DeviceWipeStatus::LoginFailed;

    uint32_t containerSize = 0;
    if (VELMUX_FAILED(velmux_get_container_size(context, &containerSize)))
        return DeviceWipeStatus::SizeFailed;

    // One buffer of exactly the container's size serves every pass.
    std::vector<unsigned char> passBuffer(containerSize);
    bool written = true;
    const QVector<WipePass> passes = wipeSchedule(algorithm);
    PassBytes bytes;
    for (int i = 0; i < passes.size(); ++i) {
        bytes.beginPass(passes[i]);
        bytes.fill(passBuffer.data(), passBuffer.size());
        // A failed pass does not stop the others: every later pass still overwrites.
        if (VELMUX_FAILED(velmux_write_container(context, 1, passBuffer.data(), containerSize)))
            written = false;
        const bool anotherPass = i + 1 < passes.size();
        if (anotherPass || algorithm == Schneier)
            reopenSession(context, media, pin);
    }
    std::vector<unsigned char>().swap(passBuffer);

    reopenSession(context, media, pin);
    const velmux_status deleted = velmux_delete_container(context);
    sessionGuard.closeNow();
    contextGuard.destroyNow();

    if (!written)
        return DeviceWipeStatus::WriteFailed;
    if (VELMUX_FAILED(deleted))
        return DeviceWipeStatus::DeleteFailed;
    return DeviceWipeStatus::Wiped;
}

} // namespace

void reopenSession(velmux_ctx context, const MediaRecord *media, const QString &pin)
{
    velmux_close_session(context);
    velmux_open_session(context, media, 0);
    login(context, pin);
}

DeviceWipeStatus overwriteMediaContainer(WipeAlgorithm algorithm, const MediaRecord *media,
                                    const QString &pin)
{
    try {
        return runWipe(algorithm, media, pin);
    } catch (...) {
        return DeviceWipeStatus::Exception;
    }
}
