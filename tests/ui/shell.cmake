takt_add_test(layout_test LABEL ui
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/layout_test.cpp LIBS takt_core)

if(TAKT_BUILD_QT)
  takt_add_test(main_window_test LABEL ui QT
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/main_window_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/progress_window_test.cpp)
endif()

if(TAKT_BUILD_QT)
  takt_add_test(shell_browser_test LABEL ui QT
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/shell_browser_test.cpp)
endif()

if(TAKT_BUILD_QT)
  takt_add_test(look_test LABEL ui QT
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/look_test.cpp)
endif()
