#ifndef JOURNAL_H
#define JOURNAL_H

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

#include "journalwords.h"
#include "signing.h"

// What one confirmed wipe attempt leaves in the journal. There is no field for
// a PIN or key bytes: nothing secret can be recorded.
struct JournalEntry {
    enum class Interface { Window, CommandLine };
    enum class TargetKind { File, Token };
    // Every wipe is journalled twice: begun, forced to the medium before the
    // first pass, and ended; between them one progress entry per pass that
    // reached the medium. An attempt with no ending entry was cut off.
    // A timestamp entry follows an ending entry and keeps the authority's
    // token for it; it belongs to no attempt.
    enum class Phase { Ended, Begun, Progress, Timestamp };

    Phase phase = Phase::Ended;
    QString attempt; // shared by an attempt's two entries; empty in entries from before they were kept
    // Begun entries: the process that runs the wipe, and the file as it was.
    qint64 pid = 0;
    QString boot;
    qint64 processStarted = 0;
    QString hostId; // the machine's id: only this host closes its own attempts
    quint64 fileDevice = 0; // 0: not looked at
    quint64 fileIndex = 0;

    // Filled by Journal::append when left empty.
    QDateTime time; // the moment of the attempt; kept as local time with its offset and as UTC
    QDateTime started; // ending entries: when the attempt's begun entry was written
    QString user;
    QString host;
    QString version; // KCC_VERSION

    Interface interface = Interface::Window;

    TargetKind targetKind = TargetKind::File;
    QString filePath;      // absolute
    qint64 size = -1;      // of the file or the container in bytes; -1: unknown
    QString tokenLabel;    // any of the token fields may be empty: unknown
    QString tokenModel;
    QString tokenSerial;
    QString containerLabel;
    QString tokenMaker;    // the token's manufacturer; empty: unknown
    // A file's medium: what it lay on, whether the passes reached its own
    // blocks and how the last pass was read back. None for a token, and in
    // entries from before they were kept.
    QString fileSystem;
    QString device;
    PlacementWord placement = PlacementWord::None;
    VerificationWord verification = VerificationWord::None;
    // A search of the file's volume after the wipe, and a fill of what it
    // freed: the device read, how much and how long, the blocks of the key
    // found (-1: not searched); the fill's bytes and end.
    QString volumeDevice;
    qint64 volumeBytesRead = -1;
    qint64 volumeMs = -1;
    int survivors = -1;
    qint64 fillBytes = -1;
    FillWord fill = FillWord::None;
    // The disks under the file's volume as the system names them, each field
    // empty where it does not; none where no block device is below.
    struct Disk {
        QString name, maker, model, serial, transport, kind;
    };
    QVector<Disk> disks;
    QStringList deviceLimits; // what the device adds: "flash", "encrypted", "image-file"

    // Who did it, from the settings where the wipe ran; empty where not set.
    // operatorSource: "settings" when a name was set, else "login".
    QString operatorName, operatorTitle, operatorOrganisation, operatorLocation, operatorPhone;
    QString operatorSource;
    QMap<QString, QString> organisationFields; // the certificate's optional fields, by setting key
    QStringList passPatterns; // what each planned pass writes

    QString algorithmName; // as the window shows it
    int algorithmIndex = -1; // 0..7
    int passesPlanned = 0;
    int passesDone = 0; // passes that reached the medium

    // Ending entries written while an authority was configured: a stamp is
    // owed them until a timestamp entry names them.
    bool stampAsked = false;
    // Timestamp entries: the entry stamped (its number and its line's SHA-256,
    // hex), the authority's token (DER) and the nonce that was sent.
    qint64 stampedSequence = 0;
    QString stampedHash;
    QByteArray stampToken;
    QByteArray stampNonce;

    QString resultText;        // the result box's main text
    QString resultInformative; // its informative text
    EndState endState = EndState::Unknown;
};

// An entry as it is stored, with where it stands in the file.
struct JournalRecord {
    JournalEntry entry;
    qint64 sequence = 0; // 1 for the first entry of the file
    int line = 0;        // 1-based line of the file
    QString hash;        // SHA-256 of the stored line, hex; the next entry carries it
    QString localTimeText; // as stored, with the offset it was written with
};

struct VerifyResult {
    enum class State {
        Intact,   // every entry chains onto the one before it (also: no file, no entries)
        TornLast, // as Intact, but the last line was cut short by an interrupted append
        Broken,   // see kind and line
        Unreadable,
        NotVerified, // the signatures or the end could not be checked: no key, an unpinned key, no head
    };
    enum class Break {
        None,
        Changed,   // the entry at line was altered after the next entry was written
        Missing,   // one or more entries before the entry at line were removed
        Reordered, // the entry at line stands out of its order
        Malformed, // a JSON object at line that is not a journal entry
        Unsigned,  // the entry at line is not signed, and not proven older than the key
        Cut,       // the journal ends before the entry its signed head names
        Emptied,   // no entries, but the head names some
        Damaged,   // a damaged line at line that a later entry went past without saying so
        HeadInvalid, // the head's signature does not hold
        KeyCut,    // the journal ends before the last entry its key signed (see error)
    };
    State state = State::Intact;
    Break kind = Break::None;
    int line = 0;          // the first broken entry's line (Broken), the torn line (TornLast)
    int entries = 0;       // whole entries read
    QVector<int> tornLines; // lines of earlier interrupted appends, skipped by the chain
    QString error;          // Unreadable, NotVerified: why
    bool signaturesChecked = false; // a key was at hand to check every entry's signature
    int unsignedBeforeKey = 0;      // entries proven written before the key was made, so without its signature
    qint64 headSequence = -1;       // the last entry as the head names it; -1: no head
    qint64 lastSequence = 0;        // the last whole entry's
    QString keyFingerprint;         // of the key the signatures were checked with
    bool noFile = false;            // there is no journal file yet
    qint64 keyLastSequence = -1;    // the last entry the key signed, from its record; -1: not read
    // Attempts begun and not ended, oldest first: their begun entries, with
    // passesDone from their progress entries.
    QVector<JournalRecord> open;

    bool ok() const { return state == State::Intact; }
    QString describe() const; // for the journal window and the act, Russian
};

class Journal
{
public:
    // An attempt without its ending entry: its process still runs on this
    // host, is gone (interrupted), or runs on another host that alone can tell.
    enum class OpenState { Running, Interrupted, Elsewhere };
    static OpenState openState(const JournalEntry &begun);

    // KCC_JOURNAL when set, else journal.jsonl in the application data location.
    static QString defaultPath();
    static QString genesisHash(); // what the first entry of a file chains onto

    // keyPath: the key file its signatures are checked with; empty: the installation's.
    explicit Journal(QString path = defaultPath(), QString keyPath = QString());
    // The journal an earlier command line kept apart, with the key beside it;
    // its path is empty where there is none.
    static Journal earlierCommandLine();
    // Where that journal lies and how to check it and make its act; empty where there is none.
    static QString earlierCommandLineNotice();
    QString path() const { return filePath; }
    // The fingerprint of the key the head says it was signed with; empty: none.
    QString headKeyFingerprint() const;
    // The key its signatures are checked with; made where there is none yet,
    // as the first signed entry would make it (made then true), and only for
    // the installation's own journal.
    SigningKey::Load keyMadeIfMissing(SigningKey *key, bool *made, QString *error = nullptr) const;
    // The signed head: the last entry's number and hash and the attempts
    // still open, kept beside the journal and rewritten with every append.
    QString headPath() const { return filePath + QStringLiteral(".head"); }

    // Appends one line, forced to the medium, and copies it to the system log
    // whether or not it was written. false, with the reason in error, when the
    // line is not safely on disk; nothing is appended to a journal whose end
    // does not match its head. systemLogDropped: the copy could not be sent in time.
    // stored, where given and the line is written: its number and hash.
    bool append(JournalEntry entry, QString *error = nullptr, bool *systemLogDropped = nullptr,
                JournalRecord *stored = nullptr) const;
    // Appends an ending entry only while its attempt is open in the head, so
    // that two starts close an interrupted attempt once.
    bool closeAttempt(JournalEntry ending, bool *alreadyClosed, QString *error = nullptr) const;
    // The begun entries of attempts with no ending yet, through the head: no
    // more is read than the journal's end and those entries. Their passesDone
    // is what the progress entries recorded. Never writes.
    QVector<JournalRecord> openAttempts(QString *error = nullptr) const;

    // anchorKey: check the signatures with this public key rather than the
    // installation's key file. Reads one line at a time; each, when given,
    // hears of every entry that holds, and a Broken result makes them void.
    VerifyResult verify(const QByteArray &anchorKey = QByteArray(),
                        const std::function<void(const JournalRecord &)> &each = {}) const;
    // Whole ending entries, oldest first: one a wipe; torn lines and, unless
    // asked for, begun and progress entries are left out.
    QVector<JournalRecord> read(VerifyResult *verification = nullptr, bool withBegun = false,
                                const QByteArray &anchorKey = QByteArray()) const;

    // Every whole entry as the check read it, whatever its phase, amended
    // endings and timestamp entries too.
    QVector<JournalRecord> readEntries(VerifyResult *verification = nullptr, const QByteArray &anchorKey = QByteArray()) const;

    // One row an attempt, as the views show them: its ending entry, or where
    // it has none its begun entry, with passesDone from its progress entries
    // and endState Interrupted (its process is gone) or Begun. Never writes.
    QVector<JournalRecord> readAttempts(VerifyResult *verification = nullptr) const;

    static QString systemLogLine(const JournalRecord &record);
    // Tells the system log that a wipe goes on without its begun entry, as
    // the officer chose.
    static void reportWithoutRecord(const JournalEntry &begun, const QString &why);

private:
    bool appendEntry(JournalEntry entry, bool onlyIfOpen, bool *alreadyClosed, QString *error,
                     bool *systemLogDropped, JournalRecord *stored = nullptr) const;
    void readChecked(VerifyResult *result, const std::function<void(const JournalRecord &)> &each,
                     QVector<JournalRecord> *shownPastBreak, const QByteArray &anchorKey) const;

    QString filePath;
    QString keyFile;
};

#endif // JOURNAL_H
