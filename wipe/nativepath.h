#ifndef NATIVEPATH_H
#define NATIVEPATH_H

// A path as the platform file layer takes it, from the Qt side: one place
// for the encoding, so that every caller names the same file.

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
    return path.toStdWString();
}
#else
inline std::string nativePath(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}
#endif

#endif // NATIVEPATH_H
