# SPDX-License-Identifier: GPL-3.0-or-later
# What a desktop installation holds beside the program (desktop entry, icon,
# AppStream metadata, manual page, copyright, changelog), and the Debian
# package CPack makes of it (scripts/deb-build.sh).

set(ZINTORA_MAINTAINER "The Zintora developers <feedback@${ZINTORA_UPDATE_HOST}>")
set(ZINTORA_APPSTREAM_ID "example.zintora.Zintora")
set(pkg ${PROJECT_SOURCE_DIR}/packaging)
set(gen ${PROJECT_BINARY_DIR}/packaging)

# The changelog's newest entry is this release: it must be for the project
# version, and its date is the release date of the AppStream metadata.
file(STRINGS ${pkg}/changelog.in changelog)
list(GET changelog 0 head)
if(NOT head MATCHES "^zintora \\(([^)]+)\\)" OR NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog.in: the newest entry must be for version "
                      "${PROJECT_VERSION}, the project's; it starts with: ${head}")
endif()
foreach(line IN LISTS changelog)
  if(line MATCHES "^ -- .*  [A-Z][a-z][a-z], ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    set(day ${CMAKE_MATCH_1})
    set(year ${CMAKE_MATCH_3})
    set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
    list(FIND months ${CMAKE_MATCH_2} month)
    math(EXPR month "${month} + 1")
    if(month LESS 10)
      set(month 0${month})
    endif()
    set(ZINTORA_RELEASE_DATE ${year}-${month}-${day})
    break()
  endif()
endforeach()
if(NOT ZINTORA_RELEASE_DATE OR month STREQUAL "00")
  message(FATAL_ERROR "packaging/changelog.in: no trailer line with a date in the newest entry")
endif()

configure_file(${pkg}/zintora.metainfo.xml.in ${gen}/${ZINTORA_APPSTREAM_ID}.metainfo.xml @ONLY)
configure_file(${pkg}/copyright.in ${gen}/copyright @ONLY)
configure_file(${pkg}/changelog.in ${gen}/changelog @ONLY)

# Debian ships manual pages and changelogs compressed, reproducibly (-n).
find_program(ZINTORA_GZIP gzip)
if(NOT ZINTORA_GZIP)
  message(FATAL_ERROR "gzip is needed for the manual page and the changelog")
endif()
set(gzipped "")
foreach(file ${gen}/changelog ${pkg}/zintora.1)
  get_filename_component(name ${file} NAME)
  add_custom_command(OUTPUT ${gen}/${name}.gz
    COMMAND ${ZINTORA_GZIP} -9nc ${file} > ${gen}/${name}.gz
    DEPENDS ${file})
  list(APPEND gzipped ${gen}/${name}.gz)
endforeach()
add_custom_target(zintora_docs ALL DEPENDS ${gzipped})

set(docdir ${CMAKE_INSTALL_DATADIR}/doc/zintora)
install(FILES ${pkg}/zintora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${ZINTORA_ICON_SVG} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${gen}/${ZINTORA_APPSTREAM_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${gen}/zintora.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${gen}/copyright ${gen}/changelog.gz DESTINATION ${docdir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zintora)
set(CPACK_PACKAGE_VENDOR "The Zintora developers")
set(CPACK_PACKAGE_CONTACT "${ZINTORA_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "timelapse screen recorder")
set(CPACK_PACKAGE_DESCRIPTION
  "Zintora records an area of the screen as a video that plays up to 30 times
faster than real time. Mark the area (type it, drag it out, or take a whole
screen), pick an output quality and a speed factor, and press Start; pause,
resume and stop while the window shows the video's playing time and size.
The result is an MPEG-2 video file that common players play.

It records X11 desktops directly and Wayland desktops through the desktop
portal's screen sharing and PipeWire.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://${ZINTORA_UPDATE_HOST}/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window on Wayland runs on Qt's Wayland platform; without it, XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qtwayland5)
# Recording a Wayland desktop needs the portal and PipeWire running.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xdg-desktop-portal, pipewire")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
