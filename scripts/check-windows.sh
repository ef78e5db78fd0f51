#!/usr/bin/env bash
# Checks the Windows file layer without Windows: compiles it for 32-bit
# Windows with warnings as errors, builds static checking programs for i686 and
# x86_64 and runs them under wine on tmpfs (the i686 ones only where this
# machine runs 32-bit code). Prints PASS or FAIL; exit code 0 on PASS.
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

# Each checking program for both targets: the i686 ones run under wine32 in a
# win32 prefix where this machine runs 32-bit code, the x86_64 ones under wine64.
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

# ext4 clamps far-future times; tmpfs keeps the wipe moment as it is.
if [ ! -d /dev/shm ] || [ ! -w /dev/shm ]; then
    echo "no writable /dev/shm to hold the files" >&2
    fail
fi

tmp=$(mktemp -d)
files=$(mktemp -d /dev/shm/kcc-windows.XXXXXX)
export WINEDEBUG=-all
# No .NET or HTML engine to offer, no X driver, no desktop menu entries: the
# first start then builds the prefix without asking anything.
export WINEDLLOVERRIDES="mscoree,mshtml=;winex11.drv=;winemenubuilder.exe=d"
export HOME="$tmp/home"
mkdir -p "$HOME"
unset DISPLAY WAYLAND_DISPLAY
wineserver=
cleanup() {
    if [ -n "$wineserver" ]; then
        "$wineserver" -k >/dev/null 2>&1 || true
        "$wineserver" -w >/dev/null 2>&1 || true
    fi
    rm -rf "$tmp" "$files"
}
trap cleanup EXIT

# Both checking programs of target $1 under loader $2 in a $3 prefix.
run_checks() {
    local target=$1 wine=$2 status
    [ -n "$wineserver" ] && { "$wineserver" -k >/dev/null 2>&1 || true; "$wineserver" -w >/dev/null 2>&1 || true; }
    wineserver=$4
    export WINEPREFIX="$tmp/prefix-$target" WINEARCH=$3
    # Wine's drive Z: is the Unix root.
    local key="Z:${files//\//\\}\\key-$target.pfx" medium="Z:${files//\//\\}\\medium-$target.pfx"
    local check file
    for check in platformfile_check filemedium_check; do
        file=$key
        [ "$check" = filemedium_check ] && file=$medium
        echo "== running the $target $check under $(basename "$wine") on $file"
        status=0
        timeout 600 "$wine" "$build/$check.$target.exe" "$file" </dev/null || status=$?
        if [ "$status" -ne 0 ]; then
            echo "$target $check exited with $status"
            fail
        fi
    done
}

if [ ! -x /usr/lib/wine/wine64 ]; then
    echo "no wine64 loader found" >&2
    fail
fi
# Debian's wine32 loader is an i386 ELF: a kernel or virtual machine without
# 32-bit code segments refuses it (wine64's own WoW64 mode needs them too).
not_run=
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    run_checks i686 /usr/lib/wine/wine win32 /usr/lib/wine/wineserver32
else
    not_run="i686 checking programs not run: this machine runs no 32-bit x86 code"
    echo "== $not_run"
fi
run_checks x86_64 /usr/lib/wine/wine64 win64 /usr/lib/wine/wineserver64
echo "check-windows: PASS${not_run:+ ($not_run)}"
