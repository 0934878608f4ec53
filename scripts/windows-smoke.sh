#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that the Windows package holds the licence texts and the notice and
# that zintora.exe carries its icon and version. Then runs the package under
# Wine on a private Xvfb and records with it: Start, six seconds, Stop,
# answer the completion box, File > Exit, and checks the file the way the
# Linux tests do. This proves the package loads and records through gdigrab;
# it is Wine, not a Windows machine.
#
#   windows-smoke.sh [zip]   default: build-win64/zintora-<version>-win64.zip
#   ZINTORA_SMOKE_KEEP=1     keep the temp folder (recording, logs)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/scripts/xvfb.sh"
OUT="${ZINTORA_WIN64_OUT:-$ROOT/build-win64}"
# The version the package was built as.
VERSION="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$OUT/build/CMakeCache.txt" 2>/dev/null)"
ZIP="${1:-$OUT/zintora-$VERSION-win64.zip}"
# A zip given by name says its version in its name.
[ -n "$VERSION" ] || VERSION="$(basename "$ZIP" | sed -n 's/^zintora-\(.*\)-win64\.zip$/\1/p')"

# Large enough for the whole window (466 px plus a taller menu bar under
# Wine); the default quality scales the whole screen to 640x480.
SCREEN_W=800
SCREEN_H=600
VIDEO_W=640
VIDEO_H=480
COLOUR_HEX=ff0000        # the root window's colour, to be seen in the video
RECORD_SECONDS=6
RATE=30

fail() {
    echo "windows-smoke: FAIL: $*" >&2
    exit 1
}
log() { echo "== $(date +%H:%M:%S) $*"; }

[ -f "$ZIP" ] || fail "no package at $ZIP (run scripts/windows-build.sh)"
for tool in wine wineserver Xvfb xdotool xsetroot ffmpeg ffprobe python3 wrestool; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/windows-build.sh and scripts/setup.sh install it)"
done

TMP="$(mktemp -d "${TMPDIR:-/tmp}/zintora-smoke.XXXXXX")"
APP_PID=""
cleanup() {
    local rc=$?
    set +e
    if [ "$rc" -ne 0 ] && [ -s "$TMP/zintora.log" ]; then
        echo "--- zintora.exe's output:" >&2
        tail -n 20 "$TMP/zintora.log" >&2
    fi
    [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null
    # Ends every Wine process of this prefix only, the wineserver included.
    [ -d "$TMP/prefix" ] && WINEPREFIX="$TMP/prefix" wineserver -k 2>/dev/null
    if [ -n "$APP_PID" ]; then
        kill -KILL "$APP_PID" 2>/dev/null
        wait "$APP_PID" 2>/dev/null
    fi
    zintora_stop_xvfb
    if [ "${ZINTORA_SMOKE_KEEP:-0}" = 1 ]; then
        echo "kept $TMP"
    else
        rm -rf "$TMP"
    fi
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Waits up to $1 seconds for the command in $2... to succeed.
wait_until() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.5
    done
}

python3 -m zipfile -e "$ZIP" "$TMP/unpacked"
EXE="$(find "$TMP/unpacked" -name zintora.exe | head -n1)"
[ -n "$EXE" ] || fail "no zintora.exe in $ZIP"
PACKAGE="$(dirname "$EXE")"

# What the licences of the bundled libraries ask for.
for file in LICENSE.txt THIRD-PARTY-NOTICES.txt licenses/{GPL-2,GPL-3,LGPL-2.1,LGPL-3}.txt \
    licenses/{qtbase,ffmpeg,gcc-mingw-w64,mingw-w64}.txt; do
    [ -s "$PACKAGE/$file" ] || fail "$file is missing from $ZIP"
done
grep -q "GNU GENERAL PUBLIC LICENSE" "$PACKAGE/LICENSE.txt" || fail "LICENSE.txt is not the GPL"
for library in "qtbase-opensource-src [0-9]" "ffmpeg [0-9]" "gcc-mingw-w64 [0-9]" \
    "mingw-w64 [0-9]" "--disable-autodetect"; do
    grep -q -- "$library" "$PACKAGE/THIRD-PARTY-NOTICES.txt" ||
        fail "the notice does not name $library"
done
# The icon Explorer shows, and the version information with this version.
RESOURCES="$(wrestool -l "$EXE")"
grep -q 'type=group_icon' <<<"$RESOURCES" || fail "zintora.exe has no icon"
grep -q 'type=version' <<<"$RESOURCES" || fail "zintora.exe has no version information"
EXE_VERSION="$(wrestool -x --raw --type=version "$EXE" | python3 -c '
import re, sys
text = sys.stdin.buffer.read().decode("utf-16-le", "replace")
found = re.search("ProductVersion\0+([^\0]*)", text)
print(found.group(1) if found else "")')"
[ "$EXE_VERSION" = "$VERSION" ] || fail "zintora.exe says version '$EXE_VERSION', not $VERSION"
log "zip holds the licences and the notice; zintora.exe has its icon and version $EXE_VERSION"

# A fresh prefix and home: a new prefix links its Desktop to $HOME/Desktop,
# the program's default destination folder.
export HOME="$TMP/home" WINEPREFIX="$TMP/prefix" WINEDEBUG=-all
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"
# No Mono/Gecko install prompts, no menu entries written.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
DESKTOP="$HOME/Desktop"
mkdir -p "$DESKTOP"

unset WAYLAND_DISPLAY
zintora_start_xvfb "${SCREEN_W}x${SCREEN_H}x24"
export DISPLAY="$ZINTORA_XVFB_DISPLAY"
xsetroot -solid "#$COLOUR_HEX"

log "preparing the Wine prefix"
timeout 600 wine wineboot -i >"$TMP/wineboot.log" 2>&1 || fail "wineboot failed (see $TMP/wineboot.log)"

log "starting zintora.exe"
(cd "$(dirname "$EXE")" && exec wine "$EXE") >"$TMP/zintora.log" 2>&1 &
APP_PID=$!

# xdotool matches names ignoring case: the main window "Zintora" and Qt's
# popup windows "zintora" both answer.
named_windows() { xdotool search --onlyvisible --name '^zintora$' 2>/dev/null || true; }
WIN=""
main_window() {
    local w
    for w in $(named_windows); do
        eval "$(xdotool getwindowgeometry --shell "$w")"
        # The main window has a fixed width of 310.
        [ "$WIDTH" = 310 ] && WIN=$w && return 0
    done
    return 1
}
wait_until 180 main_window || fail "the main window did not appear"
eval "$(xdotool getwindowgeometry --shell "$WIN")"
WX=$X WY=$Y WW=$WIDTH
log "window $WIN at ${WX},${WY} size ${WIDTH}x${HEIGHT}"

# Without a window manager, Wine's X window is the client area alone: the
# menu bar, then the central widget with the buttons 380-421 px down.
click() {
    xdotool mousemove --sync $((WX + $1)) $((WY + $2)) click 1
}
POPUP=""
popup_shown() {
    local w
    for w in $(named_windows); do
        [ "$w" != "$WIN" ] && POPUP=$w && return 0
    done
    return 1
}
popup_gone() { ! popup_shown; }
# Retried because Qt takes input a moment after Wine maps the window; a
# click that closed an open menu is followed by one that opens it again.
open_file_menu() {
    click 18 11
    wait_until 3 popup_shown
}
# The menu bar's height depends on the fonts Wine offers; the File menu opens
# right below it, which measures it.
wait_until 60 open_file_menu || fail "the File menu did not open"
eval "$(xdotool getwindowgeometry --shell "$POPUP")"
MENU_H=$((Y - WY))
log "menu bar ${MENU_H} px tall"
xdotool key Escape
wait_until 30 popup_gone || fail "the File menu did not close"
BUTTON_Y=$((MENU_H + 400))

recordings() { compgen -G "$DESKTOP/zint_*.mpg" >/dev/null; }
START_AT=$(date +%s.%N)
click 55 "$BUTTON_Y"
wait_until 60 recordings || fail "Start made no recording in $DESKTOP"
log "recording"
sleep "$RECORD_SECONDS"
click 140 "$BUTTON_Y"
STOP_AT=$(date +%s.%N)

BOX=""
box_shown() { BOX="$(xdotool search --onlyvisible --name '^Status$' 2>/dev/null | head -n1)" && [ -n "$BOX" ]; }
box_gone() { ! xdotool search --onlyvisible --name '^Status$' >/dev/null 2>&1; }
wait_until 120 box_shown || fail "no completion message after Stop"
log "completion message shown; answering it"
# Without a window manager X sends keys to the window under the pointer.
answer_box() {
    eval "$(xdotool getwindowgeometry --shell "$BOX")"
    xdotool mousemove --sync $((X + WIDTH / 2)) $((Y + HEIGHT / 3))
    xdotool key Return
    wait_until 5 box_gone
}
wait_until 60 answer_box || fail "the completion message did not close"

log "File > Exit"
wait_until 60 open_file_menu || fail "the File menu did not open"
# Exit is the menu's only item.
eval "$(xdotool getwindowgeometry --shell "$POPUP")"
xdotool mousemove --sync $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
app_gone() { ! kill -0 "$APP_PID" 2>/dev/null; }
wait_until 90 app_gone || fail "File > Exit did not end the program"
set +e
wait "$APP_PID"
APP_RC=$?
set -e
APP_PID=""
[ "$APP_RC" -eq 0 ] || fail "zintora.exe ended with status $APP_RC (see $TMP/zintora.log)"

# The checks on the recording.
mapfile -t FILES < <(compgen -G "$DESKTOP/zint_*.mpg")
[ ${#FILES[@]} -eq 1 ] || fail "expected one recording in $DESKTOP, found ${#FILES[@]}"
FILE="${FILES[0]}"
log "recording: $(basename "$FILE"), $(stat -c %s "$FILE") bytes"

probe() {
    ffprobe -v error -select_streams v:0 -count_frames \
        -show_entries "stream=$1" -of default=noprint_wrappers=1:nokey=1 "$FILE"
}
read -r W H FPS PICTURES <<<"$(probe width,height,r_frame_rate,nb_read_frames | tr '\n' ' ')"
log "measured: ${W}x${H}, rate $FPS, $PICTURES pictures"

# The default area is the whole screen, the default quality the largest
# that fits it.
[ "$W" = "$VIDEO_W" ] && [ "$H" = "$VIDEO_H" ] || fail "size ${W}x${H}, expected ${VIDEO_W}x${VIDEO_H}"
[ "$FPS" = "$RATE/1" ] || fail "rate $FPS, expected $RATE/1"
# Speed factor 1: a picture per 1/30 s between Start and Stop. A loaded
# machine may grab fewer, never many more.
ELAPSED=$(python3 -c "print(round($STOP_AT - $START_AT, 1))")
MIN=$((RATE * RECORD_SECONDS / 2))
MAX=$(python3 -c "print(int(($ELAPSED + 2) * $RATE))")
[ "$PICTURES" -ge "$MIN" ] && [ "$PICTURES" -le "$MAX" ] ||
    fail "$PICTURES pictures, expected $MIN..$MAX for ${ELAPSED}s"

END_CODE="$(tail -c 4 "$FILE" | od -An -tx1 | tr -d ' \n')"
[ "$END_CODE" = 000001b7 ] || fail "file ends with $END_CODE, not the sequence end code"

ERRORS="$(ffmpeg -nostdin -v error -i "$FILE" -f null - 2>&1)"
[ -z "$ERRORS" ] || fail "decoding reported: $ERRORS"

# A pixel of the middle picture far from the window: the root's colour.
if [ $((WX + WW / 2)) -lt $((SCREEN_W / 2)) ]; then
    PX=$(((WX + WW + SCREEN_W) / 2))
else
    PX=$((WX / 2))
fi
PY=$((SCREEN_H / 2))
# Screen to picture coordinates.
PX=$((PX * VIDEO_W / SCREEN_W))
PY=$((PY * VIDEO_H / SCREEN_H))
RGB="$(ffmpeg -nostdin -v error -i "$FILE" \
    -vf "select=eq(n\\,$((PICTURES / 2))),format=rgb24,crop=1:1:$PX:$PY" -frames:v 1 \
    -f rawvideo -pix_fmt rgb24 - | od -An -tu1 | tr -s ' ' | sed 's/^ //')"
log "pixel ($PX,$PY) of picture $((PICTURES / 2)): rgb $RGB"
python3 - "$RGB" "$COLOUR_HEX" <<'EOF' || fail "the picture does not show the screen's colour"
import sys
got = [int(v) for v in sys.argv[1].split()]
want = list(bytes.fromhex(sys.argv[2]))
# MPEG-2 at this bit rate keeps a flat colour within a few steps.
sys.exit(0 if len(got) == 3 and all(abs(g - w) <= 40 for g, w in zip(got, want)) else 1)
EOF

log "windows smoke test passed: ${W}x${H}, $FPS, $PICTURES pictures in ${ELAPSED}s, rgb $RGB, exit 0"
