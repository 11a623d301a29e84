takt_add_test(layout_test LABEL ui
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/layout_test.cpp LIBS takt_core)
