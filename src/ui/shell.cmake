target_sources(takt_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/layout.cpp
)

if(TAKT_BUILD_QT)
  target_sources(takt_qt PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/app_setup.h
    ${CMAKE_CURRENT_LIST_DIR}/app_setup.cpp
    ${CMAKE_CURRENT_LIST_DIR}/file_details.h
    ${CMAKE_CURRENT_LIST_DIR}/file_details.cpp
    ${CMAKE_CURRENT_LIST_DIR}/save_dialog.h
    ${CMAKE_CURRENT_LIST_DIR}/save_dialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/progress_window.h
    ${CMAKE_CURRENT_LIST_DIR}/progress_window.cpp
    ${CMAKE_CURRENT_LIST_DIR}/toolbar_icons.cpp
    ${CMAKE_CURRENT_LIST_DIR}/shell_browser.h
    ${CMAKE_CURRENT_LIST_DIR}/shell_browser.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window.h
    ${CMAKE_CURRENT_LIST_DIR}/main_window.cpp
  )
endif()
