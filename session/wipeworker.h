#ifndef WIPEWORKER_H
#define WIPEWORKER_H

#include "tokenwipe.h"
#include "filewipe.h"

#include <QObject>
#include <QThread>

#include <atomic>

// Runs every wipe of the program on one long-lived thread of its own, one at
// a time, while the calling thread keeps handling its events. The random
// generator's state is per thread: with every wipe on the same thread, a token
// wipe still continues the sequence of the last file wipe.
class WipeWorker : public QObject
{
    Q_OBJECT

public:
    WipeWorker();
    ~WipeWorker() override; // waits for a wipe under way, then ends the thread

    // Each returns once the wipe on the worker thread is over; meanwhile the
    // caller's events (repaints, the progress dialog) keep being handled.
    FileWipeOutcome wipeFile(const PassPlan &plan, const QString &path, bool fingerprint = false,
                             const PassObserver &passDone = {});
    TokenWipeOutcome wipeToken(const PassPlan &plan, const MediaRecord &media, const QString &pin);
    // Both cancellable, with volumeProgress on the way.
    VolumeSearch searchVolume(const KeyFingerprint &key);
    FreedFill fillFreedBlocks(const KeyFingerprint &key);

    bool isBusy() const { return m_busy; }

public slots:
    // A file wipe stops after the write under way; the file is kept.
    void cancel() { m_cancel = true; }

signals:
    // From the worker thread. bytes is how much of pass `pass` (0-based) is
    // written, of bytesPerPass; for a token, 0 of the container's size. pass
    // == passes: a file's passes are all written and it is being read back.
    void progress(int pass, int passes, qint64 bytes, qint64 bytesPerPass);
    // From the worker thread: the volume read or filled so far, of total.
    void volumeProgress(bool filling, qint64 done, qint64 total);

private:
    template <typename Outcome, typename Work>
    Outcome run(Work &&work);

    QThread m_thread;
    QObject m_onThread; // lives on m_thread: the wipes are queued to it
    std::atomic<bool> m_cancel{false};
    bool m_busy = false;
};

#endif // WIPEWORKER_H
