#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are missing.
# Sourced or run by the other scripts; does nothing when all are present.
# A name may carry an architecture (wine32:i386); a foreign one is added to
# dpkg first when it is not there yet.
set -euo pipefail

missing=()
archs=()
native=$(dpkg --print-architecture)
for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$pkg")
        case "$pkg" in
            *:*)
                arch=${pkg##*:}
                if [ "$arch" != "$native" ] && [ "$arch" != all ] \
                    && ! dpkg --print-foreign-architectures | grep -q -x -F "$arch" \
                    && [[ " ${archs[*]} " != *" $arch "* ]]; then
                    archs+=("$arch")
                fi
                ;;
        esac
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing Debian packages: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
        sudo=(sudo)
    else
        echo "Missing packages (${missing[*]}) and no root rights to install them." >&2
        exit 1
    fi
fi
for arch in "${archs[@]}"; do
    echo "Adding the architecture $arch to dpkg"
    "${sudo[@]}" dpkg --add-architecture "$arch"
done
export DEBIAN_FRONTEND=noninteractive
# Waits for unattended upgrades instead of failing on their lock.
"${sudo[@]}" apt-get -o DPkg::Lock::Timeout=300 update -qq
"${sudo[@]}" apt-get -o DPkg::Lock::Timeout=300 install -y --no-install-recommends "${missing[@]}"
