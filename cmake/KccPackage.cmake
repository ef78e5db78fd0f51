# The Debian packages, built by CPack through scripts/package.sh: one per
# install component.
#   kestrik-kcc-cli  (component cli): the command line, velmux, its manual page;
#                    no GUI library among its dependencies
#   kestrik-kcc      (component window): the window and the desktop
#                    integration; depends on kestrik-kcc-cli
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${KCC_PROGRAM})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Kestrik)
set(CPACK_PACKAGE_CONTACT "Kestrik <dev@kestrik.example>")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL cli window)
set(CPACK_COMPONENT_WINDOW_DEPENDS cli)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://kestrik.example/)
# Dependencies come from the binaries (dpkg-shlibdeps), not from a list; the
# private velmux is found through the programs' $ORIGIN RUNPATH, and for the
# window's program in the command line's package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    ${CMAKE_BINARY_DIR}/_CPack_Packages/Linux/DEB/${KCC_PROGRAM}-${PROJECT_VERSION}-Linux/cli/${KCC_PRIVATE_LIBDIR})

set(KCC_DEB_ABOUT
    "Kestrik KCC destroys one cryptographic key container: a file, or the key\n"
    "container kept as a data object on a PKCS#11 token (through p11-kit). It\n"
    "overwrites the content pass by pass with one of eight algorithms, forces\n"
    "every pass to the storage medium before the next one, deletes the\n"
    "container and reports whether the wipe completed.\n")

set(CPACK_DEBIAN_CLI_PACKAGE_NAME ${KCC_PROGRAM}-cli)
set(CPACK_COMPONENT_CLI_DESCRIPTION
    "overwrite and delete cryptographic key containers (command line)\n")
string(CONCAT CPACK_COMPONENT_CLI_DESCRIPTION ${CPACK_COMPONENT_CLI_DESCRIPTION} ${KCC_DEB_ABOUT}
    "\n"
    "This package holds kestrik-kcc-cli, every scripted mode without a window:\n"
    "file and token wipes, the destruction journal and signed certificates. It\n"
    "needs no display and no Qt GUI library.")
# Smart cards and tokens need their PKCS#11 module, registered with p11-kit;
# a time-stamping authority with GOST keys, OpenSSL's GOST engine.
set(CPACK_DEBIAN_CLI_PACKAGE_SUGGESTS "opensc-pkcs11, softhsm2, libengine-gost-openssl")

set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME ${KCC_PROGRAM})
string(CONCAT CPACK_COMPONENT_WINDOW_DESCRIPTION
    "overwrite and delete one cryptographic key container\n" ${KCC_DEB_ABOUT}
    "\n"
    "This package holds the window, kestrik-kcc, and its desktop integration;\n"
    "it also writes the act of destruction as PDF.")
# Qt's own dialogs (the file dialog, standard buttons) in Russian.
set(CPACK_DEBIAN_WINDOW_PACKAGE_RECOMMENDS "qttranslations5-l10n")
set(CPACK_DEBIAN_WINDOW_PACKAGE_SUGGESTS "opensc-pkcs11, softhsm2, libengine-gost-openssl")
include(CPack)
