#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the Debian package that scripts/deb-build.sh made: lintian finds no
# error, the desktop entry and the AppStream metadata validate, apt resolves
# its dependencies, and the program unpacked from it starts, shows its window
# and leaves through File > Exit with status 0. Prints the package's files
# and relations on the way.
#
#   deb-check.sh [deb]   default: build-deb/zintora_<version>_amd64.deb
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
source "$ZINTORA_ROOT/scripts/xvfb.sh"
zintora_install_packages "${ZINTORA_DEB_PACKAGES[@]}"

fail() {
    echo "deb-check: FAIL: $*" >&2
    exit 1
}

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$ZINTORA_ROOT/build-deb/CMakeCache.txt" 2>/dev/null)"
deb="$(realpath "${1:-$ZINTORA_ROOT/build-deb/zintora_${version}_amd64.deb}")"
[ -f "$deb" ] || fail "no package at $deb (run scripts/deb-build.sh)"

tmp="$(mktemp -d "${TMPDIR:-/tmp}/zintora-deb.XXXXXX")"
trap 'zintora_stop_xvfb; rm -rf "$tmp"' EXIT

echo "== $(basename "$deb")"
dpkg-deb -f "$deb" Version Depends Recommends Suggests
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print "   " $6 }'

echo "== lintian"
rc=0
lintian --fail-on error --display-info "$deb" >"$tmp/lintian.log" 2>&1 || rc=$?
# Root is how CI runs; lintian only warns about it.
grep -v 'running with root privileges' "$tmp/lintian.log" || true
[ "$rc" -eq 0 ] || fail "lintian reports errors"

dpkg -x "$deb" "$tmp/root"
echo "== desktop-file-validate"
desktop-file-validate "$tmp/root/usr/share/applications/zintora.desktop" ||
    fail "the desktop entry does not validate"
echo "== appstreamcli"
appstreamcli validate --no-net "$tmp"/root/usr/share/metainfo/*.metainfo.xml ||
    fail "the AppStream metadata does not validate"
# The metadata together with the desktop entry and icon it points to.
appstreamcli validate-tree --no-net "$tmp/root" >/dev/null || fail "the installed tree does not validate"

echo "== apt-get install --simulate"
apt-get install --simulate "$deb" >"$tmp/apt.log" 2>&1 || { cat "$tmp/apt.log" >&2; fail "apt cannot install it"; }
grep '^Inst ' "$tmp/apt.log" || true

echo "== start from the package, File > Exit"
unset WAYLAND_DISPLAY
zintora_start_xvfb 1280x1024x24
DISPLAY="$ZINTORA_XVFB_DISPLAY" "$ZINTORA_ROOT/tests/app/exit_test.sh" "$tmp/root/usr/bin/zintora" ||
    fail "the packaged program did not start and leave cleanly"
echo "deb-check: passed"
