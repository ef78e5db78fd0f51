#!/bin/sh
# Rebuilds Resources/logo.png, app/windows/Kestrik_KCC.ico and the desktop
# icons under share/icons/hicolor from scripts/logo/makelogo.cpp. Output is
# deterministic; safe to re-run.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" g++ pkg-config qtbase5-dev libqt5svg5-dev
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM

# Qt is built with -reduce-relocations, so executables need -fPIC.
${CXX:-g++} -std=c++17 -O2 -fPIC -o "$tmp/makelogo" \
    "$root/scripts/logo/makelogo.cpp" $(pkg-config --cflags --libs Qt5Gui Qt5Svg)

mkdir -p "$root/Resources" "$root/app/windows"
# The icon name is the desktop entry's id (KCC_APP_ID in CMakeLists.txt).
QT_QPA_PLATFORM=offscreen "$tmp/makelogo" "$root" example.kestrik.kcc
echo "wrote $root/Resources/logo.png, $root/app/windows/Kestrik_KCC.ico and $root/share/icons/hicolor"
