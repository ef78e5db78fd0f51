#!/usr/bin/env bash
# Builds the Windows program (scripts/build-windows.sh --tests) and its MSI
# installers (scripts/build-msi.sh) and proves them without Windows:
#  - the i686 Kestrik_KCC.exe is a 32-bit GUI PE, the x86_64 one a 64-bit GUI
#    PE, kestrik-kcc-cli.exe a console PE of each; each imports only Windows'
#    own DLLs and velmux.dll, and velmux.dll only Windows' own DLLs;
#  - kestrik-kcc-cli.exe under wine: --version and --help on its console, a
#    file wiped;
#  - per target, in a wine prefix of its own on Xvfb (i686 under wine32 in a
#    win32 prefix, x86_64 under wine64): the program's window appears with its
#    title and size, wipes a file on tmpfs and the key container on a token of
#    the tests' PKCS#11 module DLL through the real window, driven by xdotool;
#    velmux.dll loads a module named in the registry; the Qt Test suites built
#    for Windows pass;
#  - per target, the MSI installs with msiexec /qn, puts both programs,
#    velmux.dll and a Start-menu shortcut in place, starts through that shortcut, runs
#    the .pfx context-menu verb's command on a file (the window holds it: Нет
#    keeps it, Да wipes it), is replaced by a higher version (one entry under Uninstall), refuses to go
#    back to the older one and uninstalls leaving nothing behind, the verb
#    included.
# Where this machine runs no 32-bit x86 code at all, the i686 program cannot
# start: its MSI is then installed the way 64-bit Windows installs it, by the
# 64-bit msiexec into Program Files (x86), and what needs the program running
# is reported as not run.
# Prints PASS or FAIL; exit code 0 on PASS. KCC_WIN_TARGETS picks the targets
# ("i686 x86_64"; by default see "auto" below); --no-build uses what is built.
# A screenshot of each window goes to build-windows/TARGET/main-window-wine.png
# (the first one also to ${KCC_WIN_SCREENSHOT:-build-windows/main-window-wine.png}).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/packages.sh"
"$root/scripts/deps.sh" "${WINDOWS_QT_PACKAGES[@]}" "${WINDOWS_RUN_PACKAGES[@]}" "${MSI_PACKAGES[@]}"

out=${WIN_APP_BUILD_DIR:-$root/build-windows}
qt_cache=${KCC_WIN_QT_CACHE:-/var/cache/kestrik-kcc-qt}
qt_cached() {
    [ -f "$qt_cache/qt-$1/.stamp" ] || [ -f "${XDG_CACHE_HOME:-$HOME/.cache}/kestrik-kcc-qt/qt-$1/.stamp" ]
}
# The program's version, and one above it for the upgrade.
version=$(sed -n 's/^project([^)]*VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
IFS=. read -r v_major v_minor v_patch v_tweak <<<"$version"
next_version=$v_major.$v_minor.$v_patch.$((v_tweak + 1))

# Debian's wine32 loader is an i386 ELF: a kernel (or virtual machine) without
# 32-bit code segments refuses it, and wine64's own WoW64 mode needs them too.
runs_32bit=0
/usr/lib/wine/wine --version >/dev/null 2>&1 && runs_32bit=1

# auto: first the target whose program runs here, always: i686, the program as
# it ships, where the machine runs 32-bit code, otherwise x86_64 (the same
# source, so the window is still proven). The other joins when its Qt is
# cached or when KCC_WIN_BUDGET (seconds left, as CI gives it) still leaves 50
# minutes: a Qt took 33 min on a loaded 2-core machine, its program,
# installers and checks about 5 more.
targets_wanted=${KCC_WIN_TARGETS:-auto}
started=$SECONDS
first=x86_64 second=i686
[ "$runs_32bit" -eq 1 ] && { first=i686; second=x86_64; }
if [ "$targets_wanted" = auto ]; then
    targets=("$first")
else
    read -r -a targets <<<"$targets_wanted"
fi
build_target() {
    "$root/scripts/build-windows.sh" --tests "$1"
    "$root/scripts/build-msi.sh" "$1"
    KCC_MSI_VERSION=$next_version "$root/scripts/build-msi.sh" "$1"
}
if [ "${1:-}" != "--no-build" ]; then
    for target in "${targets[@]}"; do build_target "$target"; done
    if [ "$targets_wanted" = auto ]; then
        left=$(( ${KCC_WIN_BUDGET:-999999} - (SECONDS - started) ))
        if qt_cached "$second" || [ "$left" -gt 3000 ]; then
            build_target "$second"
            targets+=("$second")
        else
            echo "== $second left out: its Qt is not cached and only ${left} s are left"
        fi
    fi
elif [ "$targets_wanted" = auto ]; then
    [ -f "$out/$second/bin/Kestrik_KCC.exe" ] && targets+=("$second")
fi

failures=0
not_run=()
ok() { echo "ok   $*"; }
bad() { echo "FAIL $*"; failures=$((failures + 1)); }

# --- the binaries -----------------------------------------------------------
# Windows' own DLLs the program may import; anything else would have to ship.
system_dlls='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comdlg32|comctl32|winmm|ws2_32|imm32|uxtheme|dwmapi|version|netapi32|userenv|winspool\.drv|shlwapi|msvcrt|mpr|wtsapi32|setupapi|crypt32|secur32|iphlpapi|dnsapi|ntdll|rpcrt4|bcrypt|d3d9|d3d11|dxgi|authz|api-ms-win-[a-z0-9-]+)\.dll$|^winspool\.drv$'
imports() { "$1-w64-mingw32-objdump" -p "$2" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z'; }
declare -A pe_kind=([i686]='PE32 executable (GUI) Intel 80386' [x86_64]='PE32+ executable (GUI) x86-64')
declare -A console_kind=([i686]='PE32 executable (console) Intel 80386' [x86_64]='PE32+ executable (console) x86-64')
for target in "${targets[@]}"; do
    exe=$out/$target/bin/Kestrik_KCC.exe
    cli=$out/$target/bin/kestrik-kcc-cli.exe
    dll=$out/$target/bin/velmux.dll
    if [ ! -f "$exe" ] || [ ! -f "$cli" ] || [ ! -f "$dll" ]; then
        bad "$target: Kestrik_KCC.exe, kestrik-kcc-cli.exe or velmux.dll was not built in $out/$target/bin"
        continue
    fi
    kind=$(file -b "$exe")
    case "$kind" in
        "${pe_kind[$target]}"*) ok "$target: $kind" ;;
        *) bad "$target: file says '$kind'" ;;
    esac
    kind=$(file -b "$cli")
    case "$kind" in
        "${console_kind[$target]}"*) ok "$target: kestrik-kcc-cli.exe: $kind" ;;
        *) bad "$target: kestrik-kcc-cli.exe: file says '$kind'" ;;
    esac
    for program in "$exe" "$cli"; do
        foreign=$(imports "$target" "$program" | grep -v -E "$system_dlls" | grep -v -x velmux.dll || true)
        [ -z "$foreign" ] && ok "$target: $(basename "$program") imports $(imports "$target" "$program" | tr '\n' ' ')" \
            || bad "$target: $(basename "$program") imports $(echo "$foreign" | tr '\n' ' ')"
    done
    foreign=$(imports "$target" "$dll" | grep -v -E "$system_dlls" || true)
    [ -z "$foreign" ] && ok "$target: velmux.dll imports $(imports "$target" "$dll" | tr '\n' ' ')" \
        || bad "$target: velmux.dll imports $(echo "$foreign" | tr '\n' ' ')"
    # The ten functions and our own extras: every one velmux.h declares.
    declared=$(grep -c '^VELMUX_API ' "$root/velmux/velmux.h")
    exports=$("$target-w64-mingw32-objdump" -p "$dll" | grep -c -E '^\s+\[ *[0-9]+\] velmux_' || true)
    [ "$exports" -eq "$declared" ] && ok "$target: velmux.dll exports the ten functions and the $((declared - 10)) extras of velmux.h" \
        || bad "$target: velmux.dll exports $exports velmux_ functions, velmux.h declares $declared"
    if grep -q -a 'asInvoker' "$exe" && "$target-w64-mingw32-objdump" -h "$exe" | grep -q '\.rsrc'; then
        ok "$target: resources with the asInvoker manifest"
    else
        bad "$target: no manifest resource"
    fi
done

# --- under wine ---------------------------------------------------------------

tmp=$(mktemp -d)
# tmpfs: the far-future wipe time is kept as it is (ext4 would clamp it).
shm=$(mktemp -d /dev/shm/kcc-winprog.XXXXXX)
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export HOME=$tmp/home
mkdir -p "$HOME"
xvfb_pid=
app_pid=
wine=
wineserver=
stop_wine() {
    [ -z "$app_pid" ] || { kill "$app_pid" 2>/dev/null || true; wait "$app_pid" 2>/dev/null || true; }
    app_pid=
    [ -z "$wineserver" ] && return 0
    "$wineserver" -k >/dev/null 2>&1 || true
    "$wineserver" -w >/dev/null 2>&1 || true
}
cleanup() {
    stop_wine
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$tmp" "$shm"
}
trap cleanup EXIT

exec 5>"$tmp/display"
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
DISPLAY=:$(head -n1 "$tmp/display")
export DISPLAY
echo "== Xvfb on $DISPLAY"

# A fresh prefix for one target: $1 win32 or win64.
new_prefix() {
    stop_wine
    export WINEPREFIX=$tmp/prefix-$target-$1 WINEARCH=$1
    if [ "$1" = win32 ]; then
        wine=/usr/lib/wine/wine wineserver=/usr/lib/wine/wineserver32
    else
        wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver64
    fi
    local start=$SECONDS
    "$wine" wineboot -i >"$tmp/wineboot-$target.log" 2>&1 || true
    "$wineserver" -w
    # Qt's temporary files (the suites' test directories) on tmpfs too.
    "$wine" reg add 'HKCU\Environment' /v TEMP /d "$(winpath "$shm")" /f >/dev/null 2>&1
    "$wine" reg add 'HKCU\Environment' /v TMP /d "$(winpath "$shm")" /f >/dev/null 2>&1
    "$wineserver" -w
    echo "   $target: $1 prefix under $(basename "$wine") ready in $((SECONDS - start)) s"
}

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
    # shellcheck disable=SC2086 # $2 is a list of keys
    xdotool key --delay 100 ${2:-Return}
    wait_gone "$box" 30
}
# The question's default is "Нет": Shift+Tab reaches "Да", Space presses it.
confirm_box() {
    answer_box "$1" "shift+Tab space"
}
# Opens the media dialog from the main window in device mode; prints its id.
open_media_dialog() {
    click_twice 230 52                           # "Устройство PKCS#11"
    sleep 1
    for _ in 1 2 3; do                           # a click during the relayout may be lost
        click 355 79                             # "..." beside the device field
        wait_window 'Выбор носителя' 10 && return 0
    done
    return 1
}

title='Модуль гарантированного удаления ключевых контейнеров'
box_title='Удаление ключевого контейнера'

# kestrik-kcc-cli.exe from its build directory, as a script on Windows runs it:
# its answers reach the console wine gives it, and it wipes a file.
check_cli() {
    local bin=$out/$target/bin key=$shm/$target-cli-key.pfx output status=0
    echo "== $target: kestrik-kcc-cli.exe under $(basename "$wine")"
    output=$(cd "$bin" && "$wine" kestrik-kcc-cli.exe --version 2>/dev/null | tr -d '\r') || status=$?
    [ "$status" -eq 0 ] && [ "$output" = "kestrik-kcc-cli $version" ] && ok "$target: kestrik-kcc-cli.exe --version: $output" \
        || bad "$target: kestrik-kcc-cli.exe --version ended with $status, printed '$output'"
    status=0
    output=$(cd "$bin" && KCC_LANGUAGE=en "$wine" kestrik-kcc-cli.exe --help 2>/dev/null | tr -d '\r') || status=$?
    [ "$status" -eq 0 ] && grep -q '^Usage: kestrik-kcc-cli' <<<"$output" \
        && ok "$target: kestrik-kcc-cli.exe --help: $(wc -l <<<"$output") lines, '$(head -n 1 <<<"$output")'" \
        || bad "$target: kestrik-kcc-cli.exe --help ended with $status: $(head -n 2 <<<"$output")"
    head -c 4096 /dev/urandom >"$key"
    status=0
    output=$(cd "$bin" && KCC_LANGUAGE=en "$wine" kestrik-kcc-cli.exe --wipe-file "$(winpath "$key")" -a dod --yes 2>&1 \
        | tr -d '\r') || status=$?
    # 10: deleted, but wine gives no extent map to prove the passes' place by.
    { [ "$status" -eq 0 ] || [ "$status" -eq 10 ]; } && [ ! -e "$key" ] \
        && ok "$target: kestrik-kcc-cli.exe --wipe-file wiped $key, exit status $status: $(head -n 1 <<<"$output")" \
        || bad "$target: kestrik-kcc-cli.exe --wipe-file ended with $status, the file $( [ -e "$key" ] && echo stays || echo is gone): $output"
    stop_wine
}

# The program from its build directory: the window, a file and a token wiped
# through it, the registry's module list, the Qt Test suites.
check_program() {
    local bin=$out/$target/bin key=$shm/$target-key.pfx state=$shm/$target-token.state
    local shot=$out/$target/main-window-wine.png dialog
    head -c 1500 /dev/urandom >"$key"
    echo "== $target: starting Kestrik_KCC.exe under $(basename "$wine")"
    (cd "$bin" && VELMUX_PKCS11_MODULE=$(winpath "$bin/kcc_pkcs11mock.dll") KCC_PKCS11MOCK_STATE=$(winpath "$state") \
        KCC_LANGUAGE=ru exec "$wine" Kestrik_KCC.exe) >"$tmp/app-$target.log" 2>&1 &
    app_pid=$!
    local start=$SECONDS
    if main=$(wait_window "$title" 60); then
        eval "$(xdotool getwindowgeometry --shell "$main")"
        ok "$target: the window '$title' appeared after $((SECONDS - start)) s, ${WIDTH}x${HEIGHT}"
        # The drawn size, or larger where the fonts need it.
        [ "$WIDTH" -ge 560 ] && [ "$HEIGHT" -ge 252 ] && ok "$target: its client area is at least 560x252 as designed" \
            || bad "$target: its size is ${WIDTH}x${HEIGHT}, less than 560x252"
        sleep 1
        if import -window "$main" "$shot"; then
            ok "$target: screenshot: $shot"
            [ -n "$screenshot_taken" ] || { cp "$shot" "$screenshot"; screenshot_taken=1; }
        fi

        echo "== $target: file wipe through the window"
        # Points of the window at its drawn 560x252, menu bar included.
        click 258 79                                 # the file field
        xdotool type --delay 20 "$(winpath "$key")"
        xdotool key Return                           # Enter in the field asks
        if confirm_box "$box_title" && answer_box "$box_title" && [ ! -e "$key" ]; then
            ok "$target: the file $key was wiped and removed through the window"
        else
            bad "$target: file wipe through the window: $( [ -e "$key" ] && echo 'the file is still there' || echo 'a box did not come or go')"
        fi

        echo "== $target: device wipe through the window"
        if dialog=$(open_media_dialog); then
            xdotool mousemove --window "$dialog" 100 20 click 1   # the first medium in the list
            sleep 0.5
            xdotool key --delay 50 Return            # OK
            wait_gone "$dialog" 30 || bad "$target: the media dialog did not close"
            click_twice 474 79                       # the PIN field
            xdotool type --delay 20 1234
            xdotool key Return                       # Enter in the PIN field asks
            confirm_box "$box_title" && answer_box "$box_title" || bad "$target: device wipe: a box did not come or go"
        else
            bad "$target: the media selection dialog did not appear"
        fi
        local app='4b65737472696b206b657920636f6e7461696e6572'   # "Kestrik key container", hex
        if [ -f "$state" ] && ! grep -q " $app " "$state" && grep -q '^object ' "$state" \
            && [ "$(grep -c '^set ' "$state.log")" -eq 2 ] && grep -q '^destroy ' "$state.log"; then
            ok "$target: the key container is gone from the token, the other object stays (ГОСТ: $(grep -c '^set ' "$state.log") writes, then destroyed)"
        else
            bad "$target: device wipe: token state $(cut -c1-80 "$state" 2>/dev/null), log $(tr '\n' ';' <"$state.log" 2>/dev/null)"
        fi
    else
        bad "$target: no window '$title' within 60 s"
        tail -n 20 "$tmp/app-$target.log"
    fi
    stop_wine

    # Without VELMUX_PKCS11_MODULE velmux.dll takes the modules from the registry:
    # listing the media loads the mock, which then makes its state file.
    echo "== $target: modules named in the registry"
    "$wine" reg add 'HKCU\Software\Kestrik\velmux' /v Modules /t REG_MULTI_SZ \
        /d "$(winpath "$bin/kcc_pkcs11mock.dll")" /f >/dev/null 2>&1
    local registry_state=$shm/$target-registry.state
    (cd "$bin" && KCC_LANGUAGE=ru KCC_PKCS11MOCK_STATE=$(winpath "$registry_state") exec "$wine" Kestrik_KCC.exe) \
        >"$tmp/app2-$target.log" 2>&1 &
    app_pid=$!
    if main=$(wait_window "$title" 60); then
        open_media_dialog >/dev/null && xdotool key --delay 50 Escape
        [ -f "$registry_state" ] && ok "$target: the module listed under HKCU\\Software\\Kestrik\\velmux was loaded" \
            || bad "$target: the module named in the registry was not loaded"
    else
        bad "$target: no window '$title' on the second start"
    fi
    stop_wine
    "$wine" reg delete 'HKCU\Software\Kestrik' /f >/dev/null 2>&1 || true

    echo "== $target: Qt Test suites under wine"
    local suites=0 name
    # The suites this build registers, not whatever an older build left in bin/.
    for name in $(ctest --test-dir "$out/$target" -N | sed -n 's/^ *Test *#[0-9]*: //p'); do
        suites=$((suites + 1))
        # Qt Test's own file output: its standard output does not reach us through wine.
        if (cd "$bin" && timeout 600 "$wine" "$name.exe" -o "$(winpath "$tmp/$target-$name.log"),txt" >/dev/null 2>&1); then
            ok "$target: $name: $(grep -a '^Totals:' "$tmp/$target-$name.log" | tr -d '\r')"
        else
            bad "$target: $name"
            grep -a -E '^(FAIL|XPASS|QFATAL|Totals)' "$tmp/$target-$name.log" | tr -d '\r' | head -n 20
        fi
    done
    [ "$suites" -gt 0 ] || bad "$target: no Qt Test suite was built for Windows"
    stop_wine
}

# The Unix path of a folder wine's shell knows by the name $1 under $2 (HKCU or HKLM).
shell_folder() {
    local value
    value=$("$wine" reg query "$2\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders" /v "$1" 2>/dev/null \
        | tr -d '\r' | sed -n "s/^ *$1 *REG_SZ *//p")
    [ -n "$value" ] && readlink -m "$("$wine" winepath -u "$value" 2>/dev/null | tr -d '\r')"
}
# The entries under Uninstall named "Kestrik KCC", one product code a line.
arp_entries() {
    "$wine" uninstaller --list 2>/dev/null | tr -d '\r' | sed -n 's/^\({[0-9A-Fa-f-]*}\)|||Kestrik KCC$/\1/p'
}

verb_key='HKLM\Software\Classes\SystemFileAssociations\.pfx\shell\KestrikKCC.Destroy'
# The installed context-menu verb of .pfx, run as Explorer runs it: its command
# with %1 the file. The window opens with the file in its field; "Нет" keeps
# it, Enter again and "Да" wipe it.
check_verb() {
    local key=$shm/$target-verb.pfx command exe caption
    head -c 1500 /dev/urandom >"$key"
    # The caption is the program's string 101 (MUIVerb): the MSI keeps ASCII only.
    caption=$("$wine" reg query "$verb_key" /v MUIVerb 2>/dev/null | tr -d '\r' | sed -n 's/^ *MUIVerb *REG_SZ *//p')
    command=$("$wine" reg query "$verb_key\\command" /ve 2>/dev/null | tr -d '\r' | sed -n 's/^ *(Default) *REG_SZ *//p')
    exe=$(sed -n 's/^"\([^"]*\)" "%1"$/\1/p' <<<"$command")
    local text utf16
    text='Удалить ключевой контейнер…'
    utf16=$(printf '%s' "$text" | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 | tr -d ' \n' | sed 's/../\\x&/g')
    if [ -n "$exe" ] && [ "$caption" = "@$exe,-101" ] && LC_ALL=C grep -aqP "$utf16" "$dir/Kestrik_KCC.exe"; then
        ok "$target: the verb '$text' ($caption) of .pfx runs $command"
    else
        bad "$target: the verb of .pfx is '$caption', its command '$command'"
        return
    fi
    (KCC_LANGUAGE=ru exec "$wine" "$exe" "$(winpath "$key")") >"$tmp/verb-$target.log" 2>&1 &
    app_pid=$!
    if main=$(wait_window "$title" 60); then
        click 258 79                                 # the file field, holding the file
        xdotool key Return                           # Enter in the field asks
        answer_box "$box_title" && [ -e "$key" ] || bad "$target: the verb's window: the question did not come, or Нет lost the file"
        click 258 79
        xdotool key Return
        if confirm_box "$box_title" && answer_box "$box_title" && [ ! -e "$key" ]; then
            ok "$target: started through the verb, the window held $key: kept on Нет, wiped on Да"
        else
            bad "$target: the verb's window did not wipe $key: $( [ -e "$key" ] && echo 'the file is still there' || echo 'a box did not come or go')"
        fi
    else
        bad "$target: no window '$title' through the verb"
    fi
    stop_wine
}

# The installer: install, start through the shortcut, upgrade, no downgrade,
# uninstall. $1 is 1 when the installed program can run here.
check_msi() {
    local can_run=$1 arch folder
    case "$target" in
        i686) arch=x86 ;;
        x86_64) arch=x64 ;;
    esac
    local msi=$out/kestrik-kcc-$version-$arch.msi newer=$out/kestrik-kcc-$next_version-$arch.msi
    if [ ! -f "$msi" ] || [ ! -f "$newer" ]; then
        bad "$target: $msi or its $next_version were not built"
        return
    fi
    # A 32-bit package goes to Program Files (x86) under a 64-bit system.
    if [ "$target" = i686 ] && [ "$WINEARCH" = win64 ]; then folder='Program Files (x86)'; else folder='Program Files'; fi
    local drive=$WINEPREFIX/drive_c dir
    dir="$drive/$folder/Kestrik/Kestrik KCC"
    local menus=("$(shell_folder Programs HKCU)" "$(shell_folder 'Common Programs' HKLM)")
    drive=$(readlink -f "$drive")
    echo "== $target: $(basename "$msi") under msiexec"
    local status=0
    "$wine" msiexec /i "$(winpath "$msi")" /qn >"$tmp/msi-$target.log" 2>&1 || status=$?
    if [ "$status" -eq 0 ] && [ -f "$dir/Kestrik_KCC.exe" ] && [ -f "$dir/velmux.dll" ] \
        && cmp -s "$dir/Kestrik_KCC.exe" "$out/$target/bin/Kestrik_KCC.exe" && cmp -s "$dir/velmux.dll" "$out/$target/bin/velmux.dll" \
        && cmp -s "$dir/kestrik-kcc-cli.exe" "$out/$target/bin/kestrik-kcc-cli.exe"; then
        ok "$target: msiexec /i /qn put Kestrik_KCC.exe, kestrik-kcc-cli.exe and velmux.dll in C:\\$folder\\Kestrik\\Kestrik KCC"
    else
        bad "$target: msiexec /i exited with $status; in C:\\$folder\\Kestrik\\Kestrik KCC: $(ls "$dir" 2>/dev/null | tr '\n' ' ')"
    fi
    # The system PATH names the install folder: scripts call kestrik-kcc-cli by name.
    local env_key='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment' path_value
    path_value=$("$wine" reg query "$env_key" /v PATH 2>/dev/null | tr -d '\r' | sed -n 's/^ *PATH *REG_[A-Z_]*SZ *//Ip')
    case ";$path_value;" in
        *";C:\\$folder\\Kestrik\\Kestrik KCC\\;"* | *";C:\\$folder\\Kestrik\\Kestrik KCC;"*)
            ok "$target: the system PATH ends with the install folder" ;;
        *) bad "$target: the system PATH lacks C:\\$folder\\Kestrik\\Kestrik KCC: $path_value" ;;
    esac
    local lnk='' menu
    for menu in "${menus[@]}"; do
        [ -n "$menu" ] && [ -f "$menu/Kestrik KCC.lnk" ] && lnk="$menu/Kestrik KCC.lnk"
    done
    [ -n "$lnk" ] && ok "$target: the Start-menu shortcut ${lnk#"$drive"/}" || bad "$target: no 'Kestrik KCC.lnk' in the Start menu (${menus[*]})"
    local first
    first=$(arp_entries)
    [ "$(echo "$first" | grep -c .)" -eq 1 ] && ok "$target: one entry under Uninstall, $first" \
        || bad "$target: the entries under Uninstall are '$(echo "$first" | tr '\n' ' ')'"

    if [ "$can_run" -eq 1 ]; then
        local installed_version
        installed_version=$("$wine" "$dir/kestrik-kcc-cli.exe" --version 2>/dev/null | tr -d '\r' || true)
        [ "$installed_version" = "kestrik-kcc-cli $version" ] && ok "$target: the installed kestrik-kcc-cli.exe answers '$installed_version'" \
            || bad "$target: the installed kestrik-kcc-cli.exe --version printed '$installed_version'"
        stop_wine
    fi
    if [ "$can_run" -eq 1 ] && [ -n "$lnk" ]; then
        # The shortcut is opened as the Start menu opens it.
        (KCC_LANGUAGE=ru exec "$wine" start /wait /unix "$lnk") >"$tmp/installed-$target.log" 2>&1 &
        app_pid=$!
        if main=$(wait_window "$title" 60); then
            ok "$target: the installed program started through its shortcut, window '$title'"
            # WM_CLOSE, as closing the window does; the program then ends.
            "$wine" taskkill /im Kestrik_KCC.exe >/dev/null 2>&1 || true
            if wait_gone "$main" 30; then
                status=0
                wait "$app_pid" || status=$?
                app_pid=
                ok "$target: closed, it ended with exit code $status"
                [ "$status" -eq 0 ] || bad "$target: the installed program ended with $status"
            else
                bad "$target: the installed program's window did not close"
            fi
        else
            bad "$target: no window '$title' from the installed program"
        fi
        stop_wine
        check_verb
    else
        not_run+=("$target: starting the installed program", "$target: the context-menu verb")
    fi

    echo "== $target: $(basename "$newer") over it"
    status=0
    "$wine" msiexec /i "$(winpath "$newer")" /qn >>"$tmp/msi-$target.log" 2>&1 || status=$?
    local second
    second=$(arp_entries)
    if [ "$status" -eq 0 ] && [ "$(echo "$second" | grep -c .)" -eq 1 ] && [ "$second" != "$first" ] \
        && [ ! -e "$drive/windows/Installer/$first" ] && [ -f "$dir/Kestrik_KCC.exe" ]; then
        ok "$target: $next_version replaced $version: one entry under Uninstall, $second; $first and its cached files are gone"
    else
        bad "$target: upgrade: msiexec exited with $status, entries '$(echo "$second" | tr '\n' ' ')'"
    fi
    status=0
    "$wine" msiexec /i "$(winpath "$msi")" /qn >>"$tmp/msi-$target.log" 2>&1 || status=$?
    [ "$status" -ne 0 ] && [ "$(arp_entries)" = "$second" ] && ok "$target: $version is refused over $next_version" \
        || bad "$target: installing $version over $next_version gave $status, entries '$(arp_entries | tr '\n' ' ')'"

    echo "== $target: uninstalling $second"
    status=0
    "$wine" msiexec /x "$second" /qn >>"$tmp/msi-$target.log" 2>&1 || status=$?
    local left=()
    [ ! -e "$drive/$folder/Kestrik" ] || left+=("C:\\$folder\\Kestrik")
    for menu in "${menus[@]}"; do
        [ -z "$menu" ] || [ ! -e "$menu/Kestrik KCC.lnk" ] || left+=("${menu#"$drive"/}/Kestrik KCC.lnk")
    done
    [ -z "$(arp_entries)" ] || left+=("the entry under Uninstall")
    "$wine" reg query "$verb_key" >/dev/null 2>&1 && left+=("$verb_key")
    "$wine" reg query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment' /v PATH 2>/dev/null \
        | grep -qi 'Kestrik KCC' && left+=("the install folder in the system PATH")
    [ "$status" -eq 0 ] && [ ${#left[@]} -eq 0 ] && ok "$target: msiexec /x /qn left nothing in C:\\$folder, the Start menu and Uninstall" \
        || bad "$target: msiexec /x exited with $status, left: ${left[*]}"
    stop_wine
}

screenshot=${KCC_WIN_SCREENSHOT:-$out/main-window-wine.png}
screenshot_taken=
for target in "${targets[@]}"; do
    [ -f "$out/$target/bin/Kestrik_KCC.exe" ] || continue
    if [ "$target" = x86_64 ]; then
        new_prefix win64
        check_cli
        check_program
        check_msi 1
    elif [ "$runs_32bit" -eq 1 ]; then
        new_prefix win32
        check_cli
        check_program
        check_msi 1
    else
        echo "== i686: this machine runs no 32-bit x86 code (the i386 wine loader cannot start)"
        not_run+=("i686: the program's window, wipes, registry modules and Qt Test suites, kestrik-kcc-cli.exe")
        new_prefix win64
        check_msi 0
    fi
done

for item in "${not_run[@]}"; do echo "not run here: $item"; done
if [ "$failures" -eq 0 ]; then
    echo "check-windows-program: PASS${not_run:+ (${#not_run[@]} not run, above)}"
else
    echo "check-windows-program: FAIL ($failures)"
    exit 1
fi
