# The Debian package, built by CPack through scripts/package.sh.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${KCC_PROGRAM})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Kestrik)
set(CPACK_PACKAGE_CONTACT "Kestrik <dev@kestrik.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "overwrite and delete one cryptographic key container")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://kestrik.example/)
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Kestrik KCC destroys one cryptographic key container: a file, or the key\n"
    "container kept as a data object on a PKCS#11 token (through p11-kit). It\n"
    "overwrites the content pass by pass with one of eight algorithms, forces\n"
    "every pass to the storage medium before the next one, deletes the\n"
    "container and reports whether the wipe completed.")
# Dependencies come from the binaries (dpkg-shlibdeps), not from a list; the
# private velmux is found through the program's $ORIGIN RUNPATH.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Smart cards and tokens need their PKCS#11 module, registered with p11-kit.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "opensc-pkcs11, softhsm2")
# Qt's own dialogs (the file dialog, standard buttons) in Russian.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qttranslations5-l10n")
include(CPack)
