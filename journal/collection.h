#ifndef COLLECTION_H
#define COLLECTION_H

#include <QByteArray>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

// The journals (*.jsonl, each with its *.jsonl.head) and certificates
// (*.json) collected from many hosts under one directory, in any layout,
// checked against the organisation's pinned keys.
struct CollectionReport {
    struct Failure {
        QString file;
        int line = 0; // 0: the file as a whole
        QString why;  // Russian
    };
    bool keysPinned = false; // without them nothing is checked
    int journals = 0;
    int certificates = 0;
    int entries = 0;
    QSet<QString> hosts; // as the entries and certificates name them
    QSet<QString> keys;  // fingerprints of the keys that signed what holds: one per installation
    QMap<QString, int> wipes; // ending entries by end state
    int crossChecked = 0;     // certificates whose entry is in the collection and matches
    int withoutEntry = 0;     // certificates whose journal was not collected
    // The authority's stamps of the ending entries, against the configured CA.
    int stamped = 0, stampsPending = 0, unstamped = 0;
    QString stampsNotVerified;
    QVector<Failure> failures;
    bool journalFailed = false;
    bool certificateFailed = false;
    // The collector's store of system-log events, each carrying its entry.
    int eventFiles = 0;
    int events = 0;         // read, resent ones counted each time
    int installations = 0;  // host and key, as the events name them
    int eventEntries = 0;   // distinct entries rebuilt from them
    QMap<QString, int> eventWipes; // ending entries by end state
    QStringList wholeHosts; // every installation's chain whole, signed and matching its copied journal
    QStringList hostsWithFindings;
    bool eventsFailed = false;
};

// Reads every file once and writes nothing: the journals, then the events of
// a collector's store (any other file: see eventstore.h; journalctl's json
// output named *.events.json), then the certificates, against the hashes of
// their entries in either.
CollectionReport checkCollection(const QString &directory, const QVector<QByteArray> &pinnedKeys);

#endif // COLLECTION_H
