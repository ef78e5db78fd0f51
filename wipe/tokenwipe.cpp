#include "tokenwipe.h"

#include "passbytes.h"
#include "velmuxextra.h"

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

// The library's context and its session for one wipe: released whichever way
// the wipe leaves.
class TokenSession
{
public:
    TokenSession(const MediaRecord *media, const QString &pin) : m_media(media), m_pin(pin) {}
    ~TokenSession() { release(); }
    TokenSession(const TokenSession &) = delete;
    TokenSession &operator=(const TokenSession &) = delete;

    bool create()
    {
        m_created = VELMUX_SUCCEEDED(velmux_create_ctx(&m_context, m_media->mediaType));
        return m_created;
    }
    bool open()
    {
        const bool opened = VELMUX_SUCCEEDED(velmux_open_session(m_context, m_media, 0));
        m_everOpened = m_everOpened || opened;
        return opened;
    }
    velmux_status login()
    {
        std::string utf8 = m_pin.toStdString(); // anew for every log-in
        const velmux_status status = velmux_login(m_context, utf8.c_str());
        clearSecret(utf8);
        m_loggedIn = VELMUX_SUCCEEDED(status);
        return status;
    }
    // A fresh log-in. The statuses are not examined: a failed log-in shows in
    // the call after it.
    void reopen()
    {
        velmux_close_session(m_context);
        open();
        login();
    }
    void release()
    {
        if (m_everOpened)
            velmux_close_session(m_context);
        if (m_created)
            velmux_destroy_ctx(m_context);
        m_everOpened = m_created = false;
    }
    velmux_ctx context() const { return m_context; }
    bool loggedIn() const { return m_loggedIn; }

private:
    const MediaRecord *m_media;
    const QString &m_pin;
    velmux_ctx m_context = 0;
    bool m_created = false;
    bool m_everOpened = false;
    bool m_loggedIn = false;
};

// Keeps the token's own reason for the first call that failed.
void noteReason(TokenWipeOutcome &out)
{
    auto lastError = VELMUX_EXTRA(velmux_get_last_error);
    if (out.tokenReason != 0 || !lastError)
        return;
    uint32_t rv = 0;
    char text[256] = {};
    if (VELMUX_SUCCEEDED(lastError(&rv, text, sizeof text)) && rv != 0) {
        out.tokenReason = rv;
        out.tokenReasonText = QString::fromUtf8(text);
        char name[64] = {};
        auto rvName = VELMUX_EXTRA(velmux_get_rv_name);
        if (rvName && VELMUX_SUCCEEDED(rvName(rv, name, sizeof name)))
            out.tokenReasonName = QString::fromUtf8(name);
    }
}

TokenWipeStatus loginFailure(velmux_status status)
{
    switch (status) {
    case VELMUX_E_PIN_LOCKED:
        return TokenWipeStatus::PinLocked;
    case VELMUX_E_PIN_NOT_INITIALIZED:
        return TokenWipeStatus::PinNotInitialized;
    case VELMUX_E_PIN_EXPIRED:
        return TokenWipeStatus::PinExpired;
    default:
        return TokenWipeStatus::LoginFailed;
    }
}

// What the deletion's proof found, where the library can say.
TokenRemnant remnantOf(velmux_ctx context)
{
    TokenRemnant out;
    VelmuxRemnant remnant{};
    remnant.size = sizeof remnant;
    auto get = VELMUX_EXTRA(velmux_get_remnant);
    if (!get || VELMUX_FAILED(get(context, &remnant)))
        return out;
    switch (remnant.bytes) {
    case VELMUX_REMNANT_ORIGINAL:
        out.bytes = RemnantBytes::Original;
        break;
    case VELMUX_REMNANT_PASS:
        out.bytes = RemnantBytes::Pass;
        out.pass = int(remnant.pass);
        break;
    case VELMUX_REMNANT_OTHER:
        out.bytes = RemnantBytes::Other;
        break;
    default:
        return out;
    }
    out.label = QString::fromUtf8(remnant.label, int(qstrnlen(remnant.label, sizeof remnant.label)));
    out.application
        = QString::fromUtf8(remnant.application, int(qstrnlen(remnant.application, sizeof remnant.application)));
    return out;
}

QString containerLabelOf(velmux_ctx context)
{
    char label[129] = {};
    auto get = VELMUX_EXTRA(velmux_get_container_label);
    if (!get || VELMUX_FAILED(get(context, label, sizeof label)))
        return QString();
    return QString::fromUtf8(label, int(qstrnlen(label, sizeof label)));
}

void makerOf(velmux_ctx context, const MediaRecord *media, TokenWipeOutcome &out)
{
    VelmuxMaker maker = {};
    maker.size = sizeof maker;
    auto get = VELMUX_EXTRA(velmux_get_media_maker);
    if (!get || VELMUX_FAILED(get(context, media, &maker)))
        return;
    out.makerKnown = true;
    out.tokenMaker = QString::fromUtf8(maker.manufacturer, int(qstrnlen(maker.manufacturer, sizeof maker.manufacturer)));
    out.tokenModel = QString::fromUtf8(maker.model, int(qstrnlen(maker.model, sizeof maker.model)));
}

// Whether the container is still there; only a logged-in session sees a private one.
ContainerLeft containerLeft(const TokenSession &token)
{
    if (!token.loggedIn())
        return ContainerLeft::Unknown;
    uint32_t size = 0;
    const velmux_status status = velmux_get_container_size(token.context(), &size);
    if (status == VELMUX_E_CONTAINER_NOT_FOUND)
        return ContainerLeft::Gone;
    if (VELMUX_SUCCEEDED(status) || status == VELMUX_E_CONTAINER_AMBIGUOUS)
        return ContainerLeft::Present;
    return ContainerLeft::Unknown;
}

void runWipe(const PassPlan &plan, const MediaRecord *media, const QString &pin,
             const std::function<void(int)> &passStarted, TokenWipeOutcome &out)
{
    const QVector<WipePass> &passes = plan.passes;
    out.passesPlanned = passes.size();
    TokenSession token(media, pin);
    if (!token.create()) {
        noteReason(out);
        out.status = TokenWipeStatus::ContextFailed;
        return;
    }
    if (!token.open()) {
        noteReason(out);
        out.status = TokenWipeStatus::OpenSessionFailed;
        return;
    }
    makerOf(token.context(), media, out);
    const velmux_status loggedIn = token.login();
    if (VELMUX_FAILED(loggedIn)) {
        noteReason(out);
        out.status = loginFailure(loggedIn);
        return;
    }
    out.left = ContainerLeft::Present;

    uint32_t containerSize = 0;
    const velmux_status sized = velmux_get_container_size(token.context(), &containerSize);
    if (sized == VELMUX_E_CONTAINER_NOT_FOUND) {
        out.status = TokenWipeStatus::NoContainer;
        out.left = ContainerLeft::Gone;
        return;
    }
    if (sized == VELMUX_E_CONTAINER_AMBIGUOUS) {
        out.status = TokenWipeStatus::Ambiguous;
        if (auto count = VELMUX_EXTRA(velmux_count_containers))
            if (VELMUX_FAILED(count(token.context(), &out.containers)))
                out.containers = 0;
        return;
    }
    if (VELMUX_FAILED(sized)) {
        noteReason(out);
        out.status = TokenWipeStatus::SizeFailed;
        return;
    }

    out.containerSize = containerSize;
    out.containerLabel = containerLabelOf(token.context());

    // One buffer of exactly the container's size serves every pass.
    std::vector<unsigned char> passBuffer(containerSize);
    PassBytes bytes;
    for (int i = 0; i < passes.size(); ++i) {
        if (passStarted)
            passStarted(i);
        bytes.beginPass(passes[i]);
        bytes.fill(passBuffer.data(), passBuffer.size());
        // A failed pass does not stop the others: every later pass still overwrites.
        if (VELMUX_SUCCEEDED(velmux_write_container(token.context(), 1, passBuffer.data(), containerSize)))
            ++out.passesDone;
        else
            noteReason(out);
        const bool anotherPass = i + 1 < passes.size();
        if (anotherPass || plan.algorithm == Schneier)
            token.reopen();
    }
    std::vector<unsigned char>().swap(passBuffer);

    token.reopen();
    const velmux_status deletion = velmux_delete_container(token.context());
    const bool deleted = VELMUX_SUCCEEDED(deletion);
    const bool unproven = deletion == VELMUX_E_DELETION_UNPROVEN;
    if (!deleted)
        noteReason(out);
    if (deletion == VELMUX_E_NOT_DELETED)
        out.remnant = remnantOf(token.context());
    if (deleted)
        out.left = ContainerLeft::Gone;
    else if (unproven)
        out.left = ContainerLeft::Unknown;
    else
        out.left = out.remnant.bytes != RemnantBytes::None ? ContainerLeft::Present : containerLeft(token);
    uint32_t methods = 0;
    if (auto method = VELMUX_EXTRA(velmux_get_write_method))
        if (VELMUX_FAILED(method(token.context(), &methods)))
            methods = 0;
    out.replaced = methods & VELMUX_WRITTEN_BY_REPLACEMENT;
    token.release();

    if (out.passesDone < passes.size())
        out.status = TokenWipeStatus::WriteFailed;
    else if (unproven)
        out.status = TokenWipeStatus::DeletionUnproven;
    else if (!deleted)
        out.status = TokenWipeStatus::DeleteFailed;
    else
        out.status = TokenWipeStatus::Wiped;
}

} // namespace

TokenWipeOutcome overwriteTokenContainer(const PassPlan &plan, const MediaRecord *media,
                                          const QString &pin, const std::function<void(int pass)> &passStarted)
{
    TokenWipeOutcome out;
    try {
        runWipe(plan, media, pin, passStarted, out);
    } catch (...) {
        out.status = TokenWipeStatus::Exception;
    }
    return out;
}

TokenMaker tokenMakerOf(const MediaRecord &media)
{
    TokenSession token(&media, QString());
    TokenWipeOutcome out;
    if (token.create())
        makerOf(token.context(), &media, out);
    return {out.makerKnown, out.tokenMaker, out.tokenModel};
}
