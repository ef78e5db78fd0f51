#!/usr/bin/env bash
# Builds the Debian packages with CPack into ${PKG_BUILD_DIR:-build-pkg}
# (Release, Debian's hardening flags, installed under /usr):
#   kestrik-kcc-cli_<version>_<arch>.deb  the command line, no GUI library
#   kestrik-kcc_<version>_<arch>.deb      the window, depending on the first
# and prints their paths as the last two lines, the command line's first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/packages.sh"
"$root/scripts/deps.sh" "${BUILD_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"
build=${PKG_BUILD_DIR:-$root/build-pkg}

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_C_FLAGS="$cppflags $(dpkg-buildflags --get CFLAGS)" \
    -DCMAKE_CXX_FLAGS="$cppflags $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    -DCMAKE_SHARED_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
cli=("$build"/kestrik-kcc-cli_*.deb)
window=("$build"/kestrik-kcc_*.deb)
if [ ! -f "${cli[0]}" ] || [ ! -f "${window[0]}" ] || [ "$(ls "$build"/*.deb | wc -l)" -ne 2 ]; then
    echo "package: expected kestrik-kcc-cli and kestrik-kcc in $build, found: $(ls "$build"/*.deb 2>/dev/null)" >&2
    exit 1
fi
echo "${cli[0]}"
echo "${window[0]}"
