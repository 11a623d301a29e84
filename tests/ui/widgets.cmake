# The small widgets, the about box and the error report.
takt_add_test(widgets_core_test LABEL ui
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/widgets_core_test.cpp LIBS takt_core)

if(TAKT_BUILD_QT)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  takt_add_test(widgets_test LABEL ui QT
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ysedit_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/url_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/about_box_test.cpp
    LIBS Qt6::Test)
endif()
