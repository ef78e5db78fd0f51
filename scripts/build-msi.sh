#!/usr/bin/env bash
# Builds the Windows installer, one MSI per target, with wixl from the WiX
# source share/windows/kestrik-kcc.wxs:
#
#   scripts/build-msi.sh [TARGET...]      TARGET: i686 x86_64 (default: both)
#
# Each goes to ${WIN_APP_BUILD_DIR:-build-windows}/kestrik-kcc-VERSION-ARCH.msi
# (ARCH x86 or x64) and its path is printed. The program is built first with
# scripts/build-windows.sh when that target has none yet. VERSION is project()'s
# in CMakeLists.txt; KCC_MSI_VERSION=A.B.C.D builds another one (the upgrade check).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/packages.sh"
"$root/scripts/deps.sh" "${MSI_PACKAGES[@]}"

targets=()
for arg in "$@"; do
    case "$arg" in
        i686|x86_64) targets+=("$arg") ;;
        *) echo "unknown argument: $arg" >&2; exit 2 ;;
    esac
done
[ ${#targets[@]} -gt 0 ] || targets=(i686 x86_64)
out=${WIN_APP_BUILD_DIR:-$root/build-windows}

version=${KCC_MSI_VERSION:-$(sed -n 's/^project([^)]*VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")}
IFS=. read -r major minor patch tweak <<<"$version"
if ! [[ "$major.$minor.${patch:-0}.${tweak:-0}" =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]] \
    || [ "$major" -gt 255 ] || [ "$minor" -gt 255 ] || [ "${patch:-0}" -gt 255 ] || [ "${tweak:-0}" -gt 255 ]; then
    echo "version '$version' is not A.B.C.D with each field up to 255" >&2
    exit 1
fi
# Windows Installer compares major.minor.build and ignores a fourth field, so
# 1.0.0.7 would not replace 1.0.0.6: patch and tweak share the build field.
msi_version=$major.$minor.$(( ${patch:-0} * 256 + ${tweak:-0} ))

for target in "${targets[@]}"; do
    bin=$out/$target/bin
    [ -f "$bin/Kestrik_KCC.exe" ] && [ -f "$bin/kestrik-kcc-cli.exe" ] && [ -f "$bin/velmux.dll" ] \
        || "$root/scripts/build-windows.sh" "$target"
    case "$target" in
        i686) arch=x86 ;;
        x86_64) arch=x64 ;;
    esac
    msi=$out/kestrik-kcc-$version-$arch.msi
    # wixl looks files up relative to its working directory only.
    stage=$out/msi-$arch
    rm -rf "$stage"
    mkdir -p "$stage"
    ln -s "$bin/Kestrik_KCC.exe" "$bin/kestrik-kcc-cli.exe" "$bin/velmux.dll" "$root/app/windows/Kestrik_KCC.ico" "$stage/"
    (cd "$stage" && wixl -a "$arch" -D Arch="$arch" -D Version="$msi_version" -D BinDir=. \
        -D IconFile=Kestrik_KCC.ico -o "$msi" "$root/share/windows/kestrik-kcc.wxs")
    # kestrik-kcc-cli.exe on PATH: the install folder joins the end of the
    # system PATH and leaves it on uninstall. wixl knows no Environment
    # element, so the table (what WiX makes of Action="set" Part="last"
    # System="yes") and its two actions are added to the built package.
    printf 'Environment\tName\tValue\tComponent_\r\ns72\tl255\tL255\ts72\r\nEnvironment\tEnvironment\r\n%s\r\n' \
        'PathToCommandLine	=-*PATH	[~];[INSTALLDIR]	CommandLine' >"$stage/Environment.idt"
    msiinfo export "$msi" InstallExecuteSequence >"$stage/InstallExecuteSequence.idt"
    printf 'RemoveEnvironmentStrings\t\t3300\r\nWriteEnvironmentStrings\t\t5200\r\n' >>"$stage/InstallExecuteSequence.idt"
    msibuild "$msi" -i "$stage/Environment.idt"
    msibuild "$msi" -i "$stage/InstallExecuteSequence.idt"
    rm -rf "$stage"
    echo "$msi"
done
