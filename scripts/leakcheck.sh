#!/usr/bin/env bash
# Leak and memory-error check of the recording engine: builds the engine and
# its tests with AddressSanitizer and LeakSanitizer into build-asan/ and runs
# them. The tests cover a normal recording, a second recording on the same
# recorder and every failure path (input, encoder, file, the X server dying,
# a full file system); any FFmpeg object left unfreed fails the run.
# Usage: scripts/leakcheck.sh [extra ctest arguments]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
zintora_install_packages "${ZINTORA_BUILD_PACKAGES[@]}" "${ZINTORA_TEST_PACKAGES[@]}"

ZINTORA_BUILD_DIR="$ZINTORA_ROOT/build-asan"
if [ ! -f "$ZINTORA_BUILD_DIR/CMakeCache.txt" ]; then
    cmake -S "$ZINTORA_ROOT" -B "$ZINTORA_BUILD_DIR" -DCMAKE_BUILD_TYPE=Debug -DZINTORA_SANITIZE=ON
fi
tests=(tst_recorderparts tst_screenrecorder)
cmake --build "$ZINTORA_BUILD_DIR" --parallel "$(nproc 2>/dev/null || echo 2)" \
    --target "${tests[@]}"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
unset DISPLAY WAYLAND_DISPLAY
cd "$ZINTORA_BUILD_DIR"
ctest --output-on-failure --timeout 900 -R "^($(IFS='|'; echo "${tests[*]}"))\$" "$@"
