#!/usr/bin/env bash
# Builds the Debian package (scripts/package.sh) and checks it as a user of
# Debian would get it: its contents, lintian (errors fail, warnings are
# listed), the desktop entry and AppStream metadata, an install into another
# prefix, then installing it with apt, --version and --help without a
# display, the window under Xvfb closed as a window manager closes it, and
# purging it. Needs root or sudo; an installed kestrik-kcc is purged at the end.
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

deb=$("$root/scripts/package.sh" | tail -n 1)
[ -f "$deb" ] || fail "no package built"
name=$(dpkg-deb -f "$deb" Package)
version=$(dpkg-deb -f "$deb" Version)
arch=$(dpkg-deb -f "$deb" Architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
app_id=example.kestrik.kcc
echo "== $deb: $name $version $arch"

tmp=$(mktemp -d)
installed=0
cleanup() {
    if [ $installed = 1 ]; then
        "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "$name" >/dev/null || true
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT

echo "== contents"
dpkg-deb -c "$deb" | awk '{print $1, $6}'
dpkg-deb -x "$deb" "$tmp/root"
expected=(
    usr/bin/kestrik-kcc
    "usr/lib/$multiarch/kestrik-kcc/libvelmux.so"
    "usr/share/applications/$app_id.desktop"
    "usr/share/mime/packages/$app_id.xml"
    "usr/share/kio/servicemenus/$app_id.destroy.desktop"
    "usr/share/metainfo/$app_id.metainfo.xml"
    "usr/share/icons/hicolor/scalable/apps/$app_id.svg"
    usr/share/man/man1/kestrik-kcc.1.gz
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
unexpected=$(dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '^\./usr/' || true)
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
lintian_out=$(lintian --pedantic --display-info "$deb" 2>&1 | grep -v 'running with root privileges' || true)
echo "${lintian_out:-no tags}"
if grep -q '^E: ' <<<"$lintian_out"; then
    fail "lintian reported errors"
fi
echo "lintian warnings: $(grep -c '^W: ' <<<"$lintian_out" || true)"

echo "== cmake --install into another prefix"
cmake --install "$(dirname "$deb")" --prefix "$tmp/prefix" >/dev/null
env -u DISPLAY -u WAYLAND_DISPLAY "$tmp/prefix/bin/kestrik-kcc" --version | grep -qx "kestrik-kcc $version" \
    || fail "the program in $tmp/prefix does not start"

echo "== apt-get install"
export DEBIAN_FRONTEND=noninteractive
installed=1
if ! "${sudo[@]}" apt-get install -y -qq --no-install-recommends "$deb" >/dev/null; then
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "$deb" >/dev/null || fail "apt-get install"
fi
dpkg-query -W -f='${Status} ${Version}\n' "$name"
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

echo "== --version, --help, a wrong option, all without a display"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY kestrik-kcc --version) || fail "--version exit status"
[ "$out" = "kestrik-kcc $version" ] || fail "--version printed '$out'"
echo "$out"
env -u DISPLAY -u WAYLAND_DISPLAY KCC_LANGUAGE=en kestrik-kcc --help | grep -q '^Usage: kestrik-kcc' || fail "--help"
status=0
env -u DISPLAY -u WAYLAND_DISPLAY kestrik-kcc --no-such-option 2>/dev/null || status=$?
[ $status -eq 2 ] || fail "an unknown option ended with $status, not 2"
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
"${sudo[@]}" apt-get purge -y -qq "$name" >/dev/null || fail "apt-get purge"
installed=0
[ ! -e /usr/bin/kestrik-kcc ] || fail "/usr/bin/kestrik-kcc is still there"
[ ! -e "/usr/lib/$multiarch/kestrik-kcc" ] || fail "the private library directory is still there"
echo "check-package: PASS"
