# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers. The
# programs run on this machine under Wine, which CMake and ctest use to run
# the tests (and to list them while building).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The posix thread model: the standard library's threads and mutexes work.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Linked statically: the executables need none of the compiler's DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(TAKT_WINE NAMES wine64 wine PATHS /usr/lib/wine
             NO_CMAKE_FIND_ROOT_PATH)
if(TAKT_WINE)
  # A Wine prefix of the build's own, quiet, and without the offer to
  # install .NET and the HTML engine, which nothing here needs.
  set(TAKT_WINE_PREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH
      "The Wine prefix the tests run in")
  set(CMAKE_CROSSCOMPILING_EMULATOR env "WINEPREFIX=${TAKT_WINE_PREFIX}"
      WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml=" ${TAKT_WINE})
else()
  message(WARNING "Wine not found: the Windows tests can be built, not run")
endif()
