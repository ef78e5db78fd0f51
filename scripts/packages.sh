# Debian packages the scripts install when missing.
# libqt5printsupport5: the journal window prints the act (its headers come with qtbase5-dev).
# qttools5-dev(-tools): lupdate and lrelease make the English translation.
# libxxhash-dev: XXH3-128, header only, fingerprints the key for the volume search.
# libsodium-dev: Ed25519 signatures of the journal and the certificates; libsystemd-dev: structured events.
# libssl-dev: the time-stamp tokens (OpenSSL's TS functions).
BUILD_PACKAGES=(cmake make g++ pkg-config qtbase5-dev qtbase5-dev-tools qttools5-dev qttools5-dev-tools libqt5printsupport5 libp11-kit-dev p11-kit libxxhash-dev libsodium-dev libsystemd-dev libssl-dev)
# Qt's own texts (file dialog, standard buttons) in Russian, at run time.
RUN_PACKAGES=(qttranslations5-l10n)
# poppler-utils: pdftotext reads the act back. openssl, python3: the tests' own
# time-stamping authority (libengine-gost-openssl: its GOST R 34.10-2012 kind); faketime
# sets a wipe's clock back. opencryptoki: a second real token
# implementation (its soft token overwrites in place), run privately by
# scripts/with-opencryptoki.sh. rsyslog, systemd-journal-remote: the fleet tests run
# their own workstation and collector daemons.
TEST_PACKAGES=(softhsm2 opencryptoki opensc openssl libengine-gost-openssl faketime python3 e2fsprogs xfsprogs btrfs-progs mount poppler-utils qttranslations5-l10n fonts-dejavu-core fonts-cantarell rsyslog systemd-journal-remote)
# scripts/run.sh --demo: the throwaway tokens (SoftHSM2, openCryptoki as root)
# and pkcs11-tool, which fills them.
DEMO_PACKAGES=(softhsm2 opencryptoki opensc)
# The benchmark compares with shred and dd and wipes a throwaway token.
BENCH_PACKAGES=(coreutils softhsm2 opensc strace time)
# Cross compilers and the loaders that run the Windows checks: wine64, and the
# i386 wine32 for the 32-bit builds (deps.sh adds the i386 architecture). The
# scripts call /usr/lib/wine/wine and wine64 directly, not the wine wrapper.
WINDOWS_WINE_PACKAGES=(wine64 wine32:i386)
WINDOWS_PACKAGES=(g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 "${WINDOWS_WINE_PACKAGES[@]}")
# The Debian package: building it (dpkg-shlibdeps, file) and checking it.
PACKAGE_PACKAGES=(dpkg-dev file)
# softhsm2, opensc: the token kestrik-kcc-cli wipes once installed.
PACKAGE_CHECK_PACKAGES=(lintian desktop-file-utils appstream xvfb xauth x11-utils python3-xlib softhsm2 opensc)
# The program for Windows: static Qt from Debian's qtbase source (apt-get source
# unpacks with dpkg-source; Qt's configure needs perl), the posix-threads
# compilers it is built with, and what shows its window under wine.
WINDOWS_QT_PACKAGES=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686
    binutils-mingw-w64-x86-64 dpkg-dev perl python3 xz-utils file)
# The i386 X libraries wine's X driver loads at run time (only recommended by
# libwine): the 32-bit window is then drawn as the 64-bit one is.
WINDOWS_RUN_PACKAGES=("${WINDOWS_WINE_PACKAGES[@]}" xvfb xdotool x11-utils imagemagick
    libxrender1:i386 libxrandr2:i386 libxi6:i386 libxcursor1:i386 libxinerama1:i386 libxcomposite1:i386)
# The MSI installers: wixl (from the msitools source) builds them, msiinfo
# (msitools) reads their tables back.
MSI_PACKAGES=(wixl msitools)
