#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts the real program on the test run's X server, chooses File > Exit
# with the mouse, and expects the program to end with exit code 0.
set -u
binary="$1"
[ -n "${DISPLAY:-}" ] || { echo "no DISPLAY: run through scripts/test.sh"; exit 1; }

export QT_QPA_PLATFORM=xcb
"$binary" &
pid=$!
trap 'kill $pid 2>/dev/null' EXIT

window=""
for _ in $(seq 1 300); do
    window=$(xdotool search --onlyvisible --pid "$pid" --name '^Zintora$' 2>/dev/null | head -n 1)
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "the main window did not appear"; exit 1; }

# The menu bar's first entry is File; its only item is Exit. A click that a
# loaded machine delivers before the window or the menu is ready is lost, so
# try again until the program ends.
for attempt in 1 2 3 4 5; do
    xdotool mousemove --window "$window" 15 12 click 1
    menu=""
    for _ in $(seq 1 50); do
        # The open menu is a second visible top-level of the program.
        menu=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | grep -v "^$window\$" | head -n 1)
        [ -n "$menu" ] && break
        sleep 0.1
    done
    if [ -n "$menu" ]; then
        sleep 0.2
        xdotool mousemove --window "$menu" 20 12 click 1
    fi
    for _ in $(seq 1 50); do
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid"
            code=$?
            trap - EXIT
            echo "exit code $code after $attempt attempt(s)"
            [ "$code" -eq 0 ]
            exit $?
        fi
        sleep 0.1
    done
done
echo "the program did not end after File > Exit"
exit 1
