# Cross build of the 32-bit Windows DLL with MinGW-w64 (posix threading flavour).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(KORAX_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${KORAX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORAX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KORAX_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${KORAX_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${KORAX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Test executables run under Wine, in a prefix of their own inside the build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run")
