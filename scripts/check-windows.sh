#!/usr/bin/env bash
# Checks the Windows file layer without Windows: compiles it for 32-bit
# Windows with warnings as errors, builds a static 64-bit checking program and
# runs that under wine on tmpfs. Prints PASS or FAIL; exit code 0 on PASS.
# Build output goes to ${WIN_BUILD_DIR:-build-win}; wine gets a throwaway prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/packages.sh"
"$root/scripts/deps.sh" "${WINDOWS_PACKAGES[@]}"

build=${WIN_BUILD_DIR:-$root/build-win}
mkdir -p "$build"

fail() {
    echo "check-windows: FAIL"
    exit 1
}

flags=(-std=c++17 -Wall -Wextra -Werror -O2 -I"$root/wipe/platform")

# The program ships as 32-bit; the layer must build there with no warning.
echo "== compiling the file layer for 32-bit Windows"
if ! i686-w64-mingw32-g++ "${flags[@]}" -c "$root/wipe/platform/platformfile_win32.cpp" \
        -o "$build/platformfile_win32.i686.o"; then
    fail
fi
echo "== compiling the medium layer for 32-bit Windows"
if ! i686-w64-mingw32-g++ "${flags[@]}" -c "$root/wipe/platform/filemedium_win32.cpp" \
        -o "$build/filemedium_win32.i686.o"; then
    fail
fi

# The journal's file lock and event log: compiled only, they need no files.
echo "== compiling the journal's Windows layer for 32-bit Windows"
for source in journalfile_win32 systemlog; do
    if ! i686-w64-mingw32-g++ -std=c++17 -Wall -Wextra -Werror -O2 -I"$root/journal" \
            -c "$root/journal/$source.cpp" -o "$build/$source.i686.o"; then
        fail
    fi
done

# Linked for 32-bit too so every import resolves, but run as 64-bit: Debian's
# wine64 runs no 32-bit program without the i386 wine32.
echo "== building the checking program"
for target in i686 x86_64; do
    if ! "$target-w64-mingw32-g++" "${flags[@]}" -municode -static \
            "$root/tests/windows/platformfile_check.cpp" "$root/wipe/platform/platformfile_win32.cpp" \
            -o "$build/platformfile_check.$target.exe"; then
        fail
    fi
done
for target in i686 x86_64; do
    if ! "$target-w64-mingw32-g++" "${flags[@]}" -municode -static "$root/tests/windows/filemedium_check.cpp" \
            "$root/wipe/platform/filemedium_win32.cpp" "$root/wipe/platform/platformfile_win32.cpp" \
            -o "$build/filemedium_check.$target.exe"; then
        fail
    fi
done

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
if [ ! -x "$wine" ]; then
    wine=$(command -v wine64 || command -v wine || true)
    wineserver=$(command -v wineserver64 || command -v wineserver || true)
fi
if [ -z "$wine" ] || [ -z "$wineserver" ]; then
    echo "no wine loader found" >&2
    fail
fi

# ext4 clamps far-future times; tmpfs keeps the wipe moment as it is.
if [ ! -d /dev/shm ] || [ ! -w /dev/shm ]; then
    echo "no writable /dev/shm to hold the files" >&2
    fail
fi

tmp=$(mktemp -d)
files=$(mktemp -d /dev/shm/kcc-windows.XXXXXX)
export WINEPREFIX="$tmp/prefix"
export WINEARCH=win64
export WINEDEBUG=-all
# No .NET or HTML engine to offer, no X driver, no desktop menu entries: the
# first start then builds the prefix without asking anything.
export WINEDLLOVERRIDES="mscoree,mshtml=;winex11.drv=;winemenubuilder.exe=d"
export HOME="$tmp/home"
mkdir -p "$HOME"
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
    "$wineserver" -k >/dev/null 2>&1 || true
    "$wineserver" -w >/dev/null 2>&1 || true
    rm -rf "$tmp" "$files"
}
trap cleanup EXIT

# Wine's drive Z: is the Unix root.
target="Z:${files//\//\\}\\key.pfx"
echo "== running the checking program under $wine on $target"
status=0
timeout 600 "$wine" "$build/platformfile_check.x86_64.exe" "$target" </dev/null || status=$?
if [ "$status" -ne 0 ]; then
    echo "checking program exited with $status"
    fail
fi
medium="Z:${files//\//\\}\\medium.pfx"
echo "== running the medium check under $wine on $medium"
status=0
timeout 600 "$wine" "$build/filemedium_check.x86_64.exe" "$medium" </dev/null || status=$?
if [ "$status" -ne 0 ]; then
    echo "medium check exited with $status"
    fail
fi
echo "check-windows: PASS"
