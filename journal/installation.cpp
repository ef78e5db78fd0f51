#include "installation.h"

#include "kcc_version.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace installation {

namespace {

// The user's data directory under which each program kept a directory of its own.
QString dataRoot()
{
#ifdef _WIN32
    // Roaming, as Qt's application data location was before.
    const QString roaming = qEnvironmentVariable("APPDATA");
    if (!roaming.isEmpty())
        return QDir::fromNativeSeparators(roaming);
#endif
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

QString earlierDirectory()
{
    return dataRoot() + QStringLiteral("/" KCC_PROGRAM "-cli");
}

} // namespace

QString name()
{
#ifdef _WIN32
    return QStringLiteral("Kestrik_KCC");
#else
    return QStringLiteral(KCC_PROGRAM);
#endif
}

void nameApplication()
{
    QCoreApplication::setApplicationName(name());
    // No organisation name: Qt would put it between the user's directory and
    // the application's in its own locations on Linux and Windows alike.
}

QString dataDirectory()
{
    return dataRoot() + QLatin1Char('/') + name();
}

QString configDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/') + name();
}

QString earlierJournalPath()
{
    if (!qEnvironmentVariable("KCC_JOURNAL").isEmpty())
        return QString();
    const QString path = earlierDirectory() + QStringLiteral("/journal.jsonl");
    return QFileInfo(path).isFile() ? path : QString();
}

QString earlierKeyPath()
{
    return earlierDirectory() + QStringLiteral("/signing.key");
}

} // namespace installation
