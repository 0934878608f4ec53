#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Speed and memory benchmark: records moving content on private Xvfb servers
# with ScreenRecorder and with the ffmpeg command line doing the same
# pipeline (once with -threads 1, once with its default threads), and prints
# frames, CPU, peak memory and per-stage times side by side. Where the build
# has the Wayland route, it also records the same moving content at 1080p on
# a private headless Wayland desktop through the desktop portal and PipeWire,
# at speed 1 and 10, beside the X11 recording at the same speeds. For each
# case it also measures the limit: the encoder alone, with the recorder's
# options and threads, fed the same content already captured.
#
#   bench/run.sh [--seconds N] [--load N] [--soak [N]] [--keep]
#
#   --seconds N  length of each recording (default 20)
#   --load N     run N busy processes, each in a session of its own, beside
#                every recording and limit measurement (default 0)
#   --encoder-options S
#                measure the limit with these encoder options instead of the
#                recorder's (key=value:key=value, or "default" for FFmpeg's)
#   --soak [N]   instead, record the 1080p case with ScreenRecorder alone for
#                N seconds (default 600) and compare its RSS after the first
#                minute with its RSS at the end
#   --keep       keep the recorded files and logs (their folder is printed)
#
# The last line is the summary. Per case (the Wayland case at speed 1 among
# them, where there is one): <case>= pictures in our file as a percentage of
# the capture instants (the timeline), new-<case>= pictures grabbed, not
# repeated, as a percentage of the instants, and limit-<case>= the encoder's
# pictures per second over 30, at most 100%. Then our CPU divided by
# ffmpeg's single-thread CPU at 1080p, the load, and any case left out with
# the reason (with --soak: the two RSS figures).
set -euo pipefail

usage() { sed -n '3,32p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; }

RUN_SECONDS=20
SOAK_SECONDS=0
KEEP=0
LOAD=0
ENCODER_OPTIONS=recorder
while [ $# -gt 0 ]; do
    case "$1" in
    --seconds)
        [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || { echo "--seconds wants a positive whole number" >&2; exit 2; }
        RUN_SECONDS="$2"
        shift 2
        ;;
    --load)
        [[ "${2:-}" =~ ^[0-9]+$ ]] || { echo "--load wants a whole number" >&2; exit 2; }
        LOAD="$2"
        shift 2
        ;;
    --encoder-options)
        [ -n "${2:-}" ] || { echo "--encoder-options wants key=value:key=value" >&2; exit 2; }
        ENCODER_OPTIONS="$2"
        shift 2
        ;;
    --soak)
        SOAK_SECONDS=600
        if [[ "${2:-}" =~ ^[1-9][0-9]*$ ]]; then
            SOAK_SECONDS="$2"
            shift
        fi
        shift
        ;;
    --keep) KEEP=1; shift ;;
    -h | --help) usage; exit 0 ;;
    *) echo "unknown option: $1" >&2; usage >&2; exit 2 ;;
    esac
done

BENCH_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$BENCH_DIR/../scripts/setup.sh"
source "$ZINTORA_ROOT/scripts/xvfb.sh"

zintora_install_packages "${ZINTORA_BUILD_PACKAGES[@]}" "${ZINTORA_TEST_PACKAGES[@]}"

# Only what the benchmark runs, not the whole test suite.
cmake -S "$ZINTORA_ROOT" -B "$ZINTORA_BUILD_DIR" -DZINTORA_BUILD_BENCH=ON >/dev/null
if ! cmake --build "$ZINTORA_BUILD_DIR" --parallel "$(nproc 2>/dev/null || echo 2)" \
    --target zintora_movingcontent zintora_benchrecord zintora_encbench >&2; then
    echo "bench: could not build the benchmark programs" >&2
    exit 1
fi
RECORD="$ZINTORA_BUILD_DIR/bench/zintora_benchrecord"
CONTENT="$ZINTORA_BUILD_DIR/bench/zintora_movingcontent"
ENCBENCH="$ZINTORA_BUILD_DIR/bench/zintora_encbench"
TICKS=$(getconf CLK_TCK)
FPS=30
WORK="$(mktemp -d "${TMPDIR:-/tmp}/zintora-bench.XXXXXX")"

# Everything this script starts, so that an interrupted run leaves nothing.
CONTENT_PID=""
CHILD_PID=""
SERVER_PIDS=()
cleanup() {
    if [ -n "$CHILD_PID" ]; then
        # CHILD_PID is /usr/bin/time; what it measures is its child.
        local pid
        for pid in $(pgrep -P "$CHILD_PID" || true); do
            kill -TERM "$pid" 2>/dev/null || true
        done
        kill -TERM "$CHILD_PID" 2>/dev/null || true
        wait "$CHILD_PID" 2>/dev/null || true
    fi
    stop_content
    stop_load
    local pid
    for pid in "${SERVER_PIDS[@]}"; do
        ZINTORA_XVFB_PID="$pid"
        zintora_stop_xvfb
    done
    SERVER_PIDS=()
    if [ "$KEEP" -eq 1 ]; then
        echo "recordings and logs kept in $WORK" >&2
    else
        rm -rf "$WORK"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

log() { echo "bench: $*" >&2; }

# The busy processes of --load. Each runs in a session of its own: with the
# scheduler's automatic grouping by session, that makes it another program's
# work, as a build beside a recording is, rather than a share of ours.
start_load() {
    local i
    for ((i = 0; i < LOAD; i++)); do
        # It writes its own pid, as setsid forks when it would lead a group.
        setsid sh -c 'echo $$ >"$1.tmp" && mv "$1.tmp" "$1"; while :; do :; done' sh \
            "$WORK/load.$i.pid" </dev/null >/dev/null 2>&1 &
    done
    for ((i = 0; i < LOAD; i++)); do
        local n
        for n in $(seq 100); do
            [ -s "$WORK/load.$i.pid" ] && break
            sleep 0.05
        done
    done
    [ "$LOAD" -eq 0 ] || log "$LOAD busy process(es) running: $(cat "$WORK"/load.*.pid | tr '\n' ' ')"
}
stop_load() {
    local f
    for f in "$WORK"/load.*.pid; do
        [ -s "$f" ] && kill "$(cat "$f")" 2>/dev/null || true
        rm -f "$f"
    done
}

# user + system CPU ticks of a running process
cpu_ticks() {
    awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/stat" 2>/dev/null || echo 0
}

start_server() { # WxH
    unset DISPLAY
    zintora_start_xvfb "$1x24" >&2
    SERVER_PIDS+=("$ZINTORA_XVFB_PID")
    SERVER_PID="$ZINTORA_XVFB_PID"
    export DISPLAY="$ZINTORA_XVFB_DISPLAY"
    rm -f "$WORK/content.ready"
    "$CONTENT" "$FPS" >"$WORK/content.ready" 2>>"$WORK/content.log" &
    CONTENT_PID=$!
    # Building the texture takes a few seconds.
    local i
    for i in $(seq 600); do
        grep -q ready "$WORK/content.ready" 2>/dev/null && break
        kill -0 "$CONTENT_PID" 2>/dev/null || { log "the content client failed"; exit 1; }
        sleep 0.1
    done
    grep -q ready "$WORK/content.ready" || { log "the content client did not start"; exit 1; }
    sleep 1
}

stop_content() {
    if [ -n "$CONTENT_PID" ]; then
        kill -TERM "$CONTENT_PID" 2>/dev/null || true
        wait "$CONTENT_PID" 2>/dev/null || true
        CONTENT_PID=""
    fi
}

stop_server() {
    stop_content
    ZINTORA_XVFB_PID="$SERVER_PID"
    zintora_stop_xvfb
    local keep=() pid
    for pid in "${SERVER_PIDS[@]}"; do
        [ "$pid" = "$SERVER_PID" ] || keep+=("$pid")
    done
    SERVER_PIDS=("${keep[@]+"${keep[@]}"}")
}

count_frames() {
    local n
    n=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
        -of default=nw=1:nk=1 "$1" 2>/dev/null | head -n1)
    [[ "$n" =~ ^[0-9]+$ ]] && echo "$n" || echo 0
}

# value of key in a key=value file, or the default
kv() { # file key [default]
    local v
    v=$(sed -n "s/^$2=//p" "$1" 2>/dev/null | tail -n1)
    echo "${v:-${3:--}}"
}

# Results: R[case.tool.key]
declare -A R

# Notes what the X server and the content client cost during one run.
begin_side_costs() {
    SIDE_X0=$(cpu_ticks "$SERVER_PID")
    SIDE_C0=$(cpu_ticks "$CONTENT_PID")
    SIDE_T0=$(date +%s.%N)
}
end_side_costs() { # prefix
    local x1 c1 t1
    x1=$(cpu_ticks "$SERVER_PID")
    c1=$(cpu_ticks "$CONTENT_PID")
    t1=$(date +%s.%N)
    R[$1.xvfb]=$(awk -v a="$SIDE_X0" -v b="$x1" -v t0="$SIDE_T0" -v t1="$t1" -v hz="$TICKS" \
        'BEGIN { printf "%.1f", 100 * (b - a) / hz / (t1 - t0) }')
    R[$1.client]=$(awk -v a="$SIDE_C0" -v b="$c1" -v t0="$SIDE_T0" -v t1="$t1" -v hz="$TICKS" \
        'BEGIN { printf "%.1f", 100 * (b - a) / hz / (t1 - t0) }')
}

# /usr/bin/time output "%e %U %S %M" into R
note_time() { # prefix file
    local e u s m
    read -r e u s m <"$2" || true
    R[$1.cpu]=$(awk -v u="$u" -v s="$s" -v n="$RUN_SECONDS" 'BEGIN { printf "%.3f", (u + s) / n }')
    R[$1.rss]=$(awk -v m="$m" 'BEGIN { printf "%.0f", m / 1024 }')
}

# Capture instants from the moment the first picture was taken to Stop,
# which is what the file holds one picture for (when the recorder does not
# say, from the first picture reported, which comes a little later: then it
# errs by a picture or so on the low side). Before it: opening the grab
# device, or the portal's handshake.
instants_after_first() { # case speed
    local f=${R[$1.zintora.taken]:-}
    [[ "$f" =~ ^[0-9.]+$ ]] || f=${R[$1.zintora.first]:-}
    awk -v n="$RUN_SECONDS" -v f="$f" -v s="$2" -v fps="$FPS" \
        'BEGIN { f = (f ~ /^[0-9.]+$/ ? f : 0); printf "%.0f", (n - f / 1000) * fps / s }'
}

run_ours() { # case cw ch ow oh bitrate [speed]
    local c="$1" out="$WORK/$1.zintora.mpg"
    log "$c: ScreenRecorder"
    begin_side_costs
    /usr/bin/time -f "%e %U %S %M" -o "$WORK/$c.zintora.time" \
        "$RECORD" --output "$out" --capture "$2x$3+0+0" --size "$4x$5" --bitrate "$6" \
        --speed "${7:-1}" --seconds "$RUN_SECONDS" >"$WORK/$c.zintora.out" 2>"$WORK/$c.zintora.log" &
    CHILD_PID=$!
    wait "$CHILD_PID" || log "$c: the recording reported a failure (see below)"
    CHILD_PID=""
    end_side_costs "$c.zintora"
    # /usr/bin/time writes "Command exited..." first on a failure.
    tail -n1 "$WORK/$c.zintora.time" >"$WORK/$c.zintora.time1"
    note_time "$c.zintora" "$WORK/$c.zintora.time1"
    R[$c.zintora.frames]=$(count_frames "$out")
    local k
    # Keys the recorder may not print yet stay "-".
    for k in first:first_picture_ms taken:first_taken_ms reads:pictures_taken \
        stopwait:stop_blocked_ms new:new_pictures repeats:repeated_pictures handover:handover_peak; do
        R[$c.zintora.${k%%:*}]=$(kv "$WORK/$c.zintora.out" "${k#*:}")
    done
    R[$c.zintora.instants]=$(instants_after_first "$c" "${7:-1}")
    for k in grab decode convert encode write; do
        R[$c.zintora.$k]=$(kv "$WORK/$c.zintora.out" "stage_${k}_ms" "?")
    done
    local crash finish
    crash=$(kv "$WORK/$c.zintora.out" crash_code -1)
    finish=$(kv "$WORK/$c.zintora.out" finish_error "")
    if [ "$crash" != "-1" ] || { [ -n "$finish" ] && [ "$finish" != "-" ]; }; then
        R[$c.zintora.note]="crash code $crash ${finish#-}"
        sed 's/^/    /' "$WORK/$c.zintora.log" | tail -n5 >&2
    fi
}

run_ffmpeg() { # case cw ch ow oh bitrate threads(1|default)
    local c="$1" tool="ffmpeg-$7" out="$WORK/$1.ffmpeg-$7.m2v"
    local threads=()
    [ "$7" = 1 ] && threads=(-threads 1)
    log "$c: ffmpeg, $7 thread(s)"
    rm -f "$WORK/$c.$tool.progress"
    begin_side_costs
    # Each grabbed picture becomes one output picture at 30 fps, and the
    # scaler converts and scales in one pass, as the recorder does.
    /usr/bin/time -f "%e %U %S %M" -o "$WORK/$c.$tool.time" \
        ffmpeg -nostdin -hide_banner -loglevel error -y \
        -f x11grab -draw_mouse 1 -framerate "$FPS" -video_size "$2x$3" -grab_x 0 -grab_y 0 \
        -i "$DISPLAY" \
        -vf "setpts=N/($FPS*TB),scale=$4:$5:flags=bicubic,format=yuv420p" -sws_flags bicubic \
        -r "$FPS" -c:v mpeg2video -b:v "$6" -g 10 -bf 1 -pix_fmt yuv420p "${threads[@]}" \
        -progress "$WORK/$c.$tool.progress" -stats_period 0.05 \
        -f mpeg2video "$out" 2>"$WORK/$c.$tool.log" &
    CHILD_PID=$!
    local ff="" i
    for i in $(seq 200); do
        ff=$(pgrep -P "$CHILD_PID" | head -n1 || true)
        [ -n "$ff" ] && break
        sleep 0.01
    done
    # The fixed time runs from ffmpeg's first progress report, which comes
    # after its first pictures: loading its many libraries is not part of
    # the pipeline. (ScreenRecorder's time runs from start(), before it even
    # opens the grabber, which if anything favours ffmpeg.)
    for i in $(seq 3000); do
        grep -q '^frame=[1-9]' "$WORK/$c.$tool.progress" 2>/dev/null && break
        kill -0 "$CHILD_PID" 2>/dev/null || break
        sleep 0.01
    done
    sleep "$RUN_SECONDS"
    # SIGINT makes ffmpeg drain its encoder and finish the file.
    [ -n "$ff" ] && kill -INT "$ff" 2>/dev/null || true
    for i in $(seq 600); do
        kill -0 "$CHILD_PID" 2>/dev/null || break
        sleep 0.1
    done
    [ -n "$ff" ] && kill -KILL "$ff" 2>/dev/null || true
    wait "$CHILD_PID" 2>/dev/null || true
    CHILD_PID=""
    end_side_costs "$c.$tool"
    tail -n1 "$WORK/$c.$tool.time" >"$WORK/$c.$tool.time1"
    note_time "$c.$tool" "$WORK/$c.$tool.time1"
    R[$c.$tool.frames]=$(count_frames "$out")
    # Every picture it grabs is one in its file, and nothing else is.
    R[$c.$tool.instants]=$((RUN_SECONDS * FPS))
    R[$c.$tool.new]=${R[$c.$tool.frames]}
    R[$c.$tool.repeats]=0
    local k
    for k in grab decode convert encode write; do
        R[$c.$tool.$k]="-"
    done
    if [ -s "$WORK/$c.$tool.log" ]; then
        sed 's/^/    /' "$WORK/$c.$tool.log" | tail -n5 >&2
    fi
}

# The case's ceiling: the encoder alone, opened as the recorder opens it
# (its options and slice threads), fed the same content already captured as
# fast as it takes it. Pictures per second over 30.
measure_limit() { # case cw ch ow oh bitrate
    local wall
    log "$1: the encoder alone"
    if "$ENCBENCH" --source "$2x$3" --size "$4x$5" --bitrate "$6" \
        --pictures 60 --runs 3 "$ENCODER_OPTIONS" >"$WORK/$1.limit" 2>"$WORK/$1.limit.log"; then
        wall=$(sed -n 's/.* wall_ms=\([0-9.]*\).*/\1/p' "$WORK/$1.limit")
        R[$1.limit]=$(awk -v w="$wall" -v fps="$FPS" \
            'BEGIN { p = 1000 / w / fps * 100; printf "%.1f%%", (p > 100 ? 100 : p) }')
        R[$1.limit.pps]=$(awk -v w="$wall" 'BEGIN { printf "%.1f", 1000 / w }')
        R[$1.limit.threads]=$(sed -n 's/.* threads=\([0-9]*\).*/\1/p' "$WORK/$1.limit")
    else
        R[$1.limit]="-"
        sed 's/^/    /' "$WORK/$1.limit.log" | tail -n5 >&2
    fi
}

run_case() { # case cw ch ow oh bitrate
    run_ours "$@"
    run_ffmpeg "$@" 1
    run_ffmpeg "$@" default
    measure_limit "$@"
}

# Percentages of figures the recorder may not report yet are "-".
pct() {
    awk -v f="$1" -v e="$2" \
        'BEGIN { if (f ~ /^[0-9.]+$/ && e > 0) printf "%.1f%%", 100 * f / e; else printf "-" }'
}
ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { if (a ~ /^[0-9.]+$/ && b > 0) printf "%.2f", a / b; else printf "-" }'
}

TOOLS=(zintora ffmpeg-1 ffmpeg-default)
print_case() { # case title
    local c="$1" t
    echo
    echo "== $2"
    printf '%-30s %14s %14s %14s\n' "" "ScreenRecorder" "ffmpeg -thr 1" "ffmpeg default"
    row() { # label key...
        local label="$1" k="$2"
        printf '%-30s' "$label"
        for t in "${TOOLS[@]}"; do printf ' %14s' "${R[$c.$t.$k]:--}"; done
        echo
    }
    pctrow() { # label key
        printf '%-30s' "$1"
        for t in "${TOOLS[@]}"; do printf ' %14s' "$(pct "${R[$c.$t.$2]:-}" "${R[$c.$t.instants]:-0}")"; done
        echo
    }
    row "capture instants" instants
    row "pictures in file (timeline)" frames
    pctrow "timeline, % of instants" frames
    row "pictures taken from the source" reads
    row "new pictures (not repeats)" new
    pctrow "new pictures, % of instants" new
    row "repeated pictures" repeats
    row "hand-over peak depth" handover
    row "first picture after ms" first
    row "stopRecording() blocked ms" stopwait
    row "CPU s per recorded second" cpu
    row "peak RSS MiB" rss
    row "ms per picture: grab wait" grab
    row "ms per picture: decode" decode
    row "ms per picture: convert" convert
    row "ms per picture: encode" encode
    row "ms per picture: write" write
    printf '%-30s' "CPU vs ffmpeg -threads 1"
    for t in "${TOOLS[@]}"; do printf ' %14s' "$(ratio "${R[$c.$t.cpu]}" "${R[$c.ffmpeg-1.cpu]}")"; done
    echo
    row "Xvfb CPU % of one core" xvfb
    row "content client CPU %" client
    if [ "${R[$c.limit]:--}" != - ]; then
        echo "encoder alone: ${R[$c.limit.pps]} pictures/s on ${R[$c.limit.threads]} thread(s), limit ${R[$c.limit]} of 30/s"
    else
        echo "encoder alone: not measured (see above)"
    fi
    for t in "${TOOLS[@]}"; do
        if awk -v p="${R[$c.$t.client]:-0}" 'BEGIN { exit !(p > 15) }'; then
            echo "warning: the content client used ${R[$c.$t.client]}% of a core during $t"
        fi
        [ -n "${R[$c.$t.note]:-}" ] && echo "note: $t: ${R[$c.$t.note]}"
    done
    return 0
}

# The soak on its own: one long 1080p recording whose RSS after the first
# minute is compared with its RSS at the end.
if [ "$SOAK_SECONDS" -gt 0 ]; then
    log "soak: ScreenRecorder, 1080p, $SOAK_SECONDS s; files and logs in $WORK"
    start_load
    start_server 1920x1080
    begin_side_costs
    /usr/bin/time -f "%e %U %S %M" -o "$WORK/soak.time" \
        "$RECORD" --output "$WORK/soak.mpg" --capture 1920x1080+0+0 --bitrate 8000000 \
        --seconds "$SOAK_SECONDS" --rss-sample-at 60 >"$WORK/soak.out" 2>"$WORK/soak.log" &
    CHILD_PID=$!
    wait "$CHILD_PID" || log "soak: the recording reported a failure"
    CHILD_PID=""
    end_side_costs soak.zintora
    stop_server
    frames=$(count_frames "$WORK/soak.mpg")
    tail -n1 "$WORK/soak.time" >"$WORK/soak.time1"
    RUN_SECONDS="$SOAK_SECONDS" note_time soak.zintora "$WORK/soak.time1"
    first=$(kv "$WORK/soak.out" rss_sample_kib 0)
    last=$(kv "$WORK/soak.out" rss_at_stop_kib 0)
    after=$(kv "$WORK/soak.out" rss_after_kib 0)
    echo
    echo "== soak: ScreenRecorder, 1080p to 1080p, 8 Mb/s, $SOAK_SECONDS s"
    echo "frames in file: $frames of $((SOAK_SECONDS * FPS)) expected ($(pct "$frames" $((SOAK_SECONDS * FPS))))"
    echo "CPU s per recorded second: ${R[soak.zintora.cpu]}, peak RSS: ${R[soak.zintora.rss]} MiB"
    echo "content client CPU: ${R[soak.zintora.client]}% of one core, Xvfb: ${R[soak.zintora.xvfb]}%"
    echo "RSS once the recording has finished: $((after / 1024)) MiB"
    echo
    awk -v a="$first" -v b="$last" 'BEGIN {
        change = (a > 0 ? 100 * (b - a) / a : 0)
        printf "soak: rss-after-60s=%.1fMiB rss-at-end=%.1fMiB change=%+.1f%%\n", a / 1024, b / 1024, change }'
    exit 0
fi

# The Wayland desktop: the tests' headless sway with the desktop portal and
# PipeWire, showing the same moving content. Its environment is exported for
# the recordings; it tears itself down when its standard input closes.
start_wayland() {
    local line i
    WAYLAND_SAVED_RUNTIME_DIR="${XDG_RUNTIME_DIR:-}"
    coproc DESKTOP { exec "${WAYLAND_DESKTOP[@]}" 2>>"$WORK/wayland-desktop.log"; }
    WAYLAND_FAILURE="the headless Wayland desktop did not start"
    while IFS= read -r -u "${DESKTOP[0]}" line; do
        case "$line" in
        "env "*) export "${line#env }" ;;
        ready) break ;;
        failed*) WAYLAND_FAILURE="the headless Wayland desktop $line"; return 1 ;;
        esac
    done
    [ "$line" = ready ] || return 1
    unset DISPLAY
    # The compositor's pid is in the name of its IPC socket.
    SERVER_PID=$(basename "$SWAYSOCK" | cut -d. -f3)
    "$WAYLAND_CONTENT" "$FPS" >"$WORK/content.ready" 2>>"$WORK/content.log" &
    CONTENT_PID=$!
    WAYLAND_FAILURE="the Wayland content client did not start"
    for i in $(seq 600); do
        grep -q ready "$WORK/content.ready" 2>/dev/null && break
        kill -0 "$CONTENT_PID" 2>/dev/null || return 1
        sleep 0.1
    done
    grep -q ready "$WORK/content.ready" || return 1
    sleep 1
}
stop_wayland() {
    stop_content
    if [ -n "${DESKTOP[1]:-}" ]; then
        eval "exec ${DESKTOP[1]}>&-"
        wait "$DESKTOP_PID" 2>/dev/null || true
    fi
    unset WAYLAND_DISPLAY SWAYSOCK DBUS_SESSION_BUS_ADDRESS XDG_CURRENT_DESKTOP XDG_RUNTIME_DIR
    [ -z "$WAYLAND_SAVED_RUNTIME_DIR" ] || export XDG_RUNTIME_DIR="$WAYLAND_SAVED_RUNTIME_DIR"
}

# The Wayland case needs the tests' headless desktop and its helpers. A case
# left out is named, with the reason, in the output and the summary.
WAYLAND=0
SKIPPED=()
skip() { # "cases" reason
    SKIPPED+=("$1: $2")
    log "left out $1: $2"
}
if ! cmake --build "$ZINTORA_BUILD_DIR" --target help | grep -w zintora_waylandcontent >/dev/null; then
    # bench/CMakeLists.txt notes what it lacked.
    skip "wayland-1080p wayland-1080p-x10" \
        "$(cat "$ZINTORA_BUILD_DIR/bench/waylandcontent.skipped" 2>/dev/null ||
            echo "zintora_waylandcontent is not built")"
elif ! cmake --build "$ZINTORA_BUILD_DIR" --parallel "$(nproc 2>/dev/null || echo 2)" \
    --target zintora_waylandcontent xdpwshmshim virtualpointer >"$WORK/wayland-build.log" 2>&1; then
    skip "wayland-1080p wayland-1080p-x10" \
        "building the Wayland helpers failed ($(grep -m1 -i error "$WORK/wayland-build.log" || echo "see cmake --build"))"
else
    WAYLAND=1
    WAYLAND_CONTENT="$ZINTORA_BUILD_DIR/bench/zintora_waylandcontent"
    WAYLAND_DESKTOP=("$ZINTORA_ROOT/tests/support/waylanddesktop.sh"
        "$ZINTORA_BUILD_DIR/tests/support/xdpwshmshim.so"
        "$ZINTORA_BUILD_DIR/tests/support/virtualpointer" 1920x1080)
fi
[ "$WAYLAND" -eq 1 ] || skip 1080p-x10 "recorded only beside the Wayland case"

log "each recording runs $RUN_SECONDS s; files and logs in $WORK"
start_load
start_server 1920x1080
run_case 1080p 1920 1080 1920 1080 8000000
run_case 1080p-to-720p 1920 1080 1280 720 5000000
[ "$WAYLAND" -eq 1 ] && run_ours 1080p-x10 1920 1080 1920 1080 8000000 10
stop_server
if [ "$WAYLAND" -eq 1 ]; then
    if start_wayland; then
        run_ours wayland-1080p 1920 1080 1920 1080 8000000
        run_ours wayland-1080p-x10 1920 1080 1920 1080 8000000 10
    else
        WAYLAND=0
        skip "wayland-1080p wayland-1080p-x10" "$WAYLAND_FAILURE"
    fi
    stop_wayland
fi
start_server 3840x2160
run_case 4k 3840 2160 3840 2160 16000000
run_case 4k-to-1080p 3840 2160 1920 1080 8000000
stop_server

echo
echo "Zintora benchmark: $RUN_SECONDS s per recording at 30 pictures per second (speed factor 1),"
echo "$(nproc) cores, ffmpeg $(ffmpeg -version | awk 'NR == 1 { print $3 }'), $LOAD busy process(es) beside each,"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg); limits with the encoder options: $ENCODER_OPTIONS"
print_case 1080p "1080p to 1080p (1920x1080 -> 1920x1080, 8 Mb/s)"
print_case 4k "4K to 4K (3840x2160 -> 3840x2160, 16 Mb/s)"
print_case 4k-to-1080p "4K to 1080p (3840x2160 -> 1920x1080, 8 Mb/s)"
print_case 1080p-to-720p "1080p to 720p (1920x1080 -> 1280x720, 5 Mb/s)"
if [ "$WAYLAND" -eq 1 ]; then
    echo
    echo "== Wayland: 1080p to 1080p, 8 Mb/s, through the desktop portal and PipeWire (headless sway),"
    echo "   beside the X11 recording of the same moving content"
    printf '%-36s %12s %12s %12s %12s\n' "" "Wayland x1" "X11 x1" "Wayland x10" "X11 x10"
    wrow() { # label value-for-each-case...
        printf '%-36s' "$1"
        shift
        printf ' %12s' "$@"
        echo
    }
    cases=(wayland-1080p 1080p wayland-1080p-x10 1080p-x10)
    wkey() { # label key
        local label="$1" c
        shift
        printf '%-36s' "$label"
        for c in "${cases[@]}"; do printf ' %12s' "${R[$c.zintora.$1]:--}"; done
        echo
    }
    wpct() { # label key
        local label="$1" c
        printf '%-36s' "$label"
        for c in "${cases[@]}"; do
            printf ' %12s' "$(pct "${R[$c.zintora.$2]:-}" "${R[$c.zintora.instants]:-0}")"
        done
        echo
    }
    wkey "capture instants after the first" instants
    wkey "pictures in file (timeline)" frames
    wpct "timeline, % of instants" frames
    wkey "pictures taken from the source" reads
    wpct "new pictures, % of instants" new
    wkey "repeated pictures" repeats
    wkey "first picture after ms" first
    wkey "CPU s per recorded second" cpu
    wrow "CPU, Wayland vs X11" "$(ratio "${R[wayland-1080p.zintora.cpu]}" "${R[1080p.zintora.cpu]}")" "" \
        "$(ratio "${R[wayland-1080p-x10.zintora.cpu]}" "${R[1080p-x10.zintora.cpu]}")" ""
    wkey "peak RSS MiB" rss
    wkey "compositor / Xvfb CPU % of one core" xvfb
    wkey "content client CPU %" client
    for c in "${cases[@]}"; do
        [ -n "${R[$c.zintora.note]:-}" ] && echo "note: $c: ${R[$c.zintora.note]}"
    done
    # The same pictures at the same size: the 1080p case's limit holds.
    R[wayland-1080p.limit]=${R[1080p.limit]:--}
fi
for s in "${SKIPPED[@]+"${SKIPPED[@]}"}"; do
    echo
    echo "left out $s"
done

# Our cases: the timeline (today's keys), then new pictures and the limit.
SUMMARY_CASES=(1080p 4k 4k-to-1080p 1080p-to-720p)
[ "$WAYLAND" -eq 1 ] && SUMMARY_CASES+=(wayland-1080p)
timeline=() new=() limit=()
for c in "${SUMMARY_CASES[@]}"; do
    timeline+=("$c=$(pct "${R[$c.zintora.frames]:-}" "${R[$c.zintora.instants]:-0}")")
    new+=("new-$c=$(pct "${R[$c.zintora.new]:-}" "${R[$c.zintora.instants]:-0}")")
    limit+=("limit-$c=${R[$c.limit]:--}")
done
skipped=""
if [ ${#SKIPPED[@]} -gt 0 ]; then
    skipped=" skipped=\"$(printf '%s; ' "${SKIPPED[@]}" | sed 's/; $//')\""
fi
echo
echo "summary: frames ${timeline[*]} ${new[*]} ${limit[*]}" \
    "cpu-vs-ffmpeg-1080p=$(ratio "${R[1080p.zintora.cpu]:-}" "${R[1080p.ffmpeg-1.cpu]:-}") load=$LOAD$skipped"
