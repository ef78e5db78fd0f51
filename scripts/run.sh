#!/usr/bin/env bash
# Builds the program and starts it.
#
#   scripts/run.sh          against the machine's own PKCS#11 tokens
#   scripts/run.sh --demo   against throwaway software tokens, each holding a
#                           sample key container, plus a sample container file;
#                           the machine's own tokens are not visible to the
#                           program. As root, a private openCryptoki token
#                           (which overwrites in place) joins the SoftHSM2 one
#                           (which replaces)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/packages.sh"

demo=0
if [ "${1:-}" = "--demo" ]; then
    demo=1
    shift
fi

# Before the build: without a display the window cannot open, and a first
# build takes minutes.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    again=$0
    [ $demo = 1 ] && again="$0 --demo"
    echo "No display to open the window on: run this from a desktop session, or under a virtual one with: xvfb-run -a $again" >&2
    exit 1
fi

"$root/scripts/build.sh"
"$root/scripts/deps.sh" "${RUN_PACKAGES[@]}"
build=${BUILD_DIR:-$root/build}

if [ $demo = 0 ]; then
    exec "$build/app/kestrik-kcc" "$@"
fi

if [ -z "${KCC_DEMO_INSIDE:-}" ]; then
    echo "The demo needs these Debian packages: ${DEMO_PACKAGES[*]} (deps.sh installs those missing)."
    "$root/scripts/deps.sh" "${DEMO_PACKAGES[@]}"
    # openCryptoki's slot daemon runs beside the program in a namespace of its
    # own; the program still sees the real /dev/shm and /run.
    KCC_DEMO_INSIDE=1 KCC_OPENCRYPTOKI_SHARED=1 exec "$root/scripts/with-opencryptoki.sh" "$0" --demo "$@"
fi
module=/usr/lib/softhsm/libsofthsm2.so
pin=1234
so_pin=87654321
label="Demo token"

dir=$(mktemp -d "${TMPDIR:-/tmp}/kestrik-demo.XXXXXX")
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/tokens"
cat >"$dir/softhsm2.conf" <<EOF
directories.tokendir = $dir/tokens
objectstore.backend = file
log.level = ERROR
EOF
export SOFTHSM2_CONF="$dir/softhsm2.conf"
export VELMUX_PKCS11_MODULE="$module"

softhsm2-util --init-token --free --label "$label" --so-pin "$so_pin" --pin "$pin" >/dev/null
head -c 4096 /dev/urandom >"$dir/container.bin"
printf 'not a key container: stays on the token\n' >"$dir/note.txt"
p11() {
    pkcs11-tool --module "$module" --token-label "$label" --login --pin "$pin" "$@" >/dev/null 2>&1
}
p11 --write-object "$dir/container.bin" --type data --private \
    --label "demo container" --application-label "Kestrik key container"
p11 --write-object "$dir/note.txt" --type data --label "note"

ock_label="Demo in place"
if [ -n "${KCC_OPENCRYPTOKI_MODULE:-}" ]; then
    ock() { pkcs11-tool --module "$KCC_OPENCRYPTOKI_MODULE" --slot "$KCC_OPENCRYPTOKI_SLOT" "$@" >/dev/null 2>&1; }
    ock --init-token --label "$ock_label" --so-pin "$so_pin"
    ock --init-pin --login --login-type so --so-pin "$so_pin" --new-pin "$pin"
    ock --login --pin "$pin" --write-object "$dir/container.bin" --type data --private \
        --label "demo container" --application-label "Kestrik key container"
    ock --login --pin "$pin" --write-object "$dir/note.txt" --type data --label "note"
    export VELMUX_PKCS11_MODULE="$module:$KCC_OPENCRYPTOKI_MODULE"
fi

mkdir "$dir/files"
sample="$dir/files/demo.nctx"
head -c 3000 /dev/urandom >"$sample"

cat <<EOF
Demo token "$label" (SoftHSM2, in $dir)
  PIN: $pin
  holds a 4096-byte key container and a data object "note" that must survive.
Sample container file: $sample
EOF
if [ -n "${KCC_OPENCRYPTOKI_MODULE:-}" ]; then
    echo "Demo token \"$ock_label\" (openCryptoki, private slot daemon), PIN $pin: the same two objects."
    if [ -n "${KCC_OPENCRYPTOKI_HIDDEN:-}" ]; then
        echo "Another openCryptoki is using its names in ${KCC_OPENCRYPTOKI_HIDDEN// / and }, so the program sees a private"
        echo "${KCC_OPENCRYPTOKI_HIDDEN// / and } instead: files of yours there are not visible in this demo; put them elsewhere (e.g. /tmp)."
    fi
else
    echo "(No openCryptoki token: ${KCC_OPENCRYPTOKI_UNAVAILABLE:-not started}.)"
fi
cat <<EOF
Only these throwaway tokens are visible to the program; they are removed when the program exits.
Objects left on the tokens afterwards are listed when you close the window.
EOF

status=0
"$build/app/kestrik-kcc" "$@" || status=$?
echo "Data objects left on \"$label\":"
pkcs11-tool --module "$module" --token-label "$label" --login --pin "$pin" \
    --list-objects --type data 2>/dev/null | sed -n 's/^ *label: */  /p'
if [ -n "${KCC_OPENCRYPTOKI_MODULE:-}" ]; then
    echo "Data objects left on \"$ock_label\":"
    pkcs11-tool --module "$KCC_OPENCRYPTOKI_MODULE" --slot "$KCC_OPENCRYPTOKI_SLOT" --login --pin "$pin" \
        --list-objects --type data 2>/dev/null | sed -n 's/^ *label: */  /p'
fi
exit $status
