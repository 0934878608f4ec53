#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The MPEG-2 encoder's options on the benchmark's moving content: for each
# options set, CPU and wall ms per picture, PSNR and bit rate at 1080p
# (8 Mb/s) and 4K (16 Mb/s), with the recorder's slice threads, then
# what a repeated picture costs the encoder against a new one with the first
# set and the last (today's defaults and the recommendation, in the grid).
#
#   bench/encoders.sh [--runs N] [--pictures N] [options...]
#
#   --runs N      runs per set, the median is shown (default 5)
#   --pictures N  pictures per run (default 150 at 1080p, 90 at 4K)
#   options...    the sets to try instead of the built-in grid
set -euo pipefail

RUNS=5
PICTURES=""
SETS=()
while [ $# -gt 0 ]; do
    case "$1" in
    --runs) RUNS="$2"; shift 2 ;;
    --pictures) PICTURES="$2"; shift 2 ;;
    -h | --help) sed -n '3,12p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) SETS+=("$1"); shift ;;
    esac
done
# Today's defaults first; then one change at a time, then combinations.
[ ${#SETS[@]} -gt 0 ] || SETS=(
    default
    motion_est=zero motion_est=xone me_range=16 me_range=64
    mbd=bits mbd=rd
    cmp=satd:subcmp=satd subcmp=satd mbcmp=satd cmp=chroma:subcmp=chroma
    dia_size=-1 dia_size=2 dia_size=4 last_pred=2 mepre=2
    mpv_flags=+mv0 mv0_threshold=4096 trellis=1 intra_vlc=1
    bidir_refine=0:intra_vlc=1 bidir_refine=0:mv0_threshold=4096 bidir_refine=0
    bidir_refine=0:mpv_flags=+mv0
)

BENCH_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$BENCH_DIR/../scripts/setup.sh"
zintora_install_packages "${ZINTORA_BUILD_PACKAGES[@]}" "${ZINTORA_TEST_PACKAGES[@]}"
cmake -S "$ZINTORA_ROOT" -B "$ZINTORA_BUILD_DIR" -DZINTORA_BUILD_BENCH=ON >/dev/null
cmake --build "$ZINTORA_BUILD_DIR" --parallel "$(nproc 2>/dev/null || echo 2)" \
    --target zintora_encbench >/dev/null
ENCBENCH="$ZINTORA_BUILD_DIR/bench/zintora_encbench"

field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p"; }

echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
"$ENCBENCH" --size 1920x1080 --bitrate 8000000 --runs "$RUNS" \
    --pictures "${PICTURES:-150}" "${SETS[@]}" >"${TMPDIR:-/tmp}/encoders.$$.1080p" || true
"$ENCBENCH" --size 3840x2160 --source 3840x2160 --bitrate 16000000 \
    --runs "$RUNS" --pictures "${PICTURES:-90}" "${SETS[@]}" >"${TMPDIR:-/tmp}/encoders.$$.4k" || true
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
threads=$(sed -n 's/.* threads=\([0-9]*\).*/\1/p;q' "${TMPDIR:-/tmp}/encoders.$$.4k")
printf '| %-40s | %s | %s |\n' options "1080p: CPU ms, wall ms, PSNR dB, kb/s" \
    "4K (${threads:-?} threads): CPU ms, wall ms, PSNR dB, kb/s"
printf '|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..42})" "---" "---"
for set in "${SETS[@]}"; do
    cells=()
    for size in 1080p 4k; do
        line=$(grep -F "options=$set " "${TMPDIR:-/tmp}/encoders.$$.$size" || true)
        if [ -z "$line" ]; then
            cells+=("refused")
        else
            cells+=("$(echo "$line" | field cpu_ms), $(echo "$line" | field wall_ms), $(echo "$line" | field psnr), $(echo "$line" | field kbps)")
        fi
    done
    printf '| %-40s | %s | %s |\n' "$set" "${cells[0]}" "${cells[1]}"
done
rm -f "${TMPDIR:-/tmp}/encoders.$$".*

# Every third instant a repeat: handed over as it comes, and with the repeat
# and the picture it repeats made P pictures, so that the repeat is predicted
# from its own source.
echo
echo "A repeated picture's encoder time against a new picture's of the same type (every third a repeat):"
for set in "${SETS[0]}" "${SETS[-1]}"; do
    for how in "" --repeats-as-p; do
        r1=$("$ENCBENCH" --size 1920x1080 --bitrate 8000000 --runs "$RUNS" \
            --pictures "${PICTURES:-150}" --repeats NNR $how "$set" | field repeat_cost)
        r4=$("$ENCBENCH" --size 3840x2160 --source 3840x2160 --bitrate 16000000 \
            --runs "$RUNS" --pictures "${PICTURES:-90}" --repeats NNR \
            $how "$set" | field repeat_cost)
        echo "  $set ${how:-(as they come)}: 1080p $r1, 4K $r4"
    done
done
