target_sources(takt_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/layout.cpp
)

if(TAKT_BUILD_QT)
  target_sources(takt_qt PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/progress_window.h
    ${CMAKE_CURRENT_LIST_DIR}/progress_window.cpp
  )
endif()
