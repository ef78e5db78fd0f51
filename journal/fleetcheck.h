#ifndef FLEETCHECK_H
#define FLEETCHECK_H

#include "collection.h"

#include <QByteArray>
#include <QHash>
#include <QMultiHash>
#include <QString>
#include <QStringList>

#include <memory>

class QThreadPool;

namespace fleet {

// An entry of a journal copied into the collection, by "fingerprint/seq".
struct CopiedEntry {
    QString hash;
    QString file;
    int line = 0;
};
// A copied journal that held: whose it is and where it ends.
struct CopiedJournal {
    QString file;
    QString host;
    QString key;
    qint64 last = 0;
    int lastLine = 0;
};

class FleetState;

// Rebuilds each installation's chain (host and key) from the events of a
// collector's store, on every core, and compares it with the copied journals.
// Memory holds a few dozen bytes an entry, never the entries themselves.
class FleetCheck
{
public:
    // The events are checked on pool's threads.
    FleetCheck(const QHash<QString, QByteArray> &pinned, CollectionReport *report, QThreadPool *pool);
    ~FleetCheck();
    void read(const QStringList &files);
    void compare(const QMultiHash<QString, CopiedEntry> &copied, const QVector<CopiedJournal> &journals);
    // Whether the events hold the installation of the key; and its entry seq (hash hex).
    bool knows(const QString &key) const;
    bool holds(const QString &key, qint64 seq, QString *hash) const;

private:
    std::unique_ptr<FleetState> state;
};

} // namespace fleet

#endif // FLEETCHECK_H
