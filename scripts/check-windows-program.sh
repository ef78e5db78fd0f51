#!/usr/bin/env bash
# Builds the Windows program (scripts/build-windows.sh --tests) and proves it
# without Windows:
#  - the i686 Kestrik_KCC.exe is a 32-bit GUI PE, the x86_64 one a 64-bit GUI
#    PE; each imports only Windows' own DLLs and velmux.dll, and velmux.dll
#    only Windows' own DLLs;
#  - under wine64 on Xvfb the x86_64 program's window appears with its title
#    and size, wipes a file on tmpfs and the key container on a token of the
#    tests' PKCS#11 module DLL through the real window, driven by xdotool;
#  - the Qt Test suites built for Windows pass under wine.
# Prints PASS or FAIL; exit code 0 on PASS. KCC_WIN_TARGETS picks the targets
# ("x86_64 i686"; by default see "auto" below); --no-build uses what is built. A screenshot
# of the window goes to ${KCC_WIN_SCREENSHOT:-build-windows/main-window-wine.png}.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/packages.sh"
"$root/scripts/deps.sh" "${WINDOWS_QT_PACKAGES[@]}" "${WINDOWS_RUN_PACKAGES[@]}"

# auto: x86_64 always; i686 too when its Qt is cached or when KCC_WIN_BUDGET
# (seconds left, as CI gives it) still leaves 50 minutes after x86_64.
targets_wanted=${KCC_WIN_TARGETS:-auto}
started=$SECONDS
if [ "$targets_wanted" = auto ]; then
    targets=(x86_64)
else
    read -r -a targets <<<"$targets_wanted"
fi
if [ "${1:-}" != "--no-build" ]; then
    "$root/scripts/build-windows.sh" --tests "${targets[@]}"
    if [ "$targets_wanted" = auto ]; then
        left=$(( ${KCC_WIN_BUDGET:-999999} - (SECONDS - started) ))
        qt_cache=${KCC_WIN_QT_CACHE:-/var/cache/kestrik-kcc-qt}
        if [ -f "$qt_cache/qt-i686/.stamp" ] || [ -f "${XDG_CACHE_HOME:-$HOME/.cache}/kestrik-kcc-qt/qt-i686/.stamp" ] \
            || [ "$left" -gt 3000 ]; then
            "$root/scripts/build-windows.sh" --tests i686
            targets+=(i686)
        else
            echo "== i686 left out: its Qt is not cached and only ${left} s are left"
        fi
    fi
elif [ "$targets_wanted" = auto ]; then
    [ -f "${WIN_APP_BUILD_DIR:-$root/build-windows}/i686/bin/Kestrik_KCC.exe" ] && targets+=(i686)
fi
out=${WIN_APP_BUILD_DIR:-$root/build-windows}
screenshot=${KCC_WIN_SCREENSHOT:-$out/main-window-wine.png}

failures=0
ok() { echo "ok   $*"; }
bad() { echo "FAIL $*"; failures=$((failures + 1)); }

# --- the binaries -----------------------------------------------------------
# Windows' own DLLs the program may import; anything else would have to ship.
system_dlls='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comdlg32|comctl32|winmm|ws2_32|imm32|uxtheme|dwmapi|version|netapi32|userenv|winspool\.drv|shlwapi|msvcrt|mpr|wtsapi32|setupapi|crypt32|secur32|iphlpapi|dnsapi|ntdll|rpcrt4|bcrypt|d3d9|d3d11|dxgi|authz|api-ms-win-[a-z0-9-]+)\.dll$|^winspool\.drv$'
imports() { "$1-w64-mingw32-objdump" -p "$2" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z'; }
declare -A pe_kind=([i686]='PE32 executable (GUI) Intel 80386' [x86_64]='PE32+ executable (GUI) x86-64')
for target in "${targets[@]}"; do
    exe=$out/$target/bin/Kestrik_KCC.exe
    dll=$out/$target/bin/velmux.dll
    if [ ! -f "$exe" ] || [ ! -f "$dll" ]; then
        bad "$target: $exe or velmux.dll was not built"
        continue
    fi
    kind=$(file -b "$exe")
    case "$kind" in
        "${pe_kind[$target]}"*) ok "$target: $kind" ;;
        *) bad "$target: file says '$kind'" ;;
    esac
    foreign=$(imports "$target" "$exe" | grep -v -E "$system_dlls" | grep -v -x velmux.dll || true)
    [ -z "$foreign" ] && ok "$target: Kestrik_KCC.exe imports $(imports "$target" "$exe" | tr '\n' ' ')" \
        || bad "$target: Kestrik_KCC.exe imports $(echo "$foreign" | tr '\n' ' ')"
    foreign=$(imports "$target" "$dll" | grep -v -E "$system_dlls" || true)
    [ -z "$foreign" ] && ok "$target: velmux.dll imports $(imports "$target" "$dll" | tr '\n' ' ')" \
        || bad "$target: velmux.dll imports $(echo "$foreign" | tr '\n' ' ')"
    # The ten functions and our own three extras (the write method, the container
    # count, the token's last error).
    exports=$("$target-w64-mingw32-objdump" -p "$dll" | grep -c -E '^\s+\[ *[0-9]+\] velmux_' || true)
    [ "$exports" -eq 13 ] && ok "$target: velmux.dll exports the ten functions and the three extras" \
        || bad "$target: velmux.dll exports $exports velmux_ functions"
    if grep -q -a 'asInvoker' "$exe" && "$target-w64-mingw32-objdump" -h "$exe" | grep -q '\.rsrc'; then
        ok "$target: resources with the asInvoker manifest"
    else
        bad "$target: no manifest resource"
    fi
done

# --- under wine: only the 64-bit build runs here ------------------------------
bin=$out/x86_64/bin
if [ ! -f "$bin/Kestrik_KCC.exe" ]; then
    echo "no x86_64 build to run under wine"
    echo "check-windows-program: FAIL"
    exit 1
fi
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
[ -x "$wine" ] || { wine=$(command -v wine64 || command -v wine); wineserver=$(command -v wineserver); }

tmp=$(mktemp -d)
# tmpfs: the far-future wipe time is kept as it is (ext4 would clamp it).
shm=$(mktemp -d /dev/shm/kcc-winprog.XXXXXX)
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
export WINEPREFIX=$tmp/prefix WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export HOME=$tmp/home
mkdir -p "$HOME"
xvfb_pid=
app_pid=
cleanup() {
    [ -z "$app_pid" ] || kill "$app_pid" 2>/dev/null || true
    "$wineserver" -k >/dev/null 2>&1 || true
    "$wineserver" -w >/dev/null 2>&1 || true
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$tmp" "$shm"
}
trap cleanup EXIT

exec 5>"$tmp/display"
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
export DISPLAY=:$(head -n1 "$tmp/display")
echo "== Xvfb on $DISPLAY; preparing a wine prefix"
start=$SECONDS
"$wine" wineboot -i >"$tmp/wineboot.log" 2>&1 || true
"$wineserver" -w
# Qt's temporary files (the suites' test directories) on tmpfs too.
"$wine" reg add 'HKCU\Environment' /v TEMP /d "$(winpath "$shm")" /f >/dev/null 2>&1
"$wine" reg add 'HKCU\Environment' /v TMP /d "$(winpath "$shm")" /f >/dev/null 2>&1
"$wineserver" -w
echo "   prefix ready in $((SECONDS - start)) s"

# Waits (up to $2 s) for a visible window named exactly $1 other than the ids
# in $3 (boxes share one title); prints its id.
wait_window() {
    local id
    for _ in $(seq $(($2 * 5))); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | grep -v -x -F -e "${3:-none}" | tail -n1 || true)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.2
    done
    return 1
}
# Waits (up to $2 s) until window $1 is no longer visible.
wait_gone() {
    for _ in $(seq $(($2 * 5))); do
        xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable' || return 0
        sleep 0.2
    done
    return 1
}
# Clicks at a point of the main window, in its own coordinates (menu bar
# included). The first click after a box closes may only activate the window:
# the second is harmless where the first did the work.
click() {
    xdotool mousemove --window "$main" "$1" "$2" click 1
    sleep 0.5
}
click_twice() {
    click "$1" "$2"
    click "$1" "$2"
}
answered=none
# Answers the next message box titled $1 with $2 (default Return: its default
# button, OK) and waits for it to close. A wipe may take a while to end.
answer_box() {
    local box
    box=$(wait_window "$1" 60 "$answered") || return 1
    answered=$box
    sleep 0.3
    xdotool key --delay 100 ${2:-Return}
    wait_gone "$box" 30
}
# The question's default is "Нет": Shift+Tab reaches "Да", Space presses it.
confirm_box() {
    answer_box "$1" "shift+Tab space"
}

title='Модуль гарантированного удаления ключевых контейнеров'
box_title='Удаление ключевого контейнера'
key=$shm/key.pfx
head -c 1500 /dev/urandom >"$key"
state=$shm/token.state
echo "== starting Kestrik_KCC.exe under wine"
(cd "$bin" && VELMUX_PKCS11_MODULE=$(winpath "$bin/kcc_pkcs11mock.dll") KCC_PKCS11MOCK_STATE=$(winpath "$state") \
    KCC_LANGUAGE=ru exec "$wine" Kestrik_KCC.exe) >"$tmp/app.log" 2>&1 &
app_pid=$!
start=$SECONDS
if main=$(wait_window "$title" 60); then
    eval "$(xdotool getwindowgeometry --shell "$main")"
    ok "the window '$title' appeared after $((SECONDS - start)) s, ${WIDTH}x${HEIGHT}"
    # The drawn size, or larger where the fonts need it.
    [ "$WIDTH" -ge 560 ] && [ "$HEIGHT" -ge 252 ] && ok "its client area is at least 560x252 as designed" \
        || bad "its size is ${WIDTH}x${HEIGHT}, less than 560x252"
    sleep 1
    mkdir -p "$(dirname "$screenshot")"
    import -window "$main" "$screenshot" && ok "screenshot: $screenshot"

    echo "== file wipe through the window"
    # Points of the window at its drawn 560x252, menu bar included.
    click 258 79                                 # the file field
    xdotool type --delay 20 "$(winpath "$key")"
    xdotool key Return                           # Enter in the field asks
    if confirm_box "$box_title" && answer_box "$box_title" && [ ! -e "$key" ]; then
        ok "the file $key was wiped and removed through the window"
    else
        bad "file wipe through the window: $( [ -e "$key" ] && echo 'the file is still there' || echo 'a box did not come or go')"
    fi

    echo "== device wipe through the window"
    click_twice 230 52                           # "Устройство PKCS#11"
    sleep 1
    dialog=
    for _ in 1 2 3; do                           # a click during the relayout may be lost
        click 355 79                             # "..." beside the device field
        dialog=$(wait_window 'Выбор носителя' 10) && break
    done
    if [ -n "$dialog" ]; then
        xdotool mousemove --window "$dialog" 100 20 click 1   # the first medium in the list
        sleep 0.5
        xdotool key --delay 50 Return            # OK
        wait_gone "$dialog" 30 || bad "the media dialog did not close"
        click_twice 474 79                       # the PIN field
        xdotool type --delay 20 1234
        xdotool key Return                       # Enter in the PIN field asks
        confirm_box "$box_title" && answer_box "$box_title" || bad "device wipe: a box did not come or go"
    else
        bad "the media selection dialog did not appear"
    fi
    app='4b65737472696b206b657920636f6e7461696e6572'   # "Kestrik key container", hex
    if [ -f "$state" ] && ! grep -q " $app " "$state" && grep -q '^object ' "$state" \
        && [ "$(grep -c '^set ' "$state.log")" -eq 2 ] && grep -q '^destroy ' "$state.log"; then
        ok "the key container is gone from the token, the other object stays (ГОСТ: $(grep -c '^set ' "$state.log") writes, then destroyed)"
    else
        bad "device wipe: token state $(cat "$state" 2>/dev/null | cut -c1-80), log $(cat "$state.log" 2>/dev/null | tr '\n' ';')"
    fi
else
    bad "no window '$title' within 60 s"
    tail -n 20 "$tmp/app.log"
fi
kill "$app_pid" 2>/dev/null || true
wait "$app_pid" 2>/dev/null || true
app_pid=
"$wineserver" -k >/dev/null 2>&1 || true
"$wineserver" -w >/dev/null 2>&1 || true

# Without VELMUX_PKCS11_MODULE velmux.dll takes the modules from the registry:
# listing the media loads the mock, which then makes its state file.
echo "== modules named in the registry"
"$wine" reg add 'HKCU\Software\Kestrik\velmux' /v Modules /t REG_MULTI_SZ \
    /d "$(winpath "$bin/kcc_pkcs11mock.dll")" /f >/dev/null 2>&1
registry_state=$shm/registry.state
(cd "$bin" && KCC_LANGUAGE=ru KCC_PKCS11MOCK_STATE=$(winpath "$registry_state") exec "$wine" Kestrik_KCC.exe) >"$tmp/app2.log" 2>&1 &
app_pid=$!
if main=$(wait_window "$title" 60); then
    click_twice 230 52
    sleep 1
    dialog=
    for _ in 1 2 3; do
        click 355 79
        dialog=$(wait_window 'Выбор носителя' 10) && break
    done
    [ -n "$dialog" ] && xdotool key --delay 50 Escape
    [ -f "$registry_state" ] && ok "the module listed under HKCU\\Software\\Kestrik\\velmux was loaded" \
        || bad "the module named in the registry was not loaded"
else
    bad "no window '$title' on the second start"
fi
kill "$app_pid" 2>/dev/null || true
wait "$app_pid" 2>/dev/null || true
app_pid=
"$wineserver" -k >/dev/null 2>&1 || true
"$wineserver" -w >/dev/null 2>&1 || true

echo "== Qt Test suites under wine"
suites=0
# The suites this build registers, not whatever an older build left in bin/.
for name in $(ctest --test-dir "$out/x86_64" -N | sed -n 's/^ *Test *#[0-9]*: //p'); do
    suites=$((suites + 1))
    # Qt Test's own file output: its standard output does not reach us through wine.
    if (cd "$bin" && timeout 600 "$wine" "$name.exe" -o "$(winpath "$tmp/$name.log"),txt" >/dev/null 2>&1); then
        ok "$name: $(grep -a '^Totals:' "$tmp/$name.log" | tr -d '\r')"
    else
        bad "$name"
        grep -a -E '^(FAIL|XPASS|QFATAL|Totals)' "$tmp/$name.log" | tr -d '\r' | head -n 20
    fi
done
[ "$suites" -gt 0 ] || bad "no Qt Test suite was built for Windows"

if [ "$failures" -eq 0 ]; then
    echo "check-windows-program: PASS"
else
    echo "check-windows-program: FAIL ($failures)"
    exit 1
fi
