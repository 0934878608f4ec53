#!/usr/bin/env bash
# Speed and memory benchmark: records moving content on private Xvfb servers
# with ScreenRecorder and with the ffmpeg command line doing the same
# pipeline (once with -threads 1, once with its default threads), and prints
# frames, CPU, peak memory and per-stage times side by side. Where the build
# has the Wayland route, it also records the same moving content at 1080p on
# a private headless Wayland desktop through the desktop portal and PipeWire,
# at speed 1 and 10, beside the X11 recording at the same speeds.
#
#   bench/run.sh [--seconds N] [--soak [N]] [--keep]
#
#   --seconds N  length of each recording (default 20)
#   --soak [N]   instead, record the 1080p case with ScreenRecorder alone for
#                N seconds (default 600) and compare its RSS after the first
#                minute with its RSS at the end
#   --keep       keep the recorded files and logs (their folder is printed)
#
# The last line is the summary: percentages of the expected frames per case
# (the Wayland case at speed 1 among them, where there is one) and our CPU
# divided by ffmpeg's single-thread CPU at 1080p (with --soak: the two RSS
# figures).
set -euo pipefail

usage() { sed -n '2,21p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; }

RUN_SECONDS=20
SOAK_SECONDS=0
KEEP=0
while [ $# -gt 0 ]; do
    case "$1" in
    --seconds)
        [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || { echo "--seconds wants a positive whole number" >&2; exit 2; }
        RUN_SECONDS="$2"
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
    --target zintora_movingcontent zintora_benchrecord; then
    echo "bench: could not build the benchmark programs" >&2
    exit 1
fi
RECORD="$ZINTORA_BUILD_DIR/bench/zintora_benchrecord"
CONTENT="$ZINTORA_BUILD_DIR/bench/zintora_movingcontent"
# The Wayland case needs the tests' headless desktop and its helpers.
WAYLAND=0
if cmake --build "$ZINTORA_BUILD_DIR" --target help | grep -w zintora_waylandcontent >/dev/null &&
    cmake --build "$ZINTORA_BUILD_DIR" --parallel "$(nproc 2>/dev/null || echo 2)" \
        --target zintora_waylandcontent xdpwshmshim virtualpointer >/dev/null; then
    WAYLAND=1
    WAYLAND_CONTENT="$ZINTORA_BUILD_DIR/bench/zintora_waylandcontent"
    WAYLAND_DESKTOP=("$ZINTORA_ROOT/tests/support/waylanddesktop.sh"
        "$ZINTORA_BUILD_DIR/tests/support/xdpwshmshim.so"
        "$ZINTORA_BUILD_DIR/tests/support/virtualpointer" 1920x1080)
fi

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
    R[$c.zintora.first]=$(kv "$WORK/$c.zintora.out" first_picture_ms)
    R[$c.zintora.stopwait]=$(kv "$WORK/$c.zintora.out" stop_blocked_ms)
    local k
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
    local k
    for k in grab decode convert encode write; do
        R[$c.$tool.$k]="-"
    done
    if [ -s "$WORK/$c.$tool.log" ]; then
        sed 's/^/    /' "$WORK/$c.$tool.log" | tail -n5 >&2
    fi
}

run_case() { # case cw ch ow oh bitrate
    run_ours "$@"
    run_ffmpeg "$@" 1
    run_ffmpeg "$@" default
}

pct() { awk -v f="$1" -v e="$2" 'BEGIN { printf "%.1f%%", (e > 0 ? 100 * f / e : 0) }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }

TOOLS=(zintora ffmpeg-1 ffmpeg-default)
print_case() { # case title
    local c="$1" expected=$((RUN_SECONDS * FPS)) t
    echo
    echo "== $2"
    printf '%-30s %14s %14s %14s\n' "" "ScreenRecorder" "ffmpeg -thr 1" "ffmpeg default"
    row() { # label key...
        local label="$1" k="$2"
        printf '%-30s' "$label"
        for t in "${TOOLS[@]}"; do printf ' %14s' "${R[$c.$t.$k]:--}"; done
        echo
    }
    printf '%-30s' "frames expected"
    for t in "${TOOLS[@]}"; do printf ' %14s' "$expected"; done
    echo
    row "frames in file" frames
    printf '%-30s' "frames in file, % of expected"
    for t in "${TOOLS[@]}"; do printf ' %14s' "$(pct "${R[$c.$t.frames]}" "$expected")"; done
    echo
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
    while IFS= read -r -u "${DESKTOP[0]}" line; do
        case "$line" in
        "env "*) export "${line#env }" ;;
        ready) break ;;
        failed*) log "wayland: $line"; return 1 ;;
        esac
    done
    [ "$line" = ready ] || { log "wayland: the desktop did not start"; return 1; }
    unset DISPLAY
    # The compositor's pid is in the name of its IPC socket.
    SERVER_PID=$(basename "$SWAYSOCK" | cut -d. -f3)
    "$WAYLAND_CONTENT" "$FPS" >"$WORK/content.ready" 2>>"$WORK/content.log" &
    CONTENT_PID=$!
    for i in $(seq 600); do
        grep -q ready "$WORK/content.ready" 2>/dev/null && break
        kill -0 "$CONTENT_PID" 2>/dev/null || { log "the Wayland content client failed"; return 1; }
        sleep 0.1
    done
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

# Pictures expected from the first picture on: the portal's handshake before
# it is set-up, as loading its libraries is for ffmpeg.
expected_after_first() { # case speed
    awk -v n="$RUN_SECONDS" -v f="${R[$1.zintora.first]:-}" -v s="$2" -v fps="$FPS" \
        'BEGIN { f = (f ~ /^[0-9.]+$/ ? f : 0); printf "%.0f", (n - f / 1000) * fps / s }'
}

log "each recording runs $RUN_SECONDS s; files and logs in $WORK"
start_server 1920x1080
run_case 1080p 1920 1080 1920 1080 8000000
run_case 1080p-to-720p 1920 1080 1280 720 5000000
[ "$WAYLAND" -eq 1 ] && run_ours 1080p-x10 1920 1080 1920 1080 8000000 10
stop_server
if [ "$WAYLAND" -eq 1 ]; then
    if start_wayland; then
        run_ours wayland-1080p 1920 1080 1920 1080 8000000
        run_ours wayland-1080p-x10 1920 1080 1920 1080 8000000 10
    fi
    stop_wayland
fi
start_server 3840x2160
run_case 4k 3840 2160 3840 2160 16000000
run_case 4k-to-1080p 3840 2160 1920 1080 8000000
stop_server

echo
echo "Zintora benchmark: $RUN_SECONDS s per recording at 30 pictures per second (speed factor 1),"
echo "$(nproc) cores, ffmpeg $(ffmpeg -version | awk 'NR == 1 { print $3 }'), load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
print_case 1080p "1080p to 1080p (1920x1080 -> 1920x1080, 8 Mb/s)"
print_case 4k "4K to 4K (3840x2160 -> 3840x2160, 16 Mb/s)"
print_case 4k-to-1080p "4K to 1080p (3840x2160 -> 1920x1080, 8 Mb/s)"
print_case 1080p-to-720p "1080p to 720p (1920x1080 -> 1280x720, 5 Mb/s)"
WAYLAND_SUMMARY=""
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
    speeds=(1 1 10 10)
    exp=()
    for i in 0 1 2 3; do exp+=("$(expected_after_first "${cases[i]}" "${speeds[i]}")"); done
    wrow "frames in file" "${R[wayland-1080p.zintora.frames]}" "${R[1080p.zintora.frames]}" \
        "${R[wayland-1080p-x10.zintora.frames]}" "${R[1080p-x10.zintora.frames]}"
    wrow "frames expected after the first" "${exp[@]}"
    wrow "frames, % of expected" "$(pct "${R[wayland-1080p.zintora.frames]}" "${exp[0]}")" \
        "$(pct "${R[1080p.zintora.frames]}" "${exp[1]}")" \
        "$(pct "${R[wayland-1080p-x10.zintora.frames]}" "${exp[2]}")" \
        "$(pct "${R[1080p-x10.zintora.frames]}" "${exp[3]}")"
    wrow "first picture after ms" "${R[wayland-1080p.zintora.first]}" "${R[1080p.zintora.first]}" \
        "${R[wayland-1080p-x10.zintora.first]}" "${R[1080p-x10.zintora.first]}"
    wrow "CPU s per recorded second" "${R[wayland-1080p.zintora.cpu]}" "${R[1080p.zintora.cpu]}" \
        "${R[wayland-1080p-x10.zintora.cpu]}" "${R[1080p-x10.zintora.cpu]}"
    wrow "CPU, Wayland vs X11" "$(ratio "${R[wayland-1080p.zintora.cpu]}" "${R[1080p.zintora.cpu]}")" "" \
        "$(ratio "${R[wayland-1080p-x10.zintora.cpu]}" "${R[1080p-x10.zintora.cpu]}")" ""
    wrow "peak RSS MiB" "${R[wayland-1080p.zintora.rss]}" "${R[1080p.zintora.rss]}" \
        "${R[wayland-1080p-x10.zintora.rss]}" "${R[1080p-x10.zintora.rss]}"
    wrow "compositor / Xvfb CPU % of one core" "${R[wayland-1080p.zintora.xvfb]}" \
        "${R[1080p.zintora.xvfb]}" "${R[wayland-1080p-x10.zintora.xvfb]}" "${R[1080p-x10.zintora.xvfb]}"
    wrow "content client CPU %" "${R[wayland-1080p.zintora.client]}" "${R[1080p.zintora.client]}" \
        "${R[wayland-1080p-x10.zintora.client]}" "${R[1080p-x10.zintora.client]}"
    for c in "${cases[@]}"; do
        [ -n "${R[$c.zintora.note]:-}" ] && echo "note: $c: ${R[$c.zintora.note]}"
    done
    WAYLAND_SUMMARY=" wayland-1080p=$(pct "${R[wayland-1080p.zintora.frames]:-0}" "${exp[0]}")"
fi
echo
printf 'summary: frames 1080p=%s 4k=%s 4k-to-1080p=%s 1080p-to-720p=%s%s cpu-vs-ffmpeg-1080p=%s\n' \
    "$(pct "${R[1080p.zintora.frames]}" $((RUN_SECONDS * FPS)))" \
    "$(pct "${R[4k.zintora.frames]}" $((RUN_SECONDS * FPS)))" \
    "$(pct "${R[4k-to-1080p.zintora.frames]}" $((RUN_SECONDS * FPS)))" \
    "$(pct "${R[1080p-to-720p.zintora.frames]}" $((RUN_SECONDS * FPS)))" \
    "$WAYLAND_SUMMARY" \
    "$(ratio "${R[1080p.zintora.cpu]}" "${R[1080p.ffmpeg-1.cpu]}")"
