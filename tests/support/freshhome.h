#ifndef FRESHHOME_H
#define FRESHHOME_H

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QVector>

#include <utility>

// A user who has never run either program: an empty home, and none of the
// variables that name a journal, a key or settings elsewhere, so that every
// path is the installation's own. Restored when it goes.
struct FreshHome {
    QTemporaryDir dir;
    QVector<std::pair<const char *, QByteArray>> saved;

    FreshHome()
    {
        for (const char *name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "KCC_JOURNAL", "KCC_SIGNING_KEY",
                                 "KCC_CERTIFICATE_SETTINGS", "KCC_TRUSTED_KEYS"}) {
            saved.append({name, qgetenv(name)});
            qunsetenv(name);
        }
        qputenv("HOME", QFile::encodeName(dir.path()));
        qputenv("KCC_TRUSTED_KEYS", QFile::encodeName(dir.filePath(QStringLiteral("no-trusted-keys"))));
    }
    ~FreshHome()
    {
        for (const auto &variable : saved) {
            if (variable.second.isNull())
                qunsetenv(variable.first);
            else
                qputenv(variable.first, variable.second);
        }
    }
    QString path(const QString &relative) const { return dir.filePath(relative); }
    // What each program kept where: the installation's directory, and the one
    // an earlier command line kept under its own name.
    static QString record() { return QStringLiteral(".local/share/kestrik-kcc"); }
    static QString earlierRecord() { return QStringLiteral(".local/share/kestrik-kcc-cli"); }
    QStringList files(const QString &relative) const
    {
        return QDir(path(relative)).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
};

#endif // FRESHHOME_H
