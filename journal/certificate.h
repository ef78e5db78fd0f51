#ifndef CERTIFICATE_H
#define CERTIFICATE_H

#include "journal.h"

#include <QByteArray>
#include <QHash>
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

// The body signed with the installation's key: {"certificate", "public_key",
// "signer_key_sha256", "signature"}. Empty, with why, where no key can be had.
QByteArray signCertificate(const QJsonObject &body, QString *why);

// The keys a certificate may be checked with, by their fingerprint.
QHash<QString, QByteArray> keysByFingerprint(const QVector<QByteArray> &keys);

struct CertificateCheck {
    enum class State { Holds, Fails, NotVerified };
    State state = State::NotVerified;
    QString why;  // what fails, Russian
    int line = 0; // the file's line that fails
    QJsonObject body;
    QString signer; // the fingerprint of the pinned key it holds with
};

// Checks a certificate only with the pinned or given keys, the one whose
// fingerprint it names: a key carried inside it proves nothing, since anyone
// can sign with a key of their own. No keys: not verified.
// Summary: for a collection, which reads only the body's host, journal.seq,
// journal.entry_sha256 and timestamp.state. Where the file is as this
// program wrote it (and not stamped), those are read from the signed text
// itself and the body holds only them; otherwise it is whole.
enum class CertificateBody { Whole, Summary };
CertificateCheck checkCertificate(const QByteArray &file, const QHash<QString, QByteArray> &keys,
                                  CertificateBody wanted = CertificateBody::Whole);

// The line of the file where a field first stands, from 1.
int certificateLine(const QByteArray &file, const char *field);

#endif // CERTIFICATE_H
