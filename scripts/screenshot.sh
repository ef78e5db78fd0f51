#!/usr/bin/env bash
# Photographs the main window under a virtual display for the README:
# docs/main-window.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" xvfb xauth imagemagick x11-utils fonts-dejavu-core
"$root/scripts/build.sh"
build=${BUILD_DIR:-$root/build}
mkdir -p "$root/docs"

KCC_LANGUAGE=ru xvfb-run -a -s "-screen 0 800x600x24" bash -c '
    "$1/app/kestrik-kcc" &
    app=$!
    for _ in $(seq 50); do
        id=$(xwininfo -root -tree 2>/dev/null | awk "/Модуль гарантированного/ {print \$1; exit}")
        [ -n "$id" ] && break
        sleep 0.2
    done
    sleep 1
    import -window "$id" "$2"
    kill "$app"
' _ "$build" "$root/docs/main-window.png"
echo "wrote docs/main-window.png"
