#!/usr/bin/env bash
# Runs a command beside a private openCryptoki soft token:
#
#   scripts/with-opencryptoki.sh COMMAND [ARG...]
#
# As root, in a mount and IPC namespace of its own, a scratch directory is
# bind-mounted over openCryptoki's configuration, token store, lock and run
# directories, and its slot daemon is started with the soft token alone in
# slot 3. The command sees the token through KCC_OPENCRYPTOKI_MODULE and
# KCC_OPENCRYPTOKI_SLOT; the token is not initialised (its SO PIN is the
# soft token's default, 87654321). The daemon is stopped and the directory
# removed when the command ends. Nothing of the system's own configuration is
# touched, and a system daemon, if any, is neither seen nor disturbed.
#
# KCC_OPENCRYPTOKI_SHARED=1 (the demo): the command keeps the real /dev/shm
# and /run, so every file the user has there stays in view; only the names
# openCryptoki uses there are its own, and they are removed at the end. Where
# another openCryptoki already holds those names, both are private as for the
# tests, and KCC_OPENCRYPTOKI_HIDDEN lists what the command does not see.
#
# Where this cannot be done (not root, openCryptoki missing, namespaces
# refused) the command runs as it is, with KCC_OPENCRYPTOKI_UNAVAILABLE
# saying why, and the tests skip what needs the token.
set -euo pipefail

slotd=/usr/sbin/pkcsslotd
module=
for candidate in /usr/lib/*/pkcs11/libopencryptoki.so /usr/lib/pkcs11/libopencryptoki.so \
    /usr/lib64/pkcs11/libopencryptoki.so; do
    [ -e "$candidate" ] && { module=$candidate; break; }
done

if [ "${1:-}" != --inside ]; then
    [ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARG...]" >&2; exit 2; }
    if [ ! -x "$slotd" ] || [ -z "$module" ]; then
        KCC_OPENCRYPTOKI_UNAVAILABLE="openCryptoki is not installed (package opencryptoki)" exec "$@"
    fi
    if [ "$(id -u)" -ne 0 ]; then
        KCC_OPENCRYPTOKI_UNAVAILABLE="its slot daemon runs as root only" exec "$@"
    fi
    if ! unshare -m -i true 2>/dev/null; then
        KCC_OPENCRYPTOKI_UNAVAILABLE="no private mount namespace here (unshare -m -i refused)" exec "$@"
    fi
    exec unshare -m -i --propagation private -- "$0" --inside "$@"
fi
shift

group=pkcs11
getent group "$group" >/dev/null || group=root
scratch=$(mktemp -d "${TMPDIR:-/tmp}/kcc-opencryptoki.XXXXXX")
mkdir -p "$scratch/etc" "$scratch/lib/swtok/TOK_OBJ" "$scratch/log" "$scratch/run/opencryptoki" \
    "$scratch/run/lock/opencryptoki" "$scratch/real-run"
cat >"$scratch/etc/opencryptoki.conf" <<'EOF'
version opencryptoki-3.1

slot 3
{
stdll = libpkcs11_sw.so
}
EOF
chgrp -R "$group" "$scratch"
chmod 0770 "$scratch/lib" "$scratch/lib/swtok" "$scratch/lib/swtok/TOK_OBJ" "$scratch/log" "$scratch/run/opencryptoki" "$scratch/run/lock/opencryptoki"

# What this script put into the real /dev/shm and /run (shared mode), to be
# removed at the end, and what it mounted, the last first.
shared_leftovers=()
mounted=()
mount_over() {
    mount "$@" || return 1
    mounted=("${@: -1}" "${mounted[@]}")
}
stop() {
    local pid
    pid=$(cat /run/pkcsslotd.pid 2>/dev/null || true)
    if [ -n "$pid" ] && kill "$pid" 2>/dev/null; then
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    fi
    cd /
    # Only what this script mounted: in shared mode an unmounted /dev/shm
    # would leave the real one out of reach of the clean-up below.
    local point
    for point in "${mounted[@]}"; do
        umount "$point" 2>/dev/null || true
    done
    local left
    for left in "${shared_leftovers[@]}"; do
        rm -f "$left" 2>/dev/null || rmdir "$left" 2>/dev/null || true
    done
    rm -rf "$scratch"
}
trap stop EXIT

# The names openCryptoki's daemon and soft token use in /dev/shm and /run.
shm_name=/dev/shm/var.lib.opencryptoki.swtok
hidden=()

# Shared mode: the real /run, with openCryptoki's own directories private.
shared_run() {
    local dir
    for dir in /run/opencryptoki /run/lock/opencryptoki; do
        if [ ! -d "$dir" ]; then
            mkdir -p "$dir" || return 1
            shared_leftovers+=("$dir")
        fi
    done
    shared_leftovers+=(/run/pkcsslotd.socket /run/pkcsslotd.pid)
    mount_over --bind "$scratch/run/opencryptoki" /run/opencryptoki || return 1
    mount_over --bind "$scratch/run/lock/opencryptoki" /run/lock/opencryptoki
}

# The daemon's socket and pid file live in /run itself: the namespace gets a
# /run of its own whose other entries lead to the real ones.
private_mounts() {
    local entry name
    if [ "${KCC_OPENCRYPTOKI_SHARED:-0}" = 1 ] && [ ! -e /run/pkcsslotd.socket ] && [ ! -e /run/pkcsslotd.pid ]; then
        shared_run || return 1
        token_mounts || return 1
        return 0
    fi
    [ "${KCC_OPENCRYPTOKI_SHARED:-0}" = 1 ] && hidden+=(/run)
    mount_over --bind /run "$scratch/real-run" || return 1
    for entry in /run/* /run/.[!.]*; do
        [ -e "$entry" ] || [ -L "$entry" ] || continue
        name=${entry#/run/}
        case "$name" in opencryptoki | lock | pkcsslotd.*) continue ;; esac
        ln -s "$scratch/real-run/$name" "$scratch/run/$name" || return 1
    done
    for entry in /run/lock/*; do
        [ -e "$entry" ] || continue
        name=${entry#/run/lock/}
        [ "$name" = opencryptoki ] || ln -s "$scratch/real-run/lock/$name" "$scratch/run/lock/" || return 1
    done
    mount_over --bind "$scratch/run" /run || return 1
    token_mounts
}

token_mounts() {
    # The soft token shares its state between processes through /dev/shm
    # under a fixed name: two of these side by side (CTest runs suites in
    # parallel) would share one token.
    if [ "${KCC_OPENCRYPTOKI_SHARED:-0}" = 1 ] && [ ! -e "$shm_name" ]; then
        shared_leftovers+=("$shm_name")
    else
        [ "${KCC_OPENCRYPTOKI_SHARED:-0}" = 1 ] && hidden+=(/dev/shm)
        mount_over -t tmpfs -o mode=1777,size=64m kcc-opencryptoki-shm /dev/shm || return 1
    fi
    mount_over --bind "$scratch/etc" /etc/opencryptoki || return 1
    mkdir -p /var/lib/opencryptoki || return 1
    mount_over --bind "$scratch/lib" /var/lib/opencryptoki || return 1
    if [ -d /var/log/opencryptoki ]; then
        mount_over --bind "$scratch/log" /var/log/opencryptoki || return 1
    fi
}

if ! private_mounts; then
    export KCC_OPENCRYPTOKI_UNAVAILABLE="its private directories could not be mounted"
elif ! "$slotd" -l "$scratch/slotd.log" </dev/null >/dev/null 2>&1; then
    echo "pkcsslotd did not start: $(tail -n 3 "$scratch/slotd.log" 2>/dev/null)" >&2
    export KCC_OPENCRYPTOKI_UNAVAILABLE="pkcsslotd did not start"
else
    for _ in $(seq 50); do [ -S /run/pkcsslotd.socket ] && break; sleep 0.1; done
    if [ -S /run/pkcsslotd.socket ]; then
        export KCC_OPENCRYPTOKI_MODULE=$module KCC_OPENCRYPTOKI_SLOT=3
    else
        export KCC_OPENCRYPTOKI_UNAVAILABLE="pkcsslotd made no socket within 5 s"
    fi
fi
export KCC_OPENCRYPTOKI_HIDDEN="${hidden[*]}"
status=0
"$@" || status=$?
exit $status
