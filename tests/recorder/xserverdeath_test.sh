#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The X server dies under a running recording while the window is on that
# server, so Qt ends the program within a fraction of a second: the file in
# the Desktop folder must still hold whole pictures and end with the
# sequence end code. Runs the real program on a private Xvfb.
set -u
binary="$1"
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/xvfb.sh"
work="$(mktemp -d)"
pid=""
finish() {
    [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null
    zintora_stop_xvfb
    rm -rf "$work"
}
trap finish EXIT
fail() { echo "$*"; sed 's/^/    /' "$work/log" 2>/dev/null | tail -n 20; exit 1; }

unset DISPLAY WAYLAND_DISPLAY
zintora_start_xvfb 1280x720x24 || exit 1
export DISPLAY="$ZINTORA_XVFB_DISPLAY" HOME="$work" XDG_CONFIG_HOME="$work/.config"
export QT_QPA_PLATFORM=xcb
mkdir -p "$work/Desktop"
"$binary" >"$work/log" 2>&1 &
pid=$!

window=$(timeout 30 xdotool search --sync --onlyvisible --pid "$pid" --name '^Zintora$' 2>/dev/null |
    head -n 1)
[ -n "$window" ] || fail "the main window did not appear"

# Start! sits at (10, 380) in the window's central widget, below the menu
# bar. A click that comes before the window is ready is lost: try again.
file=""
for attempt in 1 2 3 4 5; do
    xdotool mousemove --window "$window" 55 426 click 1
    for _ in $(seq 1 50); do
        file=$(ls "$work"/Desktop/zint_*.mpg 2>/dev/null | head -n 1)
        [ -n "$file" ] && break 2
        sleep 0.1
    done
done
[ -n "$file" ] || fail "no recording was started"
# A few seconds of pictures, then the server goes.
for _ in $(seq 1 100); do
    [ "$(stat -c %s "$file")" -gt 200000 ] && break
    sleep 0.1
done
kill -KILL "$ZINTORA_XVFB_PID"
for _ in $(seq 1 300); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "the program did not end with its X server"
pid=""

[ "$(tail -c 4 "$file" | od -An -tx1 | tr -d ' \n')" = "000001b7" ] ||
    fail "$file does not end with the sequence end code"
errors=$(ffmpeg -v error -err_detect explode -xerror -i "$file" -f null - 2>&1)
[ -z "$errors" ] || fail "$file does not decode cleanly: $errors"
frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
    -of default=nw=1:nk=1 "$file")
[ "${frames:-0}" -ge 10 ] || fail "$file holds only ${frames:-no} pictures"
echo "$frames whole pictures and the end code in $(basename "$file")"
