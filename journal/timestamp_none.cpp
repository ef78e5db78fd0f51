#include "timestamp.h"

#include <QCoreApplication>

// The build has no OpenSSL here: stamps are neither asked for nor checked,
// and every caller says so.
namespace timestamp {

bool supported()
{
    return false;
}

QString notSupported()
{
    return QCoreApplication::translate("Timestamp", "метки времени на этой платформе не поддерживаются");
}

Fetched fetch(const TimestampSettings &, const QByteArray &, int)
{
    Fetched fetched;
    fetched.why = notSupported();
    return fetched;
}

QDateTime tokenTime(const QByteArray &)
{
    return QDateTime();
}

struct Verifier::Store {
};

Verifier::Verifier(const QString &) : error(notSupported()) {}

Verifier::~Verifier() = default;

bool Verifier::ready() const
{
    return false;
}

QString Verifier::why() const
{
    return error;
}

TokenCheck Verifier::check(const QByteArray &, const QByteArray &, const QByteArray &) const
{
    TokenCheck result;
    result.why = error;
    return result;
}

} // namespace timestamp
