#ifndef JOURNALCHECK_H
#define JOURNALCHECK_H

#include "journal.h"
#include "keylast.h"
#include "journalhead.h"

#include <QByteArray>

#include <cstddef>
#include <functional>
#include <memory>

namespace journalchain {

// What the journal's bytes are checked against.
struct Anchor {
    QByteArray publicKey;         // empty: no key at hand
    qint64 keyEntriesBefore = -1; // from the key file; -1 unknown
    QString keyHashBefore;
    Head head;
    // What the installation's key records it signed last; checked only where
    // that key is the one at hand (keyLastChecked).
    KeyLast keyLast;
    bool keyKeepsLast = false;
    bool keyLastChecked = false;
};

// Cuts bytes fed in any pieces into the file's lines, numbered from 1; the
// last line needs no newline.
class LineSplitter
{
public:
    using Sink = std::function<void(const QByteArray &line, int number)>;
    explicit LineSplitter(Sink sink) : sink(std::move(sink)) {}
    void feed(const char *data, std::size_t length);
    void finish();
    bool empty() const { return !fed; }
    bool endsWithNewline() const { return !unended; } // once finished

private:
    Sink sink;
    QByteArray pending;
    int number = 0;
    bool fed = false;
    bool unended = false;
};

// The chain, the signatures and the end of a journal, fed its bytes front to
// back in any pieces: one line at a time is held, whatever the file's length.
class StreamCheck
{
public:
    using RecordSink = std::function<void(const JournalRecord &)>;
    // records, when given, hears of each entry as it holds; past a break it
    // may have heard of more, so a Broken result makes them worthless.
    explicit StreamCheck(const Anchor &anchor, RecordSink records = RecordSink());
    ~StreamCheck();
    StreamCheck(const StreamCheck &) = delete;
    StreamCheck &operator=(const StreamCheck &) = delete;

    void feed(const char *data, std::size_t length);
    // true once the outcome is known: the rest of the file need not be read.
    bool settled() const;
    VerifyResult finish();

private:
    class Checker;
    std::unique_ptr<Checker> checker;
    LineSplitter lines;
};

// The same over bytes alone: no file is touched. records, when given, gets
// the entries up to a break.
VerifyResult check(const QByteArray &bytes, const Anchor &anchor = Anchor(), QVector<JournalRecord> *records = nullptr);
// Every whole entry, whatever the chain says: what is shown past a break.
QVector<JournalRecord> wholeEntries(const QByteArray &bytes);
// Whether one stored entry's signature holds under publicKey.
bool lineSignatureHolds(const QByteArray &line, const QByteArray &publicKey);

// The same, one line at a time.
LineSplitter wholeEntriesSplitter(QVector<JournalRecord> *records);

} // namespace journalchain

#endif // JOURNALCHECK_H
