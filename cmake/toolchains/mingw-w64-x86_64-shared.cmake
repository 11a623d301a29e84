# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers, linked
# against the compiler's run-time DLLs (libstdc++, libgcc, winpthread). Qt's
# own libraries are built this way, and so is everything that links them:
# one C++ run-time shared by the programs and Qt. The programs run on this
# machine under Wine, which CMake and ctest use to run the tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The posix thread model: the standard library's threads and mutexes work.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Qt for Windows, when built (scripts/windows-full), is searched for too.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${TAKT_WINDOWS_QT_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Where the compiler's run-time DLLs are, for Wine's search path and the
# installer.
execute_process(
  COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
  OUTPUT_VARIABLE _takt_libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(TAKT_MINGW_RUNTIME_DIR "${_takt_libstdcxx}" DIRECTORY)

find_program(TAKT_WINE NAMES wine64 wine PATHS /usr/lib/wine
             NO_CMAKE_FIND_ROOT_PATH)
if(TAKT_WINE)
  # A Wine prefix of the build's own, quiet, and without the offer to
  # install .NET and the HTML engine, which nothing here needs, nor Wine's
  # menu builder, which would copy Start menu entries into the home folder's
  # desktop menus. WINEPATH
  # lets the programs find the run-time DLLs and Qt's, as PATH would on
  # Windows.
  set(TAKT_WINE_PREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH
      "The Wine prefix the tests run in")
  set(_takt_winepath "${TAKT_MINGW_RUNTIME_DIR};/usr/x86_64-w64-mingw32/lib")
  if(TAKT_WINDOWS_QT_PREFIX)
    string(APPEND _takt_winepath ";${TAKT_WINDOWS_QT_PREFIX}/bin")
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR env "WINEPREFIX=${TAKT_WINE_PREFIX}"
      "WINEPATH=${_takt_winepath}" WINEDEBUG=-all
      "WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe=" ${TAKT_WINE})
else()
  message(WARNING "Wine not found: the Windows tests can be built, not run")
endif()
