#!/usr/bin/env bash
# Builds the benchmark (Release) into ${BUILD_DIR:-build-bench} and runs it.
# The files it wipes go to ${KCC_BENCH_DIR:-<build dir>/bench}: a directory on
# the project's disk by default; point it elsewhere to measure another file
# system. Extra arguments go to kcc_bench, for instance:
#   scripts/bench.sh --reps 9 --parts small,big --big-mib 256
#   scripts/bench.sh --parts search  the volume search against dd, on 1 GiB loop-mounted
#                                    images in the temporary directory (root)
#   scripts/bench.sh --parts cli     kestrik-kcc-cli's start and 4 KiB wipe, its syncs counted
#   scripts/bench.sh --parts journal,journal-million
#                                    --verify-journal at 100,000 and 1,000,000 entries
#   scripts/bench.sh --reps 3 --parts collection,events
#                                    --verify-collection of 500 hosts' journals and certificates,
#                                    and of a collector's syslog store of 1,000 installations x 100 wipes
#   KCC_BENCH_BASELINE_CLI=/path/to/an/earlier/kestrik-kcc-cli scripts/bench.sh --parts journal
#                                    that build's --verify-journal in the same rounds
# The 1 GiB memory run needs about 1.5 GiB free in that directory.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/packages.sh"
"$root/scripts/deps.sh" "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
build=${BUILD_DIR:-$root/build-bench}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target kcc_bench
export KCC_BENCH_DIR=${KCC_BENCH_DIR:-$build/bench}
exec "$build/bench/kcc_bench" "$@"
