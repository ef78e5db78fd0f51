#ifndef STAMPS_H
#define STAMPS_H

#include "journal.h"
#include "timestamp.h"

#include <QJsonObject>
#include <QString>
#include <QVector>

// The authority's stamps in the journal: asked for after each ending entry,
// kept as a following timestamp entry, checked on every verification.
namespace stamps {

// Stamps one ending entry just written: a token for its line's SHA-256,
// appended as a timestamp entry. Empty where it was; else why it is pending.
QString stampEntry(const Journal &journal, const JournalRecord &ended, const TimestampSettings &settings,
                   JournalEntry::Interface via, int timeoutMs = timestamp::kWaitMs);

// Ending entries that asked for a stamp and have none yet, oldest first.
QVector<JournalRecord> pending(const QVector<JournalRecord> &records);

struct PendingRun {
    int stamped = 0;
    int left = 0;
    QString why; // why the first one left is still pending
};
// Asks for every pending stamp within timeoutMs in all; stops at the first
// that fails, since the authority is then most likely down.
PendingRun stampPending(const Journal &journal, const TimestampSettings &settings, JournalEntry::Interface via,
                        int timeoutMs = timestamp::kWaitMs);

// What the tokens in a journal say, each checked against the CA.
struct Report {
    int stamped = 0;   // ending entries with a token that holds
    int pending = 0;   // asked for, none yet
    int unstamped = 0; // written with no authority configured
    struct Finding {
        int line = 0; // of the timestamp entry, or of the stamped entry where its time disagrees
        qint64 seq = 0;
        QString why; // Russian
        bool clock = false; // the entry's own time disagrees with the authority's
    };
    QVector<Finding> findings;
    QString notVerified; // why the tokens were not checked (no CA)
    bool failed() const { return !findings.isEmpty(); }
};
// records: every whole entry, as Journal::readAll gives them.
Report check(const QVector<JournalRecord> &records, const timestamp::Verifier &verifier);

// The checks of the authority's time against the entry's own: "" where it agrees.
QString timeDisagreement(const QDateTime &authority, const QDateTime &entry, const QDateTime &recorded);

// The stamp of an ending entry as its certificate carries it; empty where none.
QJsonObject certificateStamp(const QVector<JournalRecord> &records, const JournalRecord &ended);
// A certificate's stamp checked against its own entry_sha256 and times.
timestamp::TokenCheck checkCertificateStamp(const QJsonObject &body, const timestamp::Verifier &verifier,
                                            bool *clock = nullptr);

// "Метки времени: поставлено N, ожидают M, без метки K." and each finding.
QStringList stampLines(const Report &report, const QString &file);

} // namespace stamps

#endif // STAMPS_H
