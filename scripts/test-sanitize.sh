#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into
# ${SANITIZE_BUILD_DIR:-build-sanitize} and runs every test, headless. Any
# sanitizer report ends its test with a failure. Extra arguments go to cmake.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/packages.sh"
"$root/scripts/deps.sh" "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
build=${SANITIZE_BUILD_DIR:-$root/build-sanitize}
BUILD_DIR=$build "$root/scripts/build.sh" -DKCC_SANITIZE=ON "$@"

# The first report stops the process with an abort, which CTest counts as a
# failed test whatever the test itself printed. The system libraries have no
# frame pointers, so only the slow unwinder reaches the frames the leak
# suppressions match.
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:print_stacktrace=1:detect_leaks=1:fast_unwind_on_malloc=0:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:print_stacktrace=1:report_error_type=1
# Leaks that belong to system libraries only; see the file for each one.
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
