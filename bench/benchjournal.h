#ifndef BENCHJOURNAL_H
#define BENCHJOURNAL_H

#include "signing.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

namespace bench {

// One ending entry shaped as the program writes it: what was signed, the
// signature, the stored line and the hash the next entry chains onto.
struct SignedEntry {
    QByteArray message, signature, line;
    QString hash;
};

inline SignedEntry signedEntry(int seq, const QString &host, const QString &previous, const SigningKey &key)
{
    const QString target = QStringLiteral("/home/officer/keys/key-%1.pfx").arg(seq);
    QJsonObject object{
        {"algorithm", QJsonObject{{"index", 1}, {"name", "DoD 5220.22-M"}}},
        {"attempt", QStringLiteral("5948a4a8-c269-4c5b-b711-%1").arg(seq, 12, 10, QLatin1Char('0'))},
        {"host", host},
        {"interface", "command-line"},
        {"passes", QJsonObject{{"done", 3}, {"planned", 3}}},
        {"prev", previous},
        {"result", QJsonObject{{"informative", QStringLiteral("Файл: %1\nАлгоритм: DoD 5220.22-M\n"
                                                              "Проходов на носителе: 3 из 3\nВремя: 0,02 с")
                                                   .arg(target)},
                               {"state", "wiped"},
                               {"text", "Ключевой контейнер очищен и удален успешно."}}},
        {"seq", double(seq)},
        {"target", QJsonObject{{"kind", "file"}, {"path", target}, {"size", 4096}}},
        {"time_local", "2024-05-14T10:21:07+03:00"},
        {"time_utc", "2024-05-14T07:21:07Z"},
        {"user", "officer"},
        {"version", "1.0.0.6"},
    };
    // The first signed entry says how many came before the key: none here.
    if (seq == 1)
        object.insert("unsigned_before", 0);
    SignedEntry entry;
    entry.message = QJsonDocument(object).toJson(QJsonDocument::Compact);
    entry.signature = key.sign(entry.message);
    object.insert("sig", QString::fromLatin1(entry.signature.toBase64()));
    entry.line = QJsonDocument(object).toJson(QJsonDocument::Compact);
    entry.hash = QString::fromLatin1(QCryptographicHash::hash(entry.line, QCryptographicHash::Sha256).toHex());
    return entry;
}

} // namespace bench

#endif // BENCHJOURNAL_H
