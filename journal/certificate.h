#ifndef CERTIFICATE_H
#define CERTIFICATE_H

#include "journal.h"

#include <QByteArray>
#include <QJsonObject>
#include <QPair>
#include <QString>
#include <QVector>

// A certificate of one destruction, from its ending journal entry: what was destroyed, on what, how, how it was
// checked, with which tool, when, where and by whom, in the fields of a
// sanitization certificate that apply. The same entry always gives the same
// bytes, so its fingerprint can be printed in the act.
QJsonObject certificateBody(const JournalRecord &ended, const QString &journalPath);
QString certificateFingerprint(const QJsonObject &body); // SHA-256 of its canonical bytes, hex

// Only an ending that removed the container gets a certificate.
bool certificateIssued(const JournalEntry &ended);

// The body's fields as "path.to.field" and its value, in the JSON's order, so
// a printed act shows exactly what the file says.
QVector<QPair<QString, QString>> certificateFields(const QJsonObject &body);

// The body signed with the installation's key: {"certificate", "public_key", "signature"}.
// Empty, with why, where no key can be had.
QByteArray signCertificate(const QJsonObject &body, QString *why);

// Whether the file is a certificate signed by publicKey (32 bytes). why says
// what fails.
bool verifyCertificate(const QByteArray &file, const QByteArray &publicKey, QString *why);

#endif // CERTIFICATE_H
