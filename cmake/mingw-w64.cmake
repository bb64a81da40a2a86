# Cross build of the Windows programs with Debian's mingw-w64 (posix
# threads, so std::thread and friends work), run under Wine for the tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(RTQ_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${RTQ_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RTQ_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${RTQ_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${RTQ_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A static runtime: the programs then import only system DLLs (Wine has no
# libstdc++-6.dll to offer).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(RTQ_WINE NAMES wine)
if(RTQ_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/wine/run_under_wine.sh)
endif()
