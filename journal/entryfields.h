#ifndef ENTRYFIELDS_H
#define ENTRYFIELDS_H

#include <QJsonObject>

struct JournalEntry;

// The entry's fields a certificate names: who did it, the disks or the
// token's maker, the pass patterns, the organisation's own fields. Kept
// apart from the chain's code; an entry without them reads as before.
void insertCertificateFields(const JournalEntry &e, QJsonObject &object);
void readCertificateFields(const QJsonObject &object, JournalEntry &e);

#endif // ENTRYFIELDS_H
