#include "signing.h"

// Built without a signing library (the Windows cross build: Debian ships none
// for it). Entries and certificates are then unsigned, and say so.
bool SigningKey::available()
{
    return false;
}

QString SigningKey::defaultPath()
{
    return QString();
}

SigningKey::Load SigningKey::load(QString *error)
{
    return loadFrom(QString(), error);
}

SigningKey::Load SigningKey::loadFrom(const QString &, QString *error)
{
    if (error)
        *error = QStringLiteral("no signing library");
    return Load::Refused;
}

bool SigningKey::create(qint64, const QString &, QString *error)
{
    if (error)
        *error = QStringLiteral("no signing library");
    return false;
}

QByteArray SigningKey::sign(const QByteArray &) const
{
    return QByteArray();
}

bool SigningKey::verify(const QByteArray &, const QByteArray &, const QByteArray &)
{
    return false;
}
