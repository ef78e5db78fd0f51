# Settings for the Windows build (mingw-w64 against a static Qt), included by
# the top-level CMakeLists.txt when WIN32.

# The program, velmux.dll and the tests side by side, so the DLL is found.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# Cryptoki's header from Debian's libp11-kit-dev, used as a header only: it
# sets the 1-byte packing Windows modules are built with.
find_path(VELMUX_PKCS11_INCLUDE_DIR p11-kit/pkcs11.h
    PATHS /usr/include/p11-kit-1 NO_CMAKE_FIND_ROOT_PATH REQUIRED)

# The suites that need neither a token nor root, run under wine by
# scripts/check-windows-program.sh; pkcs11mock is the module its device wipe uses.
set(KCC_WINDOWS_TEST_DIRS support fake media pkcs11mock)

# The resource script names its icon and manifest beside itself.
string(APPEND CMAKE_RC_FLAGS " -I${PROJECT_SOURCE_DIR}/app/windows")
