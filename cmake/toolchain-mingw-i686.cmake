# Cross build for 32-bit Windows with MinGW-w64: the release build of the
# Windows programs. Built, never run here (this kernel runs no 32-bit code).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
