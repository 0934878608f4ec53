#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes docs/screenshot.png: the main window on a private Xvfb, captured with
# ffmpeg's x11grab.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
source "$ZINTORA_ROOT/scripts/xvfb.sh"
zintora_install_packages "${ZINTORA_BUILD_PACKAGES[@]}" "${ZINTORA_TEST_PACKAGES[@]}"
zintora_build

zintora_start_xvfb 1280x800x24
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    zintora_stop_xvfb
}
trap cleanup EXIT
export DISPLAY="$ZINTORA_XVFB_DISPLAY" QT_QPA_PLATFORM=xcb
xsetroot -solid '#3c6e71'
"$ZINTORA_BUILD_DIR/src/zintora" &
pid=$!

window=""
for _ in $(seq 1 300); do
    window=$(xdotool search --onlyvisible --pid "$pid" --name '^Zintora$' 2>/dev/null | head -n 1) || true
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "the main window did not appear" >&2; exit 1; }
xdotool windowmove --sync "$window" 40 40
sleep 1 # let the window paint
eval "$(xdotool getwindowgeometry --shell "$window")"
mkdir -p "$ZINTORA_ROOT/docs"
ffmpeg -loglevel error -y -f x11grab -video_size "${WIDTH}x${HEIGHT}" \
    -i "$DISPLAY+$X,$Y" -frames:v 1 "$ZINTORA_ROOT/docs/screenshot.png"
echo "wrote docs/screenshot.png (${WIDTH}x${HEIGHT})"
