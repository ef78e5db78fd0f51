#ifndef JOURNALEXPORT_H
#define JOURNALEXPORT_H

#include "journal.h"
#include "journaltexts.h"

#include <QByteArray>
#include <QDate>

// Entries whose local date (as written) lies in [from, to]; a null date is open.
QVector<JournalRecord> recordsBetween(const QVector<JournalRecord> &records, const QDate &from, const QDate &to);

// The rows as CSV: UTF-8 with a byte order mark (spreadsheet programs take
// the file for a legacy code page without it), comma separated, CRLF lines.
// A journal that did not verify gets its state as the first line.
QByteArray journalCsv(const QVector<JournalRecord> &records, const JournalTexts &texts = journalTexts(),
                      const VerifyResult &verification = VerifyResult());

bool writeFileAtomically(const QString &path, const QByteArray &data, QString *error);

#endif // JOURNALEXPORT_H
