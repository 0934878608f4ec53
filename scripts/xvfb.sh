#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts and stops a private Xvfb server on a free display number.
# Source it; zintora_start_xvfb WxHxD sets ZINTORA_XVFB_DISPLAY and
# ZINTORA_XVFB_PID, zintora_stop_xvfb ends the server.

zintora_start_xvfb() {
    local screen="${1:-1920x1080x24}"
    local fifo
    fifo="$(mktemp -u)"
    mkfifo "$fifo"
    # -displayfd lets the server pick a free number and tell us which.
    Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
    ZINTORA_XVFB_PID=$!
    local num=""
    read -r -t 30 num <"$fifo" || true
    rm -f "$fifo"
    if [ -z "$num" ]; then
        echo "Xvfb did not start" >&2
        kill "$ZINTORA_XVFB_PID" 2>/dev/null || true
        return 1
    fi
    ZINTORA_XVFB_DISPLAY=":$num"
    echo "Xvfb $screen on $ZINTORA_XVFB_DISPLAY (pid $ZINTORA_XVFB_PID)"
}

zintora_stop_xvfb() {
    if [ -n "${ZINTORA_XVFB_PID:-}" ]; then
        kill "$ZINTORA_XVFB_PID" 2>/dev/null || true
        wait "$ZINTORA_XVFB_PID" 2>/dev/null || true
        ZINTORA_XVFB_PID=""
    fi
}
