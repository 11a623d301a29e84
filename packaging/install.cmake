# What `cmake --install` puts where, and the Debian package CPack builds from
# it (`cpack -G DEB` in a build folder, or `cpack --preset deb`).
#
#   bin/takt-m, bin/takt-m-cli, bin/takt-m-devsim
#   share/takt-m/help/ruka.htm            the manual; the window is started
#                                         in share/takt-m so that its
#                                         "Помощь" finds help/ruka.htm
#   share/applications/takt-m.desktop     Exec and Path as installed
#   share/icons/hicolor/*/apps/takt-m.*   the icon, PNG sizes and SVG
#   share/man/man1/takt-m*.1.gz           the manual pages of the programs
#   share/metainfo/<id>.metainfo.xml      what software centres show
#   share/doc/takt-m/copyright            the licence, and the changelog
#   lib/udev/rules.d/70-takt-m.rules      USB serial ports for the seat's user
include(GNUInstallDirs)

set(TAKT_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
# The address of the project's pages, which AppStream needs for the
# screenshot; its reversed host names the AppStream component.
set(TAKT_HOMEPAGE "https://takt-m.example.org" CACHE STRING
    "The project's web address (AppStream homepage and screenshot)")
set(TAKT_APPSTREAM_ID "org.example.takt_m" CACHE STRING
    "The AppStream component id")
set(TAKT_MAINTAINER
    "TAKT-M desktop developers <takt-m@users.noreply.example.com>")

# Debian keeps manual pages and changelogs compressed; without gzip they go
# plain. `source` is compressed to `name` (plus .gz) in the build folder and
# installed into `destination`.
find_program(TAKT_GZIP gzip)
function(takt_install_compressed source name destination)
  if(TAKT_GZIP)
    set(gz ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
    add_custom_command(OUTPUT ${gz}
      COMMAND ${TAKT_GZIP} -9 -n -c ${source} > ${gz}
      DEPENDS ${source} VERBATIM)
    string(MAKE_C_IDENTIFIER "takt_gzip_${name}" target)
    add_custom_target(${target} ALL DEPENDS ${gz})
    install(FILES ${gz} DESTINATION ${destination})
  else()
    install(FILES ${source} DESTINATION ${destination} RENAME ${name})
  endif()
endfunction()

set(TAKT_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/takt-m)
# The tags lintian reports that are meant, each with its reason.
install(FILES ${TAKT_PACKAGING_DIR}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME takt-m)
install(FILES ${TAKT_PACKAGING_DIR}/copyright DESTINATION ${TAKT_DOC_DIR})
configure_file(${TAKT_PACKAGING_DIR}/changelog.in
               ${CMAKE_CURRENT_BINARY_DIR}/changelog @ONLY)
takt_install_compressed(${CMAKE_CURRENT_BINARY_DIR}/changelog changelog
                        ${TAKT_DOC_DIR})

# The virtual programmer is not built for Windows.
if(TARGET takt-m-devsim)
  install(TARGETS takt-m-devsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  takt_install_compressed(${TAKT_PACKAGING_DIR}/takt-m-devsim.1
                          takt-m-devsim.1 ${CMAKE_INSTALL_MANDIR}/man1)
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

  foreach(page takt-m.1 takt-m-cli.1)
    takt_install_compressed(${TAKT_PACKAGING_DIR}/${page} ${page}
                            ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()

  configure_file(${TAKT_PACKAGING_DIR}/takt-m.metainfo.xml.in
                 ${CMAKE_CURRENT_BINARY_DIR}/${TAKT_APPSTREAM_ID}.metainfo.xml
                 @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${TAKT_APPSTREAM_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

  # udev reads its rules from /usr/lib/udev/rules.d (and /lib): a path
  # relative to the prefix, so that the package puts it there.
  install(FILES ${TAKT_PACKAGING_DIR}/70-takt-m.rules
          DESTINATION lib/udev/rules.d)

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

# The compilers' version stamps (.comment) say nothing to a user; Debian's
# own packaging removes them from installed programs, and so does this.
if(CMAKE_OBJCOPY)
  set(installed_programs)
  foreach(program takt-m takt-m-cli takt-m-devsim)
    if(TARGET ${program})
      list(APPEND installed_programs ${program})
    endif()
  endforeach()
  install(CODE "
    foreach(program ${installed_programs})
      set(file \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\")
      if(IS_ABSOLUTE \"${CMAKE_INSTALL_BINDIR}\")
        set(file \"\$ENV{DESTDIR}${CMAKE_INSTALL_BINDIR}/\${program}\")
      endif()
      execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                              \"\${file}\" RESULT_VARIABLE failed)
      if(failed)
        message(WARNING \"could not remove .comment from \${file}\")
      endif()
    endforeach()
  ")
endif()

# ---- Debian package -------------------------------------------------------
set(CPACK_PACKAGE_NAME takt-m)
set(CPACK_PACKAGE_VENDOR ZARVENTIK)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "chip programmer on a serial port: window, command line, simulator")
set(CPACK_PACKAGE_DESCRIPTION
    "Desktop software for the TAKT-M programmer, a device on a USB serial
port that reads, writes, erases and verifies the program memory and EEPROM
of microcontrollers and reads and writes their fuse and lock bits.
The package holds the window (its user interface is in Russian), the
command line takt-m-cli for build scripts and production lines, and the
virtual programmer takt-m-devsim for trying both without a device. A udev
rule gives the user at the seat access to USB serial adapters.")
set(CPACK_PACKAGE_CONTACT "${TAKT_MAINTAINER}")
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
# takt-m-cli's counter and log in a PostgreSQL database: Qt SQL's driver,
# loaded at run time.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libqt6sql6-psql")
include(CPack)
