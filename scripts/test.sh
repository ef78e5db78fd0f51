#!/usr/bin/env bash
# Builds everything and runs every test, headless.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/packages.sh"
"$root/scripts/deps.sh" "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
"$root/scripts/build.sh" "$@"
build=${BUILD_DIR:-$root/build}
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
