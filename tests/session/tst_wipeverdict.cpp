// The rule that decides what a wipe may claim, one row per case: every front
// end's box, exit status and journal entry are tables of its answer.

#include "wiperesult.h"

#include <QtTest>

namespace {

// A file wipe that went through, on a medium of this placement.
WipeResult wiped(Placement placement, quint32 limits = 0, FileVerification verification = FileVerification::Direct)
{
    WipeResult result;
    result.file.status = FileWipeStatus::Wiped;
    result.file.medium.known = true;
    result.file.medium.placement = placement;
    result.file.medium.limits = limits;
    result.file.verification = verification;
    return result;
}

WipeResult fingerprinted(WipeResult result, int mapped = 4, int unmapped = 0)
{
    // The rule only asks whether a fingerprint was taken: a non-null pointer
    // that owns nothing and is never read.
    static const char taken = 0;
    result.file.key = KeyFingerprintPtr(std::shared_ptr<const void>(), reinterpret_cast<const KeyFingerprint *>(&taken));
    result.reach.mappedBlocks = mapped;
    result.reach.unmappedBlocks = unmapped;
    return result;
}

WipeResult searched(WipeResult result, VolumeSearch::Status status, int survivors = 0)
{
    result.search.status = status;
    for (int i = 0; i < survivors; ++i)
        result.search.survivors << qint64(i) * 4096;
    return result;
}

WipeResult filled(WipeResult result, FreedFill::Status status)
{
    result.fill.status = status;
    return result;
}

WipeResult failed(FileWipeStatus status, FileWipeStep step = FileWipeStep::None, bool written = false)
{
    WipeResult result;
    result.file.status = status;
    result.file.failedStep = step;
    result.file.bytesWritten = written;
    return result;
}

WipeResult token(TokenWipeStatus status, bool replaced = false, ContainerLeft left = ContainerLeft::Unknown)
{
    WipeResult result;
    result.token.status = status;
    result.token.replaced = replaced;
    result.token.left = left;
    return result;
}

WipeRequest fileRequest(bool search = false, bool fill = false)
{
    WipeRequest request;
    request.path = QStringLiteral("key.pfx");
    request.searchVolume = search;
    request.fillFreed = fill;
    return request;
}

WipeRequest tokenRequest()
{
    WipeRequest request;
    request.token = ListedToken{};
    return request;
}

} // namespace

Q_DECLARE_METATYPE(WipeRequest)
Q_DECLARE_METATYPE(WipeResult)
Q_DECLARE_METATYPE(EndState)

class TestWipeVerdict : public QObject
{
    Q_OBJECT

private slots:
    void verdict_data();
    void verdict();
};

void TestWipeVerdict::verdict_data()
{
    QTest::addColumn<WipeRequest>("request");
    QTest::addColumn<WipeResult>("result");
    QTest::addColumn<EndState>("state");
    QTest::addColumn<bool>("offerFill");

    using E = EndState;
    using S = VolumeSearch::Status;
    using F = FreedFill::Status;
    const WipeResult relocating = fingerprinted(wiped(Placement::Relocating, LimitCopyOnWrite));
    const WipeResult tmpfs = wiped(Placement::NotProvable, LimitMemory, FileVerification::MaybeCached);
    WipeResult swapped = tmpfs;
    swapped.swapInUse = true;
    WipeResult links = wiped(Placement::InPlace);
    links.file.otherNames = 2;
    WipeResult overlay = wiped(Placement::NotProvable, LimitOverlay);
    overlay.file.medium.lowerCopy = QStringLiteral("/lower/key.pfx");
    WipeResult coveredButUnmapped = filled(fingerprinted(wiped(Placement::Relocating, LimitInline), 0, 1), F::Covered);

    QTest::newRow("in place, read back past the cache") << fileRequest() << wiped(Placement::InPlace) << E::Wiped << false;
    QTest::newRow("in place, other names lead to the empty file") << fileRequest() << links << E::WipedOtherNamesRemain << false;
    QTest::newRow("in place, not read back") << fileRequest() << wiped(Placement::InPlace, 0, FileVerification::NotRead)
                                             << E::OverwriteUnproven << false;
    QTest::newRow("network") << fileRequest() << wiped(Placement::NotProvable, LimitNetwork)
                             << E::OverwriteUnproven << false;
    QTest::newRow("overlay: the lower layer keeps the key") << fileRequest() << overlay
                                                             << E::DeletedLowerCopyKept << false;
    QTest::newRow("tmpfs, no swap: nothing kept") << fileRequest() << tmpfs << E::WipedMemoryOnly << false;
    QTest::newRow("tmpfs, swap in use") << fileRequest() << swapped << E::OverwriteUnproven << false;
    QTest::newRow("tmpfs, search asked: no device, nothing to search")
        << fileRequest(true) << searched(tmpfs, S::NoDevice) << E::WipedMemoryOnly << false;
    QTest::newRow("relocated: the fill is offered") << fileRequest() << relocating
                                                    << E::RelocatedNotOverwritten << true;
    QTest::newRow("relocated, shared: no fill reaches it")
        << fileRequest() << fingerprinted(wiped(Placement::Relocating, LimitShared))
        << E::RelocatedNotOverwritten << false;
    QTest::newRow("relocated, fill asked, shared") << fileRequest(false, true)
                                                   << fingerprinted(wiped(Placement::Relocating, LimitShared))
                                                   << E::DeletedKeyBlocksOnVolume << false;
    QTest::newRow("search found blocks") << fileRequest(true) << searched(relocating, S::Done, 3)
                                         << E::DeletedKeyBlocksOnVolume << true;
    QTest::newRow("search of some devices found blocks") << fileRequest(true) << searched(relocating, S::Incomplete, 1)
                                                         << E::DeletedKeyBlocksOnVolume << true;
    QTest::newRow("search of some devices found none") << fileRequest(true) << searched(wiped(Placement::InPlace), S::Incomplete)
                                                       << E::DeletedNotSearched << false;
    QTest::newRow("search refused, in place") << fileRequest(true) << searched(wiped(Placement::InPlace), S::NoPermission)
                                              << E::DeletedNotSearched << false;
    QTest::newRow("fill covered the key's blocks") << fileRequest(false, true) << filled(relocating, F::Covered)
                                                   << E::WipedFreedBlocksFilled << false;
    QTest::newRow("fill covered, but blocks it cannot locate") << fileRequest(false, true) << coveredButUnmapped
                                                               << E::DeletedKeyUnreachable << false;
    QTest::newRow("compressed, search asked: copies it cannot recognise")
        << fileRequest(true) << searched(fingerprinted(wiped(Placement::Relocating, LimitCompressed), 0, 4), S::Done)
        << E::DeletedKeyUnreachable << false;
    QTest::newRow("journal filled, searched clean after") << fileRequest(true, true)
                                                          << searched(filled(relocating, F::Filled), S::Done)
                                                          << E::WipedFreedBlocksFilled << false;
    QTest::newRow("journal filled, not searched") << fileRequest(false, true) << filled(relocating, F::Filled)
                                                  << E::RelocatedNotOverwritten << false;
    QTest::newRow("fill short of the key's blocks") << fileRequest(false, true) << filled(relocating, F::NotCovered)
                                                    << E::DeletedKeyBlocksOnVolume << false;
    QTest::newRow("fill failed") << fileRequest(false, true) << filled(relocating, F::Failed)
                                 << E::DeletedKeyBlocksOnVolume << false;
    QTest::newRow("not found") << fileRequest() << failed(FileWipeStatus::NotFound) << E::NotFound << false;
    QTest::newRow("refused") << fileRequest() << failed(FileWipeStatus::Refused) << E::Refused << false;
    QTest::newRow("cancelled before a byte") << fileRequest() << failed(FileWipeStatus::Failed, FileWipeStep::Cancelled)
                                             << E::CancelledUntouched << false;
    QTest::newRow("unlinked, the removal not on the medium")
        << fileRequest() << failed(FileWipeStatus::Failed, FileWipeStep::SyncRemoval, true)
        << E::RemovedNotOnMedium << false;
    QTest::newRow("emptied, name kept") << fileRequest() << failed(FileWipeStatus::Failed, FileWipeStep::Remove, true)
                                        << E::OverwrittenEmptiedNameKept << false;
    QTest::newRow("token, in place") << tokenRequest() << token(TokenWipeStatus::Wiped) << E::Wiped << false;
    QTest::newRow("token, replaced") << tokenRequest() << token(TokenWipeStatus::Wiped, true)
                                     << E::ReplacedNotOverwritten << false;
    QTest::newRow("token, wrong PIN") << tokenRequest() << token(TokenWipeStatus::LoginFailed)
                                      << E::TokenErrorUntouched << false;
    QTest::newRow("token, write failed, container gone")
        << tokenRequest() << token(TokenWipeStatus::WriteFailed, false, ContainerLeft::Gone)
        << E::TokenErrorContainerGone << false;
    QTest::newRow("token, deleted but not proven gone") << tokenRequest() << token(TokenWipeStatus::DeletionUnproven)
                                                        << E::DeletionUnproven << false;
    QTest::newRow("token, no container") << tokenRequest() << token(TokenWipeStatus::NoContainer)
                                         << E::NoContainer << false;
    QTest::newRow("token, no library") << tokenRequest() << token(TokenWipeStatus::ContextFailed)
                                       << E::NoTokenLibrary << false;
}

void TestWipeVerdict::verdict()
{
    QFETCH(WipeRequest, request);
    QFETCH(WipeResult, result);
    QFETCH(EndState, state);
    QFETCH(bool, offerFill);
    const WipeVerdict verdict = judgeWipe(request, result);
    QCOMPARE(toWord(verdict.state), toWord(state));
    QCOMPARE(verdict.offerFill, offerFill);
    // Success is said only with the success icon, and only of a container that is gone.
    QCOMPARE(severityOf(verdict.state) == Severity::Information, kindOf(verdict.state) == EndStateKind::Proven);
}

QTEST_GUILESS_MAIN(TestWipeVerdict)
#include "tst_wipeverdict.moc"
