# Cross-building for 64-bit Windows with Debian's mingw-w64 (the posix thread
# model, which has std::thread), running the built programs and tests under
# wine. Programs are linked statically, so nothing of mingw's needs copying.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(SONDERIK_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${SONDERIK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SONDERIK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SONDERIK_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SONDERIK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Every program the build runs (tests, the demo maker) runs under wine, in a
# prefix of the build's own, quiet, and without wine's ALSA driver, which
# only complains on a machine without a sound card.
set(SONDERIK_WINEPREFIX "${CMAKE_BINARY_DIR}/wine" CACHE PATH "The wine prefix the build's programs run in")
set(CMAKE_CROSSCOMPILING_EMULATOR
    env "WINEPREFIX=${SONDERIK_WINEPREFIX}" WINEDEBUG=-all WINEDLLOVERRIDES=winealsa.drv=d /usr/lib/wine/wine64)
