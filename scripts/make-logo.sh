#!/bin/sh
# Rebuilds Resources/logo.png and app/windows/Kestrik_KCC.ico from
# scripts/logo/makelogo.cpp. Output is deterministic; safe to re-run.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM

# Qt is built with -reduce-relocations, so executables need -fPIC.
${CXX:-g++} -std=c++17 -O2 -fPIC -o "$tmp/makelogo" \
    "$root/scripts/logo/makelogo.cpp" $(pkg-config --cflags --libs Qt5Gui)

mkdir -p "$root/Resources" "$root/app/windows"
QT_QPA_PLATFORM=offscreen "$tmp/makelogo" "$root"
echo "wrote $root/Resources/logo.png and $root/app/windows/Kestrik_KCC.ico"
