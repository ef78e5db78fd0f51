#!/usr/bin/env bash
# Photographs the program under a virtual display for the README:
# docs/main-window.png, and a wipe of a large scratch file on its way:
# docs/confirmation.png (the question) and docs/progress.png (the wipe).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" xvfb xauth imagemagick x11-utils xdotool fonts-dejavu-core
"$root/scripts/build.sh"
build=${BUILD_DIR:-$root/build}
mkdir -p "$root/docs"
scratch=$(mktemp -d "$build/screenshot.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
# Large enough that a pass takes a second or more; sparse, so it costs no time to make.
truncate -s 2G "$scratch/key.pfx"

KCC_LANGUAGE=ru KCC_JOURNAL="$scratch/journal.jsonl" xvfb-run -a -s "-screen 0 800x600x24" bash -c '
    set -e
    shot() { import -window root -crop "$(xdotool getwindowgeometry --shell "$id" | awk -F= "/WIDTH/ {w=\$2} /HEIGHT/ {h=\$2} END {print w \"x\" h \"+0+0\"}")" "$1"; }
    "$1/app/kestrik-kcc" &
    app=$!
    for _ in $(seq 50); do
        id=$(xdotool search --name "Модуль гарантированного" 2>/dev/null | head -n 1)
        [ -n "$id" ] && break
        sleep 0.2
    done
    sleep 1
    shot "$2/main-window.png"
    # The path field has the focus; Enter asks, Shift+Tab reaches "Да".
    xdotool type --delay 5 "$3/key.pfx"
    xdotool key Return
    sleep 1
    shot "$2/confirmation.png"
    xdotool key shift+Tab space
    sleep 1.5
    shot "$2/progress.png"
    xdotool key Escape
    sleep 2
    xdotool key Return
    sleep 0.5
    kill "$app"
' _ "$build" "$root/docs" "$scratch"
echo "wrote docs/main-window.png, docs/confirmation.png, docs/progress.png"
