#ifndef TIMESTAMP_H
#define TIMESTAMP_H

#include "certificatesettings.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <memory>

// RFC 3161 time-stamp tokens from the organisation's authority: a time the
// installation's own key cannot forge. Asked for over HTTP through Qt's
// network module (its proxy settings apply); built and checked with
// OpenSSL's TS functions. Where the build has no OpenSSL, every call says so.
namespace timestamp {

bool supported();
QString notSupported(); // "not supported on this platform", Russian

// A token for a SHA-256 digest, with a fresh nonce and the authority's
// certificate asked for. Waits at most timeoutMs; empty, with why, where
// none came or the reply is not a granted token for this digest and nonce.
struct Fetched {
    QByteArray token; // DER TimeStampToken (CMS SignedData)
    QByteArray nonce; // as sent, big-endian bytes
    QString why;
};
Fetched fetch(const TimestampSettings &settings, const QByteArray &digest, int timeoutMs);

// How long a wipe waits for its token.
constexpr int kWaitMs = 5000;
// How far the authority's time may stand before the entry's own: the two
// clocks' drift and the authority's stated accuracy.
constexpr qint64 kToleranceSeconds = 300;

struct TokenCheck {
    enum class State { Holds, Fails, NotVerified };
    State state = State::NotVerified;
    QString why; // Russian
    QDateTime time; // the authority's, UTC; valid wherever the token could be read
};

// Checks tokens against one certificate authority's PEM file, read once.
class Verifier
{
public:
    explicit Verifier(const QString &caFile);
    ~Verifier();
    Verifier(const Verifier &) = delete;
    Verifier &operator=(const Verifier &) = delete;

    bool ready() const; // the CA file was read
    QString why() const; // why not
    // The imprint is digest, the signature chains to the CA with the
    // time-stamping usage, and the nonce is the one kept (empty: not kept).
    TokenCheck check(const QByteArray &token, const QByteArray &digest, const QByteArray &nonce) const;

private:
    struct Store;
    std::unique_ptr<Store> store;
    QString error;
};

// The authority's time in a token, without checking anything.
QDateTime tokenTime(const QByteArray &token);

} // namespace timestamp

#endif // TIMESTAMP_H
