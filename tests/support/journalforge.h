#ifndef JOURNALFORGE_H
#define JOURNALFORGE_H

#include "journal.h"
#include "signing.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

#include <functional>

// Journals forged from a genuine one, as an insider who can write the file
// but lacks the key would: made by the tests, never checked in.
namespace journalforge {

inline QList<QByteArray> lines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> all = file.readAll().split('\n');
    if (!all.isEmpty() && all.last().isEmpty())
        all.removeLast();
    return all;
}

inline bool write(const QString &path, const QList<QByteArray> &all, bool newlineAtEnd = true)
{
    QFile file(path);
    const QByteArray data = all.join('\n') + (newlineAtEnd && !all.isEmpty() ? "\n" : "");
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

inline QString hashOf(const QByteArray &line)
{
    return QString::fromLatin1(QCryptographicHash::hash(line, QCryptographicHash::Sha256).toHex());
}

// Every entry through edit, its signature dropped, the chain rebuilt from
// the first line; signed again where a signer is given.
inline bool rechain(const QString &path, const std::function<void(QJsonObject &, int)> &edit,
                    const SigningKey *signer = nullptr)
{
    QList<QByteArray> all = lines(path);
    QString previous = Journal::genesisHash();
    for (int i = 0; i < all.size(); ++i) {
        QJsonObject object = QJsonDocument::fromJson(all[i]).object();
        object.remove("sig");
        edit(object, i);
        object["prev"] = previous;
        if (signer)
            object["sig"] = QString::fromLatin1(signer->sign(QJsonDocument(object).toJson(QJsonDocument::Compact)).toBase64());
        all[i] = QJsonDocument(object).toJson(QJsonDocument::Compact);
        previous = hashOf(all[i]);
    }
    return write(path, all);
}

// An entry chained onto the last whole one, unsigned: what can be added without the key.
inline QByteArray chainedAfter(const QByteArray &last)
{
    QJsonObject object = QJsonDocument::fromJson(last).object();
    object.remove("sig");
    object["seq"] = object.value("seq").toDouble() + 1;
    object["prev"] = hashOf(last);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// The head's two copies as stored, each padded to its fixed size, and which
// of them is the newer.
inline QList<QByteArray> headCopies(const QString &headPath)
{
    QFile file(headPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = file.readAll();
    return {all.left(all.size() / 2), all.mid(all.size() / 2)};
}

inline int newerCopy(const QList<QByteArray> &copies)
{
    const auto generation = [](const QByteArray &copy) {
        return QJsonDocument::fromJson(copy.trimmed()).object().value("gen").toDouble();
    };
    return generation(copies.value(1)) > generation(copies.value(0)) ? 1 : 0;
}

} // namespace journalforge

#endif // JOURNALFORGE_H
