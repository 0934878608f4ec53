# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 compilers.
# ZINTORA_WIN64_ROOTS lists the prefixes of the Windows builds of Qt and
# FFmpeg (scripts/windows-build.sh makes them); libraries and headers are
# searched there only, so nothing of the Linux host (libyuv, Qt) slips in.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_zintora_host x86_64-w64-mingw32)
# The posix thread model: std::thread needs it, and Qt and FFmpeg are built
# with it, so the package ships a single libstdc++.
set(CMAKE_C_COMPILER ${_zintora_host}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_zintora_host}-g++-posix)
set(CMAKE_RC_COMPILER ${_zintora_host}-windres)

if(NOT ZINTORA_WIN64_ROOTS)
  message(FATAL_ERROR "Set ZINTORA_WIN64_ROOTS to the Windows Qt and FFmpeg prefixes "
                      "(scripts/windows-build.sh does)")
endif()
# try_compile projects re-read this file; pass the roots on to them.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZINTORA_WIN64_ROOTS)
set(CMAKE_FIND_ROOT_PATH /usr/${_zintora_host} ${ZINTORA_WIN64_ROOTS})
set(CMAKE_PREFIX_PATH ${ZINTORA_WIN64_ROOTS})

# pkg-config runs on the host but may only see the Windows FFmpeg's files.
set(_zintora_pc_dirs)
foreach(_zintora_root IN LISTS ZINTORA_WIN64_ROOTS)
  list(APPEND _zintora_pc_dirs ${_zintora_root}/lib/pkgconfig)
endforeach()
string(REPLACE ";" ":" _zintora_pc_dirs "${_zintora_pc_dirs}")
set(ENV{PKG_CONFIG_LIBDIR} "${_zintora_pc_dirs}")
set(ENV{PKG_CONFIG_PATH} "")

# Tools (moc, pkg-config) run on the host; everything linked comes from the roots.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
