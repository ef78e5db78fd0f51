#!/usr/bin/env bash
# Builds the Debian packages (scripts/package.sh), kestrik-kcc-cli and
# kestrik-kcc, and checks them as a user of Debian would get them: their
# contents, that the command line's package depends on no GUI library (its
# Depends, their whole closure, ldd of the installed program), lintian (errors
# fail, and for kestrik-kcc-cli warnings too), the desktop entry and AppStream
# metadata, an install into another prefix, then installing them with apt,
# kestrik-kcc-cli wiping a file and a token without a display, --version and
# --help of both, the window under Xvfb closed as a window manager closes it,
# and purging them. Needs root or sudo; installed kestrik-kcc and
# kestrik-kcc-cli are purged at the end.
# Prints PASS or FAIL; exit code 0 on PASS.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/packages.sh"
"$root/scripts/deps.sh" "${BUILD_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}" "${PACKAGE_CHECK_PACKAGES[@]}"

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
# Debian's interpreter: python3-xlib is installed for it, not for others on PATH.
python=/usr/bin/python3
title="Модуль гарантированного удаления ключевых контейнеров"

fail() {
    echo "check-package: FAIL: $*"
    exit 1
}

mapfile -t debs < <("$root/scripts/package.sh" | tail -n 2)
cli_deb=${debs[0]:-}
deb=${debs[1]:-}
[ -f "$cli_deb" ] && [ -f "$deb" ] || fail "the two packages were not built: ${debs[*]}"
name=$(dpkg-deb -f "$deb" Package)
cli_name=$(dpkg-deb -f "$cli_deb" Package)
[ "$name" = kestrik-kcc ] && [ "$cli_name" = kestrik-kcc-cli ] || fail "the packages are $cli_name and $name"
version=$(dpkg-deb -f "$deb" Version)
arch=$(dpkg-deb -f "$deb" Architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
app_id=example.kestrik.kcc
echo "== $cli_deb: $cli_name $(dpkg-deb -f "$cli_deb" Version)"
echo "== $deb: $name $version $arch"

tmp=$(mktemp -d)
installed=0
cleanup() {
    if [ $installed = 1 ]; then
        "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "$name" "$cli_name" >/dev/null || true
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT

# A GUI library in a Depends line or in ldd's output.
gui_libs='libqt5(gui|widgets|printsupport|opengl|xcbqpa)|libQt5(Gui|Widgets|PrintSupport|OpenGL|XcbQpa)|libx11|libX11|libxcb|libgl1|libGL'

echo "== $cli_name: contents"
dpkg-deb -c "$cli_deb" | awk '{print $1, $6}'
dpkg-deb -x "$cli_deb" "$tmp/cli"
for f in usr/bin/kestrik-kcc-cli "usr/lib/$multiarch/kestrik-kcc/libvelmux.so" usr/share/man/man1/kestrik-kcc-cli.1.gz \
    usr/share/doc/kestrik-kcc-cli/copyright usr/share/doc/kestrik-kcc-cli/changelog.gz \
    usr/share/doc/kestrik-kcc-cli/README.md usr/share/doc/kestrik-kcc-cli/docs/rollout.md \
    usr/share/doc/kestrik-kcc-cli/docs/journal.md usr/share/bash-completion/completions/kestrik-kcc-cli \
    usr/share/zsh/vendor-completions/_kestrik-kcc-cli; do
    [ -f "$tmp/cli/$f" ] || fail "$cli_name lacks /$f"
done
unexpected=$(dpkg-deb -c "$cli_deb" | awk '{print $6}' | grep -v -e '^\./usr/bin/kestrik-kcc-cli$' -e '/$' \
    -e '^\./usr/lib/.*/kestrik-kcc/libvelmux\.so$' -e '^\./usr/share/man/man1/kestrik-kcc-cli\.1\.gz$' \
    -e '^\./usr/share/doc/kestrik-kcc-cli/' -e '^\./usr/share/bash-completion/completions/kestrik-kcc-cli$' \
    -e '^\./usr/share/zsh/vendor-completions/_kestrik-kcc-cli$' || true)
# The manual page tells where the records are and what the environment changes.
man_page=$(zcat "$tmp/cli/usr/share/man/man1/kestrik-kcc-cli.1.gz")
for word in '^\.SH FILES' '^\.SH ENVIRONMENT' 'KCC_TRUSTED_KEYS' 'KCC_CERTIFICATE_SETTINGS' 'trusted\\-keys' \
    'journal\.jsonl\.head' 'certificate\.ini' 'signing\.key'; do
    grep -q "$word" <<<"$man_page" || fail "the manual page lacks $word"
done
[ -z "$unexpected" ] || fail "$cli_name holds more than the command line: $unexpected"
cli_depends=$(dpkg-deb -f "$cli_deb" Depends)
echo "Depends: $cli_depends"
grep -q 'libqt5core5a' <<<"$cli_depends" || fail "$cli_name: Depends was not computed"
if grep -q -E "$gui_libs" <<<"$cli_depends"; then
    fail "$cli_name depends on a GUI library: $cli_depends"
fi
runpath=$(readelf -d "$tmp/cli/usr/bin/kestrik-kcc-cli" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
[ "$runpath" = "\$ORIGIN/../lib/$multiarch/kestrik-kcc" ] || fail "kestrik-kcc-cli's RUNPATH is '$runpath'"
needed=$(readelf -d "$tmp/cli/usr/bin/kestrik-kcc-cli" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ')
echo "NEEDED: $needed"
if grep -q -E "$gui_libs" <<<"$needed"; then
    fail "kestrik-kcc-cli needs a GUI library: $needed"
fi

echo "== $name: contents"
dpkg-deb -c "$deb" | awk '{print $1, $6}'
dpkg-deb -x "$deb" "$tmp/root"
dpkg-deb -f "$deb" Depends | grep -q "kestrik-kcc-cli (= $version)" \
    || fail "$name does not depend on kestrik-kcc-cli (= $version): $(dpkg-deb -f "$deb" Depends)"
[ ! -e "$tmp/root/usr/lib/$multiarch/kestrik-kcc/libvelmux.so" ] || fail "$name ships libvelmux.so too"
expected=(
    usr/bin/kestrik-kcc
    "usr/share/applications/$app_id.desktop"
    "usr/share/mime/packages/$app_id.xml"
    "usr/share/kio/servicemenus/$app_id.destroy.desktop"
    "usr/share/metainfo/$app_id.metainfo.xml"
    "usr/share/icons/hicolor/scalable/apps/$app_id.svg"
    usr/share/man/man1/kestrik-kcc.1.gz
    usr/share/bash-completion/completions/kestrik-kcc
    usr/share/zsh/vendor-completions/_kestrik-kcc
    usr/share/doc/kestrik-kcc/copyright
    usr/share/doc/kestrik-kcc/changelog.gz
)
for size in 16 24 32 48 64 128 256; do
    png="usr/share/icons/hicolor/${size}x$size/apps/$app_id.png"
    expected+=("$png")
    [ -f "$tmp/root/$png" ] || continue
    file -b "$tmp/root/$png" | grep -q "PNG image data, $size x $size," \
        || fail "$png is not a $size x $size PNG"
done
for f in "${expected[@]}"; do
    [ -f "$tmp/root/$f" ] || fail "missing /$f"
done
unexpected=$( (dpkg-deb -c "$deb"; dpkg-deb -c "$cli_deb") | awk '{print $6}' | grep -v '^\./usr/' || true)
[ -z "$unexpected" ] || fail "files outside /usr: $unexpected"
dpkg-deb -f "$deb" Depends | grep -q 'libqt5widgets5' || fail "Depends was not computed"
runpath=$(readelf -d "$tmp/root/usr/bin/kestrik-kcc" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
[ "$runpath" = "\$ORIGIN/../lib/$multiarch/kestrik-kcc" ] || fail "RUNPATH is '$runpath'"
echo "Depends: $(dpkg-deb -f "$deb" Depends)"
echo "RUNPATH: $runpath"

echo "== desktop entry and AppStream metadata"
desktop-file-validate "$tmp/root/usr/share/applications/$app_id.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$tmp/root/usr/share/metainfo/$app_id.metainfo.xml" || fail "metainfo"
# Open With: the file goes to the program; it offers itself for key containers
# without making itself their default opener.
desktop=$tmp/root/usr/share/applications/$app_id.desktop
grep -qx 'Exec=kestrik-kcc %f' "$desktop" || fail "the desktop entry's Exec takes no file: $(grep '^Exec=' "$desktop")"
for type in application/pkcs12 application/x-pkcs12 application/x-kestrik-key-container; do
    grep -q "^MimeType=\(.*;\)\?$type;" "$desktop" || fail "the desktop entry's MimeType lacks $type"
    grep -q "<mediatype>$type</mediatype>" "$tmp/root/usr/share/metainfo/$app_id.metainfo.xml" \
        || fail "the metainfo does not provide for $type"
done
grep -q '<glob pattern="\*.nctx"/>' "$tmp/root/usr/share/mime/packages/$app_id.xml" || fail "no type for .nctx"
grep -q '^Exec=kestrik-kcc %f$' "$tmp/root/usr/share/kio/servicemenus/$app_id.destroy.desktop" || fail "the service menu"
[ "$(dpkg-deb -c "$deb" | grep -c mimeapps.list || true)" -eq 0 ] || fail "the package sets a default opener"
grep '^Exec=\|^MimeType=' "$desktop"

echo "== lintian"
for package in "$cli_deb" "$deb"; do
    lintian_out=$(lintian --pedantic --display-info "$package" 2>&1 | grep -v 'running with root privileges' || true)
    echo "$(basename "$package"): ${lintian_out:-no tags}"
    if grep -q '^E: ' <<<"$lintian_out"; then
        fail "lintian reported errors"
    fi
    # The command line's package is to be lintian clean: no warnings either.
    if [ "$package" = "$cli_deb" ] && grep -q '^W: ' <<<"$lintian_out"; then
        fail "lintian warns about $cli_name"
    fi
    echo "lintian warnings: $(grep -c '^W: ' <<<"$lintian_out" || true)"
done

echo "== cmake --install into another prefix"
cmake --install "$(dirname "$deb")" --prefix "$tmp/prefix" >/dev/null
env -u DISPLAY -u WAYLAND_DISPLAY "$tmp/prefix/bin/kestrik-kcc" --version | grep -qx "kestrik-kcc $version" \
    || fail "the program in $tmp/prefix does not start"
env -u DISPLAY -u WAYLAND_DISPLAY "$tmp/prefix/bin/kestrik-kcc-cli" --version | grep -qx "kestrik-kcc-cli $version" \
    || fail "the command line in $tmp/prefix does not start"

echo "== apt-get install"
export DEBIAN_FRONTEND=noninteractive
installed=1
if ! "${sudo[@]}" apt-get install -y -qq --no-install-recommends "$cli_deb" "$deb" >/dev/null; then
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "$cli_deb" "$deb" >/dev/null || fail "apt-get install"
fi
dpkg-query -W -f='${Package} ${Status} ${Version}\n' "$cli_name" "$name"
program=$(command -v kestrik-kcc) || fail "kestrik-kcc is not on PATH"
[ "$program" = /usr/bin/kestrik-kcc ] || fail "kestrik-kcc found at $program"
if ldd "$program" | grep -q 'not found'; then
    ldd "$program"
    fail "unresolved libraries"
fi
ldd "$program" | grep libvelmux
if command -v gio >/dev/null; then
    # What a desktop asks, once dpkg's triggers have updated the caches.
    head -c 1000 /dev/urandom >"$tmp/old-signing.nctx"
    gio info -a standard::content-type "$tmp/old-signing.nctx" | grep -q 'application/x-kestrik-key-container' \
        || fail ".nctx is $(gio info -a standard::content-type "$tmp/old-signing.nctx" | tail -n 1)"
    for type in application/x-pkcs12 application/x-kestrik-key-container; do
        gio mime "$type" | sed -n '/^Registered/,/^Recommended/p' | grep -q "$app_id.desktop" \
            || fail "Open With does not offer the program for $type"
    done
    echo "Open With offers $app_id.desktop for .pfx, .p12 and .nctx"
else
    echo "gio is not installed: Open With not asked"
fi

echo "== $cli_name without a GUI library"
cli=$(command -v kestrik-kcc-cli) || fail "kestrik-kcc-cli is not on PATH"
[ "$cli" = /usr/bin/kestrik-kcc-cli ] || fail "kestrik-kcc-cli found at $cli"
cli_ldd=$(ldd "$cli")
grep -q libvelmux <<<"$cli_ldd" || fail "kestrik-kcc-cli does not resolve libvelmux.so: $cli_ldd"
if grep -E "($gui_libs)|not found" <<<"$cli_ldd"; then
    fail "kestrik-kcc-cli loads a GUI library or misses one"
fi
echo "ldd: $(wc -l <<<"$cli_ldd") libraries, none of Qt GUI, Widgets or X"
# What apt would install for it on a machine without them: the whole closure
# of its dependencies holds no Qt GUI library.
closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks --no-replaces \
    --no-enhances "$cli_name" 2>/dev/null | grep -v '^ ' | sort -u)
[ -n "$closure" ] || fail "apt-cache depends $cli_name gave nothing"
if grep -q -E '^(libqt5gui5|libqt5widgets5|libqt5printsupport5|libx11-6|libgl1)' <<<"$closure"; then
    fail "$cli_name pulls in $(grep -E '^(libqt5gui5|libqt5widgets5|libqt5printsupport5|libx11-6|libgl1)' <<<"$closure" | tr '\n' ' ')"
fi
echo "the dependency closure of $cli_name: $(wc -l <<<"$closure") packages, no Qt GUI library"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY kestrik-kcc-cli --version) || fail "kestrik-kcc-cli --version exit status"
[ "$out" = "kestrik-kcc-cli $version" ] || fail "kestrik-kcc-cli --version printed '$out'"
# Read whole first: grep -q stops at the first line, and under pipefail the
# program's SIGPIPE on the rest of its help would count as a failure.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY KCC_LANGUAGE=en kestrik-kcc-cli --help) || fail "kestrik-kcc-cli --help exit status"
grep -q '^Usage: kestrik-kcc-cli' <<<"$out" || fail "kestrik-kcc-cli --help"
status=0
env -u DISPLAY -u WAYLAND_DISPLAY kestrik-kcc-cli --act "$tmp/act.pdf" 2>/dev/null || status=$?
[ $status -eq 2 ] || fail "kestrik-kcc-cli --act ended with $status, not 2"
export KCC_JOURNAL=$tmp/journal.jsonl KCC_SIGNING_KEY=$tmp/signing.key KCC_JOURNAL_NO_SYSLOG=1
head -c 4096 /dev/urandom >"$tmp/key.pfx"
env -u DISPLAY -u WAYLAND_DISPLAY kestrik-kcc-cli --wipe-file "$tmp/key.pfx" -a dod --yes \
    || fail "kestrik-kcc-cli --wipe-file ended with $?"
[ ! -e "$tmp/key.pfx" ] || fail "kestrik-kcc-cli left the file"
kestrik-kcc-cli --verify-journal || fail "kestrik-kcc-cli --verify-journal"
# A token: a throwaway SoftHSM2 one holding a key container and another object.
module=/usr/lib/softhsm/libsofthsm2.so
mkdir "$tmp/tokens"
printf 'directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n' "$tmp/tokens" >"$tmp/softhsm2.conf"
export SOFTHSM2_CONF=$tmp/softhsm2.conf
softhsm2-util --init-token --free --label Check --so-pin 87654321 --pin 1234 >/dev/null
head -c 300 /dev/urandom >"$tmp/container.bin"
pkcs11-tool --module "$module" --token-label Check --login --pin 1234 --write-object "$tmp/container.bin" \
    --type data --private --label container --application-label "Kestrik key container" >/dev/null 2>&1 \
    || fail "pkcs11-tool could not write the container"
serial=$(VELMUX_PKCS11_MODULE=$module kestrik-kcc-cli --list-tokens | awk -F '\t' '$2 == "Check" {print $1}')
[ -n "$serial" ] || fail "kestrik-kcc-cli --list-tokens did not list the token"
status=0
echo 1234 | env -u DISPLAY -u WAYLAND_DISPLAY VELMUX_PKCS11_MODULE=$module \
    kestrik-kcc-cli --wipe-token "$serial" -a gost --pin-stdin --yes || status=$?
# SoftHSM2 replaces the object instead of overwriting it: deleted, exit status 8.
[ $status -eq 8 ] || fail "kestrik-kcc-cli --wipe-token ended with $status, not 8"
left=$(pkcs11-tool --module "$module" --token-label Check --login --pin 1234 --list-objects --type data 2>/dev/null \
    | grep -c 'Kestrik key container' || true)
[ "$left" -eq 0 ] || fail "the key container is still on the token"
echo "kestrik-kcc-cli wiped a file and the key container on a SoftHSM2 token without a display"

echo "== a module that does not load, the completion, the roll-out page's commands"
status=0
err=$(VELMUX_PKCS11_MODULE=/nonexistent.so kestrik-kcc-cli --list-tokens 2>&1) || status=$?
[ $status -eq 1 ] && grep -q '/nonexistent.so' <<<"$err" || fail "a module that does not load: status $status, '$err'"
words=$(bash -c '. /usr/share/bash-completion/completions/kestrik-kcc-cli
    COMP_WORDS=(kestrik-kcc-cli --algorithm ""); COMP_CWORD=2; _kestrik_kcc_cli; echo "${COMPREPLY[*]}"
    COMP_WORDS=(kestrik-kcc-cli --verify-c); COMP_CWORD=1; _kestrik_kcc_cli; echo "${COMPREPLY[*]}"')
[ "$words" = $'gost dod hmg-bs hmg-es rcmp ar380 vsitr schneier\n--verify-certificate --verify-collection' ] \
    || fail "bash completion offered: $words"
# Every "sh" block of docs/rollout.md from its key step on, in a folder of
# their own, with the pinned keys in a file of the check's.
export KCC_TRUSTED_KEYS=$tmp/rollout/trusted-keys
mkdir "$tmp/rollout"
awk '/check-package runs the blocks/ {on = 1} on && /^```sh$/ {block = 1; next} block && /^```$/ {block = 0}
    block {print}' /usr/share/doc/kestrik-kcc-cli/docs/rollout.md >"$tmp/rollout.sh"
[ "$(grep -c 'kestrik-kcc-cli' "$tmp/rollout.sh")" -ge 2 ] || fail "no commands taken from rollout.md"
(cd "$tmp/rollout" && bash -euo pipefail "$tmp/rollout.sh") || fail "the commands of docs/rollout.md"
grep -q "^$(kestrik-kcc-cli --public-key) # " "$KCC_TRUSTED_KEYS" || fail "rollout.md did not pin the key"
echo "rollout.md: collected the key, pinned it and verified the collection"
unset KCC_TRUSTED_KEYS
unset KCC_JOURNAL KCC_SIGNING_KEY KCC_JOURNAL_NO_SYSLOG SOFTHSM2_CONF

echo "== --version, --help, a wrong option, all without a display"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY kestrik-kcc --version) || fail "--version exit status"
[ "$out" = "kestrik-kcc $version" ] || fail "--version printed '$out'"
echo "$out"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY KCC_LANGUAGE=en kestrik-kcc --help) || fail "--help exit status"
grep -q '^Usage: kestrik-kcc' <<<"$out" || fail "--help"
status=0
env -u DISPLAY -u WAYLAND_DISPLAY kestrik-kcc --no-such-option 2>/dev/null || status=$?
[ $status -eq 2 ] || fail "an unknown option ended with $status, not 2"
status=0
err=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM kestrik-kcc 2>&1) || status=$?
[ $status -eq 1 ] && [ "$(wc -l <<<"$err")" -eq 1 ] && grep -q DISPLAY <<<"$err" \
    || fail "the window without a display: status $status, '$err'"
if command -v man >/dev/null; then
    man -w kestrik-kcc >/dev/null || fail "man kestrik-kcc"
fi

echo "== the window under Xvfb"
# Starts the program, waits for its window by its title, asks it to close
# through WM_DELETE_WINDOW (what a window manager sends) and passes on the
# program's exit status.
cat >"$tmp/window.py" <<'EOF'
import subprocess, sys, time
from Xlib import X, display, error
from Xlib.protocol import event

program, title = sys.argv[1], sys.argv[2]
app = subprocess.Popen([program])
d = display.Display()
net_wm_name = d.intern_atom("_NET_WM_NAME")
utf8 = d.intern_atom("UTF8_STRING")

def find(win):
    try:
        prop = win.get_full_property(net_wm_name, utf8)
        if prop and prop.value.decode("utf-8", "replace") == title:
            return win
        for child in win.query_tree().children:
            hit = find(child)
            if hit:
                return hit
    except error.BadWindow:
        pass
    return None

window = None
for _ in range(600):
    if app.poll() is not None:
        sys.exit("the program ended with %d before its window appeared" % app.returncode)
    window = find(d.screen().root)
    if window:
        break
    time.sleep(0.1)
if not window:
    app.kill()
    sys.exit("no window titled '%s'" % title)
print("window 0x%x: %s" % (window.id, title))
protocols = d.intern_atom("WM_PROTOCOLS")
delete = d.intern_atom("WM_DELETE_WINDOW")
window.send_event(event.ClientMessage(window=window, client_type=protocols,
                                      data=(32, [delete, X.CurrentTime, 0, 0, 0])))
d.flush()
try:
    status = app.wait(timeout=60)
except subprocess.TimeoutExpired:
    app.kill()
    sys.exit("the window did not close")
print("closed; exit status %d" % status)
sys.exit(status)
EOF
KCC_LANGUAGE=ru xvfb-run -a -s "-screen 0 1024x768x24" "$python" "$tmp/window.py" /usr/bin/kestrik-kcc "$title" \
    || fail "the installed program's window"

echo "== apt-get purge"
"${sudo[@]}" apt-get purge -y -qq "$name" "$cli_name" >/dev/null || fail "apt-get purge"
installed=0
[ ! -e /usr/bin/kestrik-kcc ] || fail "/usr/bin/kestrik-kcc is still there"
[ ! -e /usr/bin/kestrik-kcc-cli ] || fail "/usr/bin/kestrik-kcc-cli is still there"
[ ! -e "/usr/lib/$multiarch/kestrik-kcc" ] || fail "the private library directory is still there"
echo "check-package: PASS"
