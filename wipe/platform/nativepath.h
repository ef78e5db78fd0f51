#ifndef NATIVEPATH_H
#define NATIVEPATH_H

// A path as the platform layers (the wipe's and the journal's) take it, from
// the Qt side: one place for the encoding, so that every caller names the
// same file. Header only, for the Qt side; the layers themselves stay free of Qt.

#include <QDir>
#include <QFile>
#include <QString>

#include <string>

// Whether the path can be handed to the system as it stands. A name that was
// not valid in the system's encoding comes back with U+FFFD in it, and
// encoding that would name a different file; a NUL would cut the name short.
inline bool encodablePath(const QString &path)
{
    if (path.contains(QChar(QChar::ReplacementCharacter)) || path.contains(QChar(0)))
        return false;
#ifdef _WIN32
    return true;
#else
    return QFile::decodeName(QFile::encodeName(path)) == path;
#endif
}

#ifdef _WIN32
inline std::wstring nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}
#else
inline std::string nativePath(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}
#endif

#endif // NATIVEPATH_H
