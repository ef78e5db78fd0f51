#include "wipeworker.h"

#include <QElapsedTimer>
#include <QEventLoop>

#include <future>

namespace {

// Progress goes to the window at most this often; more would cost the wipe
// time in signals the eye cannot follow.
constexpr qint64 progressIntervalMs = 50;

} // namespace

WipeWorker::WipeWorker()
{
    m_thread.setObjectName(QStringLiteral("wipe"));
    m_onThread.moveToThread(&m_thread);
    m_thread.start();
}

WipeWorker::~WipeWorker()
{
    m_cancel = true;
    m_thread.quit();
    m_thread.wait();
}

template <typename Outcome, typename Work>
Outcome WipeWorker::run(Work &&work)
{
    m_cancel = false;
    m_busy = true;
    std::promise<Outcome> promise;
    std::future<Outcome> result = promise.get_future();
    QEventLoop loop;
    QMetaObject::invokeMethod(&m_onThread, [&] {
        try {
            promise.set_value(work());
        } catch (...) {
            promise.set_exception(std::current_exception());
        }
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    }, Qt::QueuedConnection);
    loop.exec();
    // The loop can be told to leave early (the application quitting): the
    // wipe is never abandoned half way, its outcome is still waited for.
    result.wait();
    m_busy = false;
    return result.get();
}

FileWipeOutcome WipeWorker::wipeFile(const PassPlan &plan, const QString &path, bool fingerprint,
                                     const PassObserver &passDone)
{
    const int passes = plan.passes.size();
    return run<FileWipeOutcome>([=] {
        QElapsedTimer sinceProgress;
        sinceProgress.start();
        qint64 perPass = 0;
        int lastPass = -1;
        return overwriteFile(plan, path, passDone, [&](FileWipeEvent event, int pass, qint64 bytes) {
            if (event == FileWipeEvent::Opened)
                perPass = bytes;
            if (event == FileWipeEvent::ReadBack)
                emit progress(passes, passes, 0, perPass); // every pass written: reading back
            if (event == FileWipeEvent::Written) {
                if (pass != lastPass || sinceProgress.elapsed() >= progressIntervalMs) {
                    lastPass = pass;
                    sinceProgress.restart();
                    emit progress(pass, passes, bytes, perPass);
                }
            }
            return !m_cancel.load();
        }, fingerprint);
    });
}

TokenWipeOutcome WipeWorker::wipeToken(const PassPlan &plan, const MediaRecord &media,
                                        const QString &pin)
{
    const int passes = plan.passes.size();
    return run<TokenWipeOutcome>([&] {
        return overwriteTokenContainer(plan, &media, pin,
                                       [&](int pass) { emit progress(pass, passes, 0, 0); });
    });
}

VolumeSearch WipeWorker::searchVolume(const KeyFingerprint &key)
{
    return run<VolumeSearch>([&] {
        QElapsedTimer since;
        since.start();
        return ::searchVolume(key, [&](qint64 done, qint64 total) {
            if (since.elapsed() >= progressIntervalMs) {
                since.restart();
                emit volumeProgress(false, done, total);
            }
            return !m_cancel.load();
        });
    });
}

FreedFill WipeWorker::fillFreedBlocks(const KeyFingerprint &key)
{
    return run<FreedFill>([&] {
        return ::fillFreedBlocks(key, [&](qint64 done, qint64 total) {
            emit volumeProgress(true, done, total);
            return !m_cancel.load();
        });
    });
}
