#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Zintora and its tests (installing what is missing), starts one
# virtual X server for the run and runs the whole suite with CTest.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
source "$ZINTORA_ROOT/scripts/xvfb.sh"
zintora_install_packages "${ZINTORA_BUILD_PACKAGES[@]}" "${ZINTORA_TEST_PACKAGES[@]}"
zintora_build

# Tests never use a display the machine happens to have.
unset DISPLAY WAYLAND_DISPLAY
zintora_start_xvfb 1920x1080x24
trap zintora_stop_xvfb EXIT INT TERM
export DISPLAY="$ZINTORA_XVFB_DISPLAY"

cd "$ZINTORA_BUILD_DIR"
ctest --output-on-failure --timeout 600 -j "$(nproc 2>/dev/null || echo 2)" "$@"
