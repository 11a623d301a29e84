# GoogleTest for a cross build: Debian ships it as sources (package
# googletest), built here by the build's own compiler. find_package(GTest)
# reads this file when GTest_DIR names this folder.
set(TAKT_GTEST_SOURCE /usr/src/googletest CACHE PATH
    "GoogleTest sources built with the project's compiler")
if(NOT TARGET gtest)
  if(NOT EXISTS ${TAKT_GTEST_SOURCE}/CMakeLists.txt)
    set(GTest_FOUND FALSE)
    set(GTest_NOT_FOUND_MESSAGE
        "no GoogleTest sources in ${TAKT_GTEST_SOURCE} (package googletest)")
    return()
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${TAKT_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest
                   EXCLUDE_FROM_ALL)
  # The names an installed GoogleTest gives its libraries.
  foreach(library gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${library})
      add_library(GTest::${library} ALIAS ${library})
    endif()
  endforeach()
endif()
set(GTest_FOUND TRUE)
