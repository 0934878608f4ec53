#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A private headless Wayland desktop that shares its screen the way a user's
# desktop does: sway (headless, no GPU), a session bus, PipeWire, WirePlumber,
# xdg-desktop-portal-wlr and xdg-desktop-portal, all in a fresh directory.
#
# Usage: waylanddesktop.sh SHIM POINTER [WIDTHxHEIGHT [WIDTHxHEIGHT]]
#   SHIM: the test-only LD_PRELOAD library for xdg-desktop-portal-wlr 0.7
#   (tests/support/xdpwshmshim.c); POINTER: the program that gives the seat
#   a pointer (tests/support/virtualpointer.c). The sizes are those of
#   HEADLESS-1 at 0,0 and of an optional HEADLESS-2 to its right.
# Prints "env NAME=VALUE" lines for the clients, "chooser FILE" (the output
# name in FILE is what the screen chooser answers; an empty FILE cancels;
# "wait" keeps it from answering, as a dialog left open, and FILE.asking
# exists meanwhile), "pointer FIFO" (commands for the pointer, in layout
# pixels, see virtualpointer.c), then
# "ready". Reads commands from standard input: "stop NAME" ends one
# service (sway, dbus, pipewire, wireplumber, wlr-portal, portal). Tears
# everything down when standard input closes, which also happens when the
# test that started it dies. ZINTORA_KEEP_DESKTOP=1 keeps its directory and
# the services' logs for a look afterwards.
set -u
shim=$1
pointer=$2
size=${3:-1280x720}
second=${4:-}
output=HEADLESS-1
work=$(mktemp -d)
run=$work/runtime
mkdir -p "$run" "$work/config/xdg-desktop-portal-wlr" "$work/logs"
as_sway_user=()
if [ "$(id -u)" -eq 0 ]; then
    # sway refuses to run as root: it runs as nobody, owning the runtime
    # directory; root clients still reach its sockets.
    as_sway_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    chmod 0711 "$work"
    chown 65534:65534 "$run"
fi
chmod 0700 "$run"

# Every process started here carries this in its environment, also those its
# services start on their own (sway double-forks swaybg).
export ZINTORA_WAYLAND_DESKTOP=$work
declare -A pids=()
ours() {
    grep -lzxF "ZINTORA_WAYLAND_DESKTOP=$work" /proc/[0-9]*/environ 2>/dev/null |
        sed 's|/proc/\([0-9]*\)/environ|\1|' | grep -vx -e $$ -e "$BASHPID"
}
stop_pid() {
    kill -TERM "$1" 2>/dev/null || return 0
    for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.03; done
    kill -KILL "$1" 2>/dev/null
}
teardown() {
    trap - EXIT
    local name
    for name in portal wlr-portal wireplumber pipewire dbus pointer sway; do
        [ -n "${pids[$name]:-}" ] && stop_pid "${pids[$name]}"
    done
    for pid in $(ours); do stop_pid "$pid"; done
    wait 2>/dev/null
    [ -n "${ZINTORA_KEEP_DESKTOP:-}" ] || rm -rf "$work"
}
trap teardown EXIT
trap 'exit 1' INT TERM HUP PIPE
fail() {
    echo "failed: $*"
    tail -n 20 "$work"/logs/*.log >&2
    exit 1
}
start() {
    local name=$1
    shift
    "$@" >"$work/logs/$name.log" 2>&1 &
    pids[$name]=$!
}
# wait_for WHAT COMMAND...: polls the condition for up to 20 s.
wait_for() {
    local what=$1 deadline=$((SECONDS + 20))
    shift
    until "$@" >/dev/null 2>&1; do
        [ $SECONDS -lt $deadline ] || fail "no $what within 20 s"
        sleep 0.02
    done
}
has_owner() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner "string:$1" | grep -q 'boolean true'
}

unset DISPLAY WAYLAND_DISPLAY WAYLAND_SOCKET SWAYSOCK I3SOCK PIPEWIRE_REMOTE LD_PRELOAD
export XDG_RUNTIME_DIR=$run HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data \
    XDG_STATE_HOME=$work/state XDG_CACHE_HOME=$work/cache XDG_CURRENT_DESKTOP=sway \
    DBUS_SESSION_BUS_ADDRESS=unix:path=$run/bus

cat >"$work/sway.conf" <<END
xwayland disable
output $output resolution $size position 0 0 bg #000000 solid_color
default_border none
default_floating_border none
focus_follows_mouse no
END
outputs=1 layout=$size
if [ -n "$second" ]; then
    outputs=2
    # No background of its own until a test sets one: swaybg then has one
    # output less to redraw at every change of HEADLESS-1's.
    echo "output HEADLESS-2 resolution $second position ${size%x*} 0" >>"$work/sway.conf"
    height=$((${size#*x} > ${second#*x} ? ${size#*x} : ${second#*x}))
    layout=$((${size%x*} + ${second%x*}))x$height
fi
start sway env WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    WLR_HEADLESS_OUTPUTS=$outputs "${as_sway_user[@]}" sway -c "$work/sway.conf"
wait_for "sway sockets" sh -c "ls '$run' | grep -q '^sway-ipc' && ls '$run' | grep -qx 'wayland-[0-9]*'"
export SWAYSOCK=$(ls -d "$run"/sway-ipc.*) WAYLAND_DISPLAY=$(ls "$run" | grep -x 'wayland-[0-9]*')
wait_for "output HEADLESS-$outputs" sh -c "swaymsg -t get_outputs | grep -q HEADLESS-$outputs"
mkfifo "$work/pointer"
start pointer "$pointer" "$work/pointer" "${layout%x*}" "${layout#*x}"
wait_for "pointer on the seat" grep -q ready "$work/logs/pointer.log"

# A bus of its own that starts no service behind our back.
cat >"$work/bus.conf" <<END
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$run/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
END
start dbus dbus-daemon --config-file="$work/bus.conf" --nofork --nopidfile
wait_for "session bus" has_owner org.freedesktop.DBus
start pipewire pipewire
wait_for "PipeWire" timeout 2 pw-cli info 0
# Without a session manager nothing links a client to the portal's stream.
start wireplumber wireplumber
wait_for "WirePlumber" sh -c "timeout 2 pw-cli ls Metadata | grep -q 'metadata.name = \"default\"'"

echo "$output" >"$work/chooser"
cat >"$work/choose" <<END
if [ "\$(cat $work/chooser)" = wait ]; then
    touch $work/chooser.asking
    while [ "\$(cat $work/chooser)" = wait ]; do sleep 0.05; done
    rm -f $work/chooser.asking
fi
cat $work/chooser
END
cat >"$work/config/xdg-desktop-portal-wlr/config" <<END
[screencast]
max_fps=30
chooser_type=simple
chooser_cmd=sh $work/choose
END
start wlr-portal env LD_PRELOAD="$shim" /usr/libexec/xdg-desktop-portal-wlr \
    -c "$work/config/xdg-desktop-portal-wlr/config"
wait_for "wlr portal" has_owner org.freedesktop.impl.portal.desktop.wlr
start portal /usr/libexec/xdg-desktop-portal
wait_for "desktop portal" has_owner org.freedesktop.portal.Desktop

for name in WAYLAND_DISPLAY SWAYSOCK XDG_RUNTIME_DIR DBUS_SESSION_BUS_ADDRESS XDG_CURRENT_DESKTOP; do
    echo "env $name=${!name}"
done
echo "chooser $work/chooser"
echo "pointer $work/pointer"
echo ready
while read -r command name; do
    [ "$command" = stop ] && [ -n "${pids[$name]:-}" ] && stop_pid "${pids[$name]}"
    echo "done $command $name"
done
