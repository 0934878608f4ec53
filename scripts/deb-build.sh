#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package build-deb/zintora_<version>_amd64.deb with CPack
# (the program alone, no tests), with Debian's own compiler and hardening
# flags. Its Depends come from the binary through dpkg-shlibdeps.
# scripts/deb-check.sh checks it.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
zintora_install_packages "${ZINTORA_BUILD_PACKAGES[@]}" "${ZINTORA_DEB_PACKAGES[@]}"

out="$ZINTORA_ROOT/build-deb"
# Files and folders in the package get the permissions Debian expects.
umask 022
# As a Debian package build sets them: -O2, fortified functions, stack
# protector, relro, bindnow, PIE. CMake reads no CPPFLAGS.
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
export CXXFLAGS="$CPPFLAGS $CXXFLAGS"
# "None" leaves the optimisation to those flags.
mkdir -p "$out"
cmake -S "$ZINTORA_ROOT" -B "$out" -DCMAKE_BUILD_TYPE=None -DZINTORA_BUILD_TESTS=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr >"$out/cmake.log" 2>&1 || { tail -n 30 "$out/cmake.log" >&2; exit 1; }
cmake --build "$out" --parallel "$(nproc 2>/dev/null || echo 2)"
rm -f "$out"/zintora_*.deb
(cd "$out" && cpack -G DEB >cpack.log 2>&1) || { tail -n 30 "$out/cpack.log" >&2; exit 1; }
ls "$out"/zintora_*_amd64.deb
