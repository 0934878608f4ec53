#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Shared set-up for the scripts: installs the Debian packages that are
# missing, then configures and builds into build/.
# Source it; it defines zintora_install_packages and zintora_build.

ZINTORA_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ZINTORA_BUILD_DIR="${ZINTORA_BUILD_DIR:-$ZINTORA_ROOT/build}"

# What building needs.
ZINTORA_BUILD_PACKAGES=(
    cmake g++ make pkg-config
    qtbase5-dev qtbase5-dev-tools
    libavformat-dev libavcodec-dev libavdevice-dev libavutil-dev libswscale-dev
    libyuv-dev
    # Renders the icon's SVG into the PNGs compiled into the program.
    librsvg2-bin
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
    ffmpeg libx11-dev libxext-dev
    # bench/run.sh: /usr/bin/time for CPU and peak RSS, pgrep
    time procps
    # The Wayland tests' private desktop (tests/support/waylanddesktop.sh):
    # headless sway, a session bus, PipeWire with WirePlumber, the portals.
    sway swaybg dbus-daemon dbus-bin pipewire pipewire-bin wireplumber
    xdg-desktop-portal xdg-desktop-portal-wlr libwayland-dev wayland-protocols
)

# What scripts/deb-build.sh and scripts/deb-check.sh need on top of building.
ZINTORA_DEB_PACKAGES=(
    dpkg-dev file lintian appstream desktop-file-utils
    xvfb xauth xdotool
)

# apt-get as root (through sudo if need be), without questions; waits for
# another apt-get to finish rather than fail on its lock.
zintora_apt() {
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 "$@"
}

# Installs those of the named Debian packages that are missing. apt's output
# goes to a log, shown on failure.
zintora_install_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}"
    if ! command -v apt-get >/dev/null 2>&1; then
        echo "apt-get not found: please install ${missing[*]} by hand." >&2
        return 1
    fi
    local log rc=0
    log="$(mktemp "${TMPDIR:-/tmp}/zintora-apt.XXXXXX")"
    { zintora_apt update -qq && zintora_apt install -y -qq --no-install-recommends "${missing[@]}"; } \
        >"$log" 2>&1 || rc=$?
    [ "$rc" -eq 0 ] || tail -n 30 "$log" >&2
    rm -f "$log"
    return "$rc"
}

zintora_build() {
    local jobs
    jobs="$(nproc 2>/dev/null || echo 2)"
    if [ ! -f "$ZINTORA_BUILD_DIR/CMakeCache.txt" ]; then
        cmake -S "$ZINTORA_ROOT" -B "$ZINTORA_BUILD_DIR" "$@" || return 1
    fi
    cmake --build "$ZINTORA_BUILD_DIR" --parallel "$jobs" || return 1
}
