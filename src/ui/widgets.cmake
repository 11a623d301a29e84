# The small widgets, the about box and the error report.
target_sources(takt_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/error_report_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/int_text.cpp
)
if(TAKT_BUILD_QT)
  target_sources(takt_qt PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/error_report.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ysEdit.cpp
    ${CMAKE_CURRENT_LIST_DIR}/urls.cpp
    ${CMAKE_CURRENT_LIST_DIR}/about_box.cpp
  )
endif()
