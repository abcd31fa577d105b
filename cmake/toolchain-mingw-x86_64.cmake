# Cross build for 64-bit Windows with MinGW-w64: the build whose programs the
# tests run.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# ctest runs the Windows test programs under wine (64-bit only: this machine's
# kernel cannot run 32-bit code, so the i686 build is built but not run).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
