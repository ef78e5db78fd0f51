# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix threads:
# std::mutex and std::thread need them with GCC 12), the same compilers
# scripts/build-windows.sh builds Qt with.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(KCC_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
