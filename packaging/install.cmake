# What `cmake --install` puts where, and the Debian package CPack builds from
# it (`cpack -G DEB` in a build folder, or `cpack --preset deb`).
#
#   bin/takt-m, bin/takt-m-cli, bin/takt-m-devsim
#   share/takt-m/help/ruka.htm            the manual; the window is started
#                                         in share/takt-m so that its
#                                         "Помощь" finds help/ruka.htm
#   share/applications/takt-m.desktop     Exec and Path as installed
#   share/icons/hicolor/*/apps/takt-m.*   the icon, PNG sizes and SVG
#   share/man/man1/takt-m-cli.1.gz        the command line's manual page
include(GNUInstallDirs)

set(TAKT_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)

# The virtual programmer is not built for Windows.
if(TARGET takt-m-devsim)
  install(TARGETS takt-m-devsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

if(TAKT_BUILD_QT)
  install(TARGETS takt-m takt-m-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/help
          DESTINATION ${CMAKE_INSTALL_DATADIR}/takt-m)

  foreach(size 16 24 32 48 64 128 256)
    install(FILES ${TAKT_PACKAGING_DIR}/icons/takt-m-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME takt-m.png)
  endforeach()
  install(FILES ${TAKT_PACKAGING_DIR}/icons/takt-m.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

  # Debian keeps manual pages compressed; without gzip the page goes plain.
  find_program(TAKT_GZIP gzip)
  set(man_page ${TAKT_PACKAGING_DIR}/takt-m-cli.1)
  if(TAKT_GZIP)
    set(man_gz ${CMAKE_CURRENT_BINARY_DIR}/takt-m-cli.1.gz)
    add_custom_command(OUTPUT ${man_gz}
      COMMAND ${TAKT_GZIP} -9 -n -c ${man_page} > ${man_gz}
      DEPENDS ${man_page} VERBATIM)
    add_custom_target(takt_man_page ALL DEPENDS ${man_gz})
    set(man_page ${man_gz})
  endif()
  install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

  # The desktop entry names the installed paths, known only at install
  # time: --prefix and CPack's /usr replace the configured prefix.
  foreach(dir BINDIR DATADIR)
    if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
      set(desktop_${dir} "${CMAKE_INSTALL_${dir}}")
    else()
      set(desktop_${dir} "\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_${dir}}")
    endif()
  endforeach()
  install(CODE "
    set(TAKT_BINDIR \"${desktop_BINDIR}\")
    set(TAKT_DATADIR \"${desktop_DATADIR}/takt-m\")
    set(entry \"${desktop_DATADIR}/applications/takt-m.desktop\")
    file(READ \"${TAKT_PACKAGING_DIR}/takt-m.desktop.in\" text)
    string(CONFIGURE \"\${text}\" text @ONLY)
    message(STATUS \"Installing: \$ENV{DESTDIR}\${entry}\")
    file(WRITE \"\$ENV{DESTDIR}\${entry}\" \"\${text}\")
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${entry}\")
  ")
endif()

# ---- Debian package -------------------------------------------------------
set(CPACK_PACKAGE_NAME takt-m)
set(CPACK_PACKAGE_VENDOR ZARVENTIK)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "TAKT-M chip programmer: window, command line, virtual programmer")
set(CPACK_PACKAGE_DESCRIPTION
    "The desktop front-end of the TAKT-M chip programmer, a device on a serial
port that reads, writes, erases and verifies the program memory and EEPROM
of microcontrollers and reads and writes their fuse and lock bits. The
window takt-m (in Russian), the command line takt-m-cli for scripts and
production lines, and the virtual programmer takt-m-devsim.")
set(CPACK_PACKAGE_CONTACT "TAKT-M developers <takt-m@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# The libraries the programs link come from dpkg-shlibdeps; Qt's platform
# plugins are loaded at run time and named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Opening the manual (xdg-open), Qt's own texts in Russian, a Cyrillic font.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "xdg-utils, qt6-translations-l10n, fonts-liberation, fonts-dejavu-core")
include(CPack)
