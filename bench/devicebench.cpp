// Device wipes of a 4 KiB key container on a throwaway SoftHSM2 token. Most of
// a device pass is the token's own work (the write and the fresh log-in that
// the schedule requires between passes), so the figure that says something
// about the executor is its time against the bare library calls it must make:
// the same calls in the same order with a buffer filled in advance.

#include "bench.h"

#include <cstdio>

#ifdef KCC_BENCH_DEVICE

#include "devicewipe.h"
#include "softhsmtoken.h"
#include "velmux.h"

#include <QByteArray>
#include <vector>

namespace bench {

namespace {

const char *const names[] = {"Gost",  "DoD",   "HmgBaseline", "HmgEnhanced",
                             "Rcmp",  "Ar380", "Vsitr",       "Schneier"};
const QString tokenLabel = QStringLiteral("bench");
constexpr uint32_t softwareToken = 6;

bool findRecord(MediaRecord *found)
{
    velmux_ctx ctx = 0;
    if (VELMUX_FAILED(velmux_create_ctx(&ctx, softwareToken)))
        return false;
    std::vector<MediaRecord> records(VELMUX_MEDIA_LIST_CAPACITY);
    uint32_t count = VELMUX_MEDIA_LIST_CAPACITY;
    bool ok = false;
    if (VELMUX_SUCCEEDED(velmux_get_media_list(ctx, records.data(), &count))) {
        for (uint32_t i = 0; i < count && !ok; ++i) {
            MediaInfo info{};
            info.size = sizeof info;
            if (VELMUX_SUCCEEDED(velmux_get_media_info(ctx, &records[i], &info))
                && QString::fromUtf8(info.name) == tokenLabel) {
                *found = records[i];
                ok = true;
            }
        }
    }
    velmux_destroy_ctx(ctx);
    return ok;
}

// The library calls the executor makes for passes writes, without the executor.
bool bareSequence(const MediaRecord &media, int passes, bool extraReopen)
{
    const QByteArray pin = SoftHsmToken::defaultPin().toUtf8();
    velmux_ctx ctx = 0;
    if (VELMUX_FAILED(velmux_create_ctx(&ctx, media.mediaType)))
        return false;
    velmux_open_session(ctx, &media, 0);
    velmux_login(ctx, pin.constData());
    uint32_t size = 0;
    velmux_get_container_size(ctx, &size);
    std::vector<unsigned char> buffer(size, 0x5A);
    bool ok = true;
    for (int i = 0; i < passes; ++i) {
        ok = VELMUX_SUCCEEDED(velmux_write_container(ctx, 1, buffer.data(), size)) && ok;
        if (i + 1 < passes || extraReopen) {
            velmux_close_session(ctx);
            velmux_open_session(ctx, &media, 0);
            velmux_login(ctx, pin.constData());
        }
    }
    velmux_close_session(ctx);
    velmux_open_session(ctx, &media, 0);
    velmux_login(ctx, pin.constData());
    ok = VELMUX_SUCCEEDED(velmux_delete_container(ctx)) && ok;
    velmux_close_session(ctx);
    velmux_destroy_ctx(ctx);
    return ok;
}

} // namespace

bool runDeviceBench(int repetitions)
{
    const QString reason = SoftHsmToken::unavailableReason();
    if (!reason.isEmpty()) {
        std::printf("\nDevice wipe: skipped, %s\n", qPrintable(reason));
        return false;
    }
    SoftHsmToken token;
    MediaRecord media{};
    if (!token.isValid() || !token.initToken(tokenLabel) || !findRecord(&media)) {
        std::printf("\nDevice wipe: skipped, no token: %s\n", qPrintable(token.errorString()));
        return false;
    }
    const QByteArray container(4096, char(0xA5));

    std::printf("\nDevice wipe, 4 KiB container on a SoftHSM2 token, median of %d\n", repetitions);
    std::printf("(bare = the same library calls with a buffer filled in advance; pass = write + fresh log-in)\n");
    std::printf("%-12s %6s %12s %12s %11s %10s\n", "algorithm", "passes", "kcc ms", "bare ms",
                "kcc ms/pass", "kcc/bare");
    for (int a = 0; a < 8; ++a) {
        const WipeAlgorithm algorithm = WipeAlgorithm(a);
        const int passes = wipeSchedule(algorithm).size();
        QVector<double> kcc, bare;
        for (int r = 0; r < repetitions; ++r) {
            if (!token.writeContainer(tokenLabel, container, true)) {
                std::printf("cannot write a container: %s\n", qPrintable(token.errorString()));
                return false;
            }
            Clock::time_point start = Clock::now();
            const DeviceWipeStatus status = overwriteMediaContainer(algorithm, &media, SoftHsmToken::defaultPin());
            kcc << secondsSince(start);
            if (status != DeviceWipeStatus::Wiped) {
                std::printf("device wipe failed with status %d\n", int(status));
                return false;
            }
            if (!token.writeContainer(tokenLabel, container, true))
                return false;
            start = Clock::now();
            if (!bareSequence(media, passes, algorithm == Schneier)) {
                std::printf("bare library sequence failed\n");
                return false;
            }
            bare << secondsSince(start);
        }
        const double k = median(kcc), b = median(bare);
        std::printf("%-12s %6d %12.2f %12.2f %11.2f %10.2f\n", names[a], passes, k * 1e3, b * 1e3,
                    k * 1e3 / passes, k / b);
        std::fflush(stdout);
    }
    return true;
}

} // namespace bench

#else

namespace bench {

bool runDeviceBench(int)
{
    std::printf("\nDevice wipe: skipped, built without the tests' token helper (BUILD_TESTING off)\n");
    return false;
}

} // namespace bench

#endif
