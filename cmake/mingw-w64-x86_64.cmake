# Cross-build for 64-bit Windows with Debian's MinGW-w64 (posix-thread
# compilers, for std::thread). Programs link statically so that Wine runs
# them without a DLL search path; CTest runs them through Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZNT_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZNT_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZNT_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZNT_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZNT_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Wine runs the test programs (also when CTest lists their tests at build
# time) in a prefix of the build's own, never the user's ~/.wine; the runner
# starts a private Xvfb when there is no display for the windows.
find_program(ZNT_WINE NAMES wine64 wine PATHS /usr/lib/wine)
if(ZNT_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix
      bash ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh)
endif()
