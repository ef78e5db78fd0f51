#!/usr/bin/env bash
# Cross-builds Kestrik_KCC.exe (the window) and kestrik-kcc-cli.exe (the
# console program for scripts) for Windows with mingw-w64 against a static Qt.
#
#   scripts/build-windows.sh [--qt-only] [--tests] [TARGET...]   TARGET: i686 x86_64 (default: both)
#
# Qt's source is Debian's qtbase, fetched with apt through a private source list
# and state directory (the system's apt configuration is not touched), built once
# per target into ${KCC_WIN_QT_CACHE:-/var/cache/kestrik-kcc-qt} (or
# ~/.cache/kestrik-kcc-qt when that is not writable) and reused until the Qt
# version or its configuration changes. The programs and velmux.dll go to
# ${WIN_APP_BUILD_DIR:-build-windows}/TARGET/bin.
#
# KCC_VELMUX=own (default) builds our velmux.dll loading a PKCS#11 module DLL;
# KCC_VELMUX=vendor with KCC_VELMUX_DLL=path links against a given velmux.dll.
# --tests also builds the Qt Test suites that run under wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/packages.sh"
"$root/scripts/deps.sh" "${BUILD_PACKAGES[@]}" "${WINDOWS_QT_PACKAGES[@]}"

qt_only=0
tests=OFF
targets=()
for arg in "$@"; do
    case "$arg" in
        --qt-only) qt_only=1 ;;
        --tests) tests=ON ;;
        i686|x86_64) targets+=("$arg") ;;
        *) echo "unknown argument: $arg" >&2; exit 2 ;;
    esac
done
[ ${#targets[@]} -gt 0 ] || targets=(i686 x86_64)

cache=${KCC_WIN_QT_CACHE:-}
if [ -z "$cache" ]; then
    cache=/var/cache/kestrik-kcc-qt
    if ! mkdir -p "$cache" 2>/dev/null || [ ! -w "$cache" ]; then
        cache=${XDG_CACHE_HOME:-$HOME/.cache}/kestrik-kcc-qt
    fi
fi
mkdir -p "$cache"
jobs=${KCC_WIN_JOBS:-2}
log() { echo "== $*"; }

# Changing anything here rebuilds Qt. Only Core, Gui, Widgets, Test and the
# windows platform plugin are used: the modules and image formats the program
# never touches are left out to keep the build short on two cores.
# -no-feature-tabletevent: Debian's tarball leaves out the Wintab header.
qt_config=(-opensource -confirm-license -xplatform win32-g++ -static -static-runtime -release
    -nomake examples -nomake tests -no-opengl -no-dbus -no-icu -no-openssl
    -no-feature-tabletevent -no-direct2d
    -no-feature-network -no-feature-sql -no-feature-xml -no-feature-concurrent -no-feature-printer
    -no-libjpeg -qt-zlib -qt-pcre -qt-libpng -qt-freetype -qt-harfbuzz)

# The posix-threads compilers under their plain names: Qt's mkspec and CMake
# call TRIPLE-g++, which Debian points at the win32-threads one by default.
toolbin() {
    local triple=$1-w64-mingw32 dir=$cache/toolchain/$1-w64-mingw32/bin
    mkdir -p "$dir"
    for tool in gcc g++ c++ cpp gcc-ar gcc-nm gcc-ranlib; do
        ln -sf "/usr/bin/$triple-$tool-posix" "$dir/$triple-$tool"
    done
    echo "$dir"
}

# The first URI the system's own apt sources use for suite $1 (one-line and
# deb822 formats): the private list asks the same mirrors for sources.
system_mirror() {
    local files=(/etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources)
    cat "${files[@]}" 2>/dev/null | awk -v suite="$1" '
        /^[ \t]*#/ { next }
        /^deb[ \t]/ { sub(/\[[^]]*\][ \t]*/, ""); if ($3 == suite) { print $2; printed = 1; exit } next }
        function done() { if (found && uris != "") { print uris; printed = 1; exit } uris = ""; found = 0 }
        /^URIs:/ { uris = $2 }
        /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == suite) found = 1 }
        /^[ \t]*$/ { done() }
        END { if (!printed) done() }'
}

# A private apt: source list, lists and archives live under the cache.
apt_private() {
    local dir=$cache/apt
    mkdir -p "$dir/etc/sources.list.d" "$dir/state/lists/partial" "$dir/cache/archives/partial"
    # Written anew each time: it follows the system's mirrors.
    local codename mirror security
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
    mirror=${KCC_DEBIAN_MIRROR:-$(system_mirror "$codename")}
    security=${KCC_DEBIAN_SECURITY:-$(system_mirror "$codename-security")}
    if [ -z "$mirror" ]; then
        echo "no Debian mirror for $codename in the system's apt sources; set KCC_DEBIAN_MIRROR" >&2
        exit 1
    fi
    {
        echo "deb-src $mirror $codename main"
        echo "deb-src $mirror $codename-updates main"
        [ -z "$security" ] || echo "deb-src $security $codename-security main"
    } >"$dir/etc/sources.list"
    apt_opts=(-o "Dir::Etc::sourcelist=$dir/etc/sources.list"
        -o "Dir::Etc::sourceparts=$dir/etc/sources.list.d"
        -o "Dir::State=$dir/state" -o "Dir::Cache=$dir/cache"
        -o "Dir::State::status=/var/lib/dpkg/status"
        -o "APT::Sandbox::User=$(id -un)" -o "Debug::NoLocking=1")
}

# Prints the source directory of Debian's qtbase, fetching it when missing.
qt_source() {
    apt_private
    local version
    if apt-get "${apt_opts[@]}" update -qq >&2; then
        version=$(apt-cache "${apt_opts[@]}" showsrc qtbase-opensource-src \
            | sed -n 's/^Version: //p' | sort -V | tail -n1)
    fi
    if [ -z "${version:-}" ]; then
        # Offline: the newest source already fetched.
        version=$(ls "$cache/src" 2>/dev/null | sort -V | tail -n1)
        [ -n "$version" ] || { echo "cannot get Qt's source through apt" >&2; exit 1; }
        echo "offline: using the fetched Qt source $version" >&2
    fi
    local dir=$cache/src/$version
    if [ ! -f "$dir/.complete" ]; then
        rm -rf "$dir"
        mkdir -p "$dir"
        (cd "$dir" && apt-get "${apt_opts[@]}" source -qq "qtbase-opensource-src=$version" >&2)
        touch "$dir/.complete"
    fi
    find "$dir" -mindepth 1 -maxdepth 1 -type d -name 'qtbase-opensource-src-*' | head -n1
}

# Builds static Qt for one target unless the cache already holds this one.
qt_build() {
    local target=$1 src=$2 bin
    bin=$(toolbin "$target")
    local prefix=$cache/qt-$target
    local stamp
    stamp="$(basename "$(dirname "$src")") $target-w64-mingw32 $(/usr/bin/$target-w64-mingw32-g++-posix -dumpversion) ${qt_config[*]}"
    if [ -f "$prefix/.stamp" ] && [ "$(cat "$prefix/.stamp")" = "$stamp" ]; then
        log "Qt for $target: cached in $prefix"
        return
    fi
    log "Qt for $target: building into $prefix (log: $cache/qt-$target.log)"
    rm -rf "$prefix" "$cache/build-$target"
    mkdir -p "$cache/build-$target"
    local start=$SECONDS
    (
        cd "$cache/build-$target"
        export PATH="$bin:$PATH"
        nice -n 15 "$src/configure" -prefix "$prefix" "${qt_config[@]}" \
            -device-option CROSS_COMPILE="$target-w64-mingw32-"
        nice -n 15 make -j"$jobs"
        nice -n 15 make install
    ) >"$cache/qt-$target.log" 2>&1 || {
        tail -n 40 "$cache/qt-$target.log" >&2
        echo "Qt build for $target failed; the whole log is $cache/qt-$target.log" >&2
        exit 1
    }
    echo "$stamp" >"$prefix/.stamp"
    rm -rf "$cache/build-$target"
    log "Qt for $target: built in $((SECONDS - start)) s"
}

app_build() {
    local target=$1 bin build
    bin=$(toolbin "$target")
    build=${WIN_APP_BUILD_DIR:-$root/build-windows}/$target
    mkdir -p "$build"
    local velmux=(-DKCC_VELMUX="${KCC_VELMUX:-own}")
    [ -z "${KCC_VELMUX_DLL:-}" ] || velmux+=(-DKCC_VELMUX_DLL="$KCC_VELMUX_DLL")
    log "Kestrik_KCC.exe and kestrik-kcc-cli.exe for $target into $build"
    PATH="$bin:$PATH" cmake -S "$root" -B "$build" \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-$target.cmake" \
        -DCMAKE_PREFIX_PATH="$cache/qt-$target" -DCMAKE_BUILD_TYPE=Release \
        -DBUILD_TESTING="$tests" "${velmux[@]}" >"$build.cmake.log" 2>&1 || {
        cat "$build.cmake.log" >&2
        exit 1
    }
    PATH="$bin:$PATH" nice -n 15 cmake --build "$build" -j"$jobs"
}

src=$(qt_source)
log "Qt source: $src"
for target in "${targets[@]}"; do
    qt_build "$target" "$src"
done
[ "$qt_only" -eq 1 ] && exit 0
for target in "${targets[@]}"; do
    app_build "$target"
done
