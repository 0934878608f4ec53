#!/usr/bin/env bash
# Shared set-up for run.sh, test.sh and bench/run.sh: installs the Debian
# packages that are missing, then configures and builds into build/.
# Source it; it defines zintora_setup and zintora_build.

ZINTORA_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ZINTORA_BUILD_DIR="${ZINTORA_BUILD_DIR:-$ZINTORA_ROOT/build}"

# What building needs.
ZINTORA_BUILD_PACKAGES=(
    cmake g++ make pkg-config
    qtbase5-dev qtbase5-dev-tools
    libavformat-dev libavcodec-dev libavdevice-dev libavutil-dev libswscale-dev
    libyuv-dev
    # The Wayland route: the desktop portal over QtDBus (its headers come with
    # qtbase5-dev), PipeWire, and Qt's Wayland platform for the window.
    libpipewire-0.3-dev qtwayland5
)
# What the tests and benchmarks need on top: a virtual X server, X tools,
# the ffmpeg command line (ffprobe, and the peer of the benchmark), X
# client libraries for the benchmark's moving-content client and a headless
# Wayland desktop.
ZINTORA_TEST_PACKAGES=(
    xvfb xauth x11-utils x11-xserver-utils xdotool
    ffmpeg libx11-dev libxext-dev valgrind
    # bench/run.sh: /usr/bin/time for CPU and peak RSS, pgrep
    time procps
    # The Wayland tests' private desktop (tests/support/waylanddesktop.sh):
    # headless sway, a session bus, PipeWire with WirePlumber, the portals.
    sway swaybg dbus-daemon dbus-bin pipewire pipewire-bin wireplumber
    xdg-desktop-portal xdg-desktop-portal-wlr libwayland-dev wayland-protocols
)

zintora_install_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}"
    if ! command -v apt-get >/dev/null 2>&1; then
        echo "apt-get not found: please install ${missing[*]} by hand." >&2
        return 1
    fi
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        sudo="sudo"
    fi
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq || return 1
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" || return 1
}

zintora_build() {
    local jobs
    jobs="$(nproc 2>/dev/null || echo 2)"
    if [ ! -f "$ZINTORA_BUILD_DIR/CMakeCache.txt" ]; then
        cmake -S "$ZINTORA_ROOT" -B "$ZINTORA_BUILD_DIR" "$@" || return 1
    fi
    cmake --build "$ZINTORA_BUILD_DIR" --parallel "$jobs" || return 1
}
