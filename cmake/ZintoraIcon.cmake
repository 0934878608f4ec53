# SPDX-License-Identifier: GPL-3.0-or-later
# The application icon. packaging/icons/zintora.svg is the one drawing; the
# PNGs are rendered from it at build time (rsvg-convert, Debian's
# librsvg2-bin), because the Windows build has no SVG support in Qt and
# desktops look for PNGs beside the SVG in the hicolor theme.

set(ZINTORA_ICON_SVG ${PROJECT_SOURCE_DIR}/packaging/icons/zintora.svg)
set(ZINTORA_ICON_SIZES 16 22 24 32 48 64 128 256)
# The sizes Windows picks from for the task bar, Explorer and the title bar.
set(ZINTORA_ICO_SIZES 16 24 32 48 256)

find_program(ZINTORA_RSVG_CONVERT rsvg-convert)
if(NOT ZINTORA_RSVG_CONVERT)
  message(FATAL_ERROR "rsvg-convert renders the icon: install librsvg2-bin")
endif()

# Compiles the icon into the program target: the PNGs as Qt resources under
# :/icons/<size>/zintora.png, and on Windows an icon and version resource that
# Explorer shows. Elsewhere the PNGs go into the hicolor theme on install.
function(zintora_add_icon target)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/icons)
  set(entries "")
  foreach(size IN LISTS ZINTORA_ICON_SIZES)
    set(png ${dir}/${size}/zintora.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}/${size}
      COMMAND ${ZINTORA_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${ZINTORA_ICON_SVG}
      DEPENDS ${ZINTORA_ICON_SVG} VERBATIM)
    string(APPEND entries "    <file alias=\"icons/${size}/zintora.png\">${png}</file>\n")
    if(NOT WIN32)
      install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endif()
  endforeach()

  # Written at configure time, and only when it changes, so that the resource
  # compiler's rule knows the PNGs it waits for.
  set(qrc ${dir}/zintora-icon.qrc)
  file(WRITE ${qrc}.new "<RCC>\n  <qresource prefix=\"/\">\n${entries}  </qresource>\n</RCC>\n")
  configure_file(${qrc}.new ${qrc} COPYONLY)
  qt5_add_resources(rcc_sources ${qrc})
  target_sources(${target} PRIVATE ${rcc_sources})

  if(WIN32)
    find_program(ZINTORA_ICOTOOL icotool)
    if(NOT ZINTORA_ICOTOOL)
      message(FATAL_ERROR "icotool makes the Windows icon: install icoutils")
    endif()
    set(ico ${dir}/zintora.ico)
    set(ico_pngs "")
    foreach(size IN LISTS ZINTORA_ICO_SIZES)
      list(APPEND ico_pngs ${dir}/${size}/zintora.png)
    endforeach()
    # The largest stays PNG inside the .ico (-r), as Windows expects at 256.
    list(POP_BACK ico_pngs big)
    add_custom_command(OUTPUT ${ico}
      COMMAND ${ZINTORA_ICOTOOL} -c -o ${ico} ${ico_pngs} -r ${big}
      DEPENDS ${ico_pngs} ${big} VERBATIM)
    set(ZINTORA_ICO ${ico})
    # The resource's version is four numbers; a version without a patch
    # number counts it as 0, as the update check does.
    set(ZINTORA_VERSION_PATCH ${PROJECT_VERSION_PATCH})
    if(ZINTORA_VERSION_PATCH STREQUAL "")
      set(ZINTORA_VERSION_PATCH 0)
    endif()
    configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/zintora.rc.in ${dir}/zintora.rc @ONLY)
    set_source_files_properties(${dir}/zintora.rc PROPERTIES OBJECT_DEPENDS ${ico})
    target_sources(${target} PRIVATE ${dir}/zintora.rc ${ico})
  endif()
endfunction()
