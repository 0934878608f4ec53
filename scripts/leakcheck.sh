#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Leak and memory-error check of the recording engine: builds the engine and
# its tests with AddressSanitizer and LeakSanitizer into build-asan/ and runs
# them. The tests cover a normal recording, a second recording on the same
# recorder and every failure path (input, encoder, file, the X server dying,
# a full file system) and, where the build has it, the Wayland route through
# the desktop portal and PipeWire; any FFmpeg or PipeWire object left unfreed
# fails the run.
# Usage: scripts/leakcheck.sh [extra ctest arguments]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
zintora_install_packages "${ZINTORA_BUILD_PACKAGES[@]}" "${ZINTORA_TEST_PACKAGES[@]}"

ZINTORA_BUILD_DIR="$ZINTORA_ROOT/build-asan"
# Configured every time: a build directory from before a test was added or
# renamed would not know its target.
cmake -S "$ZINTORA_ROOT" -B "$ZINTORA_BUILD_DIR" -DCMAKE_BUILD_TYPE=Debug -DZINTORA_SANITIZE=ON \
    >/dev/null
tests=(tst_recorderparts tst_screenrecorder)
# The Wayland route, where this build has it (it starts its own desktop).
if cmake --build "$ZINTORA_BUILD_DIR" --target help | grep -w tst_waylandcapture >/dev/null; then
    tests+=(tst_waylandcapture)
fi
cmake --build "$ZINTORA_BUILD_DIR" --parallel "$(nproc 2>/dev/null || echo 2)" \
    --target "${tests[@]}"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
unset DISPLAY WAYLAND_DISPLAY
cd "$ZINTORA_BUILD_DIR"
ctest --output-on-failure --timeout 900 -R "^($(IFS='|'; echo "${tests[*]}"))\$" "$@"
