#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-builds the Windows package on Debian 12: Qt's qtbase and FFmpeg from
# Debian's own source packages (nobody ships MinGW builds of them), then
# Zintora, then zintora-<version>-win64.zip with every DLL the program needs.
#
# Run as root or with sudo at hand. Qt and FFmpeg land in a cache outside the
# repository, one folder per source version and configure flags, so a run
# with nothing changed reuses them and only rebuilds Zintora.
#
#   ZINTORA_WIN64_CACHE  cache folder (default ~/.cache/zintora-win64)
#   ZINTORA_WIN64_OUT    build and zip folder (default build-win64/)
#   ZINTORA_WIN64_JOBS   make jobs (default 2)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/scripts/setup.sh"
CACHE="${ZINTORA_WIN64_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zintora-win64}"
OUT="${ZINTORA_WIN64_OUT:-$ROOT/build-win64}"
JOBS="${ZINTORA_WIN64_JOBS:-2}"
HOST=x86_64-w64-mingw32

TOOL_PACKAGES=(
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
    binutils-mingw-w64-x86-64 nasm dpkg-dev pkg-config cmake make perl python3
    wine64 wine zip
    # The icon rendered from its SVG and made into zintora.exe's .ico
    librsvg2-bin icoutils
    # scripts/windows-smoke.sh
    xvfb xauth xdotool x11-xserver-utils ffmpeg
)

QT_FLAGS=(
    -xplatform win32-g++ -device-option "CROSS_COMPILE=$HOST-"
    -opensource -confirm-license -release -shared
    -nomake examples -nomake tests
    -no-opengl -no-dbus -no-icu -qt-zlib -qt-libpng -no-libjpeg -qt-pcre
    -no-freetype -no-harfbuzz -no-openssl -no-vulkan
    -no-feature-sql -no-feature-xml -no-feature-concurrent -no-feature-printer
    # Debian's repacked source lacks src/3rdparty/wintab.
    -no-feature-tabletevent -no-feature-direct2d
)

# Only what the recorder uses: gdigrab delivers BMP packets (decoded by the
# bmp decoder), the picture is scaled by swscale and written as MPEG-2 to a
# plain file.
FFMPEG_FLAGS=(
    --target-os=mingw32 --arch=x86_64 --cross-prefix="$HOST-"
    --cc="$HOST-gcc-posix" --cxx="$HOST-g++-posix" --pkg-config=pkg-config
    --enable-shared --disable-static --disable-autodetect --disable-everything
    --disable-programs --disable-doc --disable-network
    --enable-avdevice --enable-avformat --enable-avcodec --enable-swscale
    --enable-indev=gdigrab --enable-decoder=bmp,rawvideo
    --enable-encoder=mpeg2video --enable-protocol=file
)

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

log() { echo "== $(date +%H:%M:%S) $*"; }

# apt-get source needs deb-src lines for the archive the machine already uses.
ensure_deb_src() {
    if grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        return 0
    fi
    log "adding deb-src entries"
    local f
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        grep -qE '^deb http[^ ]*debian' "$f" || continue
        grep -E '^deb http[^ ]*debian' "$f" | sed 's/^deb /deb-src /' |
            $SUDO tee "/etc/apt/sources.list.d/zintora-src-$(basename "$f" .list).list" >/dev/null
    done
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        grep -qE '^URIs:.*debian' "$f" || continue
        # Same stanzas, typed deb-src; skip stanzas of other archives.
        awk 'BEGIN { RS = ""; ORS = "\n\n" }
             /URIs:[^\n]*debian/ && /Types:[^\n]*deb/ {
                 sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f" |
            $SUDO tee "/etc/apt/sources.list.d/zintora-src-$(basename "$f")" >/dev/null
    done
    zintora_apt update -qq
}

# Version apt-get source would fetch, without fetching it.
source_version() {
    apt-get source --print-uris -qq "$1" | awk -v p="$1_" '
        index($2, p) == 1 && $2 ~ /\.dsc$/ { v = substr($2, length(p) + 1); sub(/\.dsc$/, "", v); print v; exit }'
}

# Unpacks (once) the Debian source package $1 at version $2 into $CACHE/src
# and prints its folder.
fetch_source() {
    local pkg="$1" version="$2"
    local dir="$CACHE/src/$pkg-$version"
    if [ ! -f "$dir/.zintora-unpacked" ]; then
        rm -rf "$dir" "$dir.tmp"
        mkdir -p "$dir.tmp"
        # Unpinned: a pin would need the epoch, which the file names drop.
        (cd "$dir.tmp" && apt-get source -qq "$pkg" >/dev/null)
        [ -f "$dir.tmp/${pkg}_$version.dsc" ] || { echo "$pkg: expected $version" >&2; return 1; }
        mv "$dir.tmp"/"$pkg"-*/ "$dir"
        rm -rf "$dir.tmp"
        touch "$dir/.zintora-unpacked"
    fi
    echo "$dir"
}

# A folder name for a build: the source version plus a hash of everything
# that shapes the result, so any change gets a fresh folder.
build_key() {
    local version="$1"
    shift
    local hash
    hash="$(printf '%s\n' "$@" "$($HOST-g++-posix --version | head -n1)" | sha256sum | cut -c1-12)"
    echo "$version-$hash"
}

# Qt's win32-g++ platform calls $CROSS_COMPILE-g++; point that name at the posix
# thread model, which std::thread needs and the whole package must share.
make_tool_shims() {
    local dir="$CACHE/shims" tool
    mkdir -p "$dir"
    for tool in gcc g++; do
        ln -sf "$(command -v $HOST-$tool-posix)" "$dir/$HOST-$tool"
    done
    export PATH="$dir:$PATH"
}

# build_cached NAME PACKAGE PREFIX-OPTION CONFIGURE-FLAGS...: builds Debian's
# source PACKAGE into $CACHE/NAME-<version>-<hash>, or reuses that folder when
# its completion stamp is there, and sets PREFIX to it and SOURCE_VERSION to
# the version. PREFIX-OPTION is how configure takes the folder: "-prefix" (a
# word of its own) or "--prefix=".
build_cached() {
    local name="$1" pkg="$2" prefix_option="$3" version src key build
    shift 3
    version="$(source_version "$pkg")"
    [ -n "$version" ] || { echo "no source package for $pkg" >&2; return 1; }
    SOURCE_VERSION="$version"
    key="$(build_key "$version" "$@")"
    PREFIX="$CACHE/$name-$key"
    if [ -f "$PREFIX/.zintora-complete" ]; then
        log "$name $version reused from $PREFIX"
        return 0
    fi
    src="$(fetch_source "$pkg" "$version")"
    log "building $name $version into $PREFIX"
    build="$CACHE/build/$name-$key"
    rm -rf "$build" "$PREFIX"
    mkdir -p "$build"
    local prefix_args=("$prefix_option" "$PREFIX")
    [[ $prefix_option == *= ]] && prefix_args=("$prefix_option$PREFIX")
    (
        cd "$build"
        nice -n 10 "$src/configure" "${prefix_args[@]}" "$@" >configure.log 2>&1 ||
            { tail -n 40 configure.log config.log >&2 2>/dev/null; exit 1; }
        nice -n 10 make -j"$JOBS" >make.log 2>&1 || { tail -n 60 make.log >&2; exit 1; }
        make install >install.log 2>&1 || { tail -n 40 install.log >&2; exit 1; }
    )
    rm -rf "$build"
    touch "$PREFIX/.zintora-complete"
    log "$name done"
}

build_zintora() {
    log "building Zintora into $OUT"
    # Only the Windows FFmpeg may answer pkg-config, never the host's.
    PKG_CONFIG_LIBDIR="$FFMPEG_PREFIX/lib/pkgconfig" PKG_CONFIG_PATH="" \
        cmake -S "$ROOT" -B "$OUT/build" \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
        -DZINTORA_WIN64_ROOTS="$QT_PREFIX;$FFMPEG_PREFIX" \
        -DCMAKE_BUILD_TYPE=Release -DZINTORA_BUILD_TESTS=OFF >"$OUT/cmake.log" 2>&1 ||
        { tail -n 40 "$OUT/cmake.log" >&2; return 1; }
    PKG_CONFIG_LIBDIR="$FFMPEG_PREFIX/lib/pkgconfig" PKG_CONFIG_PATH="" \
        nice -n 10 cmake --build "$OUT/build" -j"$JOBS" --target zintora
}

# The DLLs a PE file imports, by name.
imports() {
    $HOST-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p'
}

# "source-package version" of the Debian source that built installed package $1.
installed_source() {
    dpkg-query -W -f='${source:Package} ${source:Version}' "$1"
}

# "gcc-N version" of the GCC source inside gcc-mingw-w64, whose binary
# version is <GCC version>+<gcc-mingw-w64 version>[+bN].
gcc_source() {
    local binary source
    binary="$(dpkg-query -W -f='${Version}' gcc-mingw-w64-x86-64-posix-runtime)"
    source="$(dpkg-query -W -f='${source:Version}' gcc-mingw-w64-x86-64-posix-runtime)"
    binary="${binary%+"$source"*}"
    echo "gcc-${binary%%.*} $binary"
}

# Puts Zintora's licence, the licence texts of everything bundled and a
# notice naming each library, its licence and its exact source into the
# package folder $1: the LGPL of Qt and FFmpeg asks for all three.
write_notices() {
    local stage="$1" qt_src ffmpeg_src qt_version ffmpeg_version text
    # FFmpeg stays LGPL only while none of these is given.
    if printf '%s\n' "${FFMPEG_FLAGS[@]}" | grep -qxE -- '--enable-(gpl|version3|nonfree)'; then
        echo "FFmpeg is configured as GPL or non-free: the notice would be wrong" >&2
        return 1
    fi
    qt_src="$(fetch_source qtbase-opensource-src "$QT_SRC_VERSION")"
    ffmpeg_src="$(fetch_source ffmpeg "$FFMPEG_SRC_VERSION")"
    # The full versions, with the epoch that apt-get source NAME=VERSION needs.
    qt_version="$(dpkg-parsechangelog -l "$qt_src/debian/changelog" -S Version)"
    ffmpeg_version="$(dpkg-parsechangelog -l "$ffmpeg_src/debian/changelog" -S Version)"

    cp "$ROOT/LICENSE" "$stage/LICENSE.txt"
    mkdir -p "$stage/licenses"
    for text in GPL-2 GPL-3 LGPL-2.1 LGPL-3; do
        cp "/usr/share/common-licenses/$text" "$stage/licenses/$text.txt"
    done
    cp "$qt_src/debian/copyright" "$stage/licenses/qtbase.txt"
    cp "$ffmpeg_src/debian/copyright" "$stage/licenses/ffmpeg.txt"
    cp /usr/share/doc/gcc-mingw-w64-base/copyright "$stage/licenses/gcc-mingw-w64.txt"
    cp /usr/share/doc/mingw-w64-x86-64-dev/copyright "$stage/licenses/mingw-w64.txt"

    cat >"$stage/THIRD-PARTY-NOTICES.txt" <<EOF
Zintora $VERSION for Windows (64-bit)

Zintora is free software under the GNU General Public License, version 3
or later (LICENSE.txt). This folder also holds the libraries below, each
under its own licence. Each was built from the Debian 12 source package
named with it, at exactly that version: "apt-get source NAME=VERSION" on a
Debian system fetches it, and Debian's snapshot archive keeps every
version. The licence texts are in licenses/: one file per source package
(its Debian copyright file, which names every author and licence in it)
and the GNU licences those files refer to.

Qt 5 qtbase: Qt5Core.dll, Qt5Gui.dll, Qt5Widgets.dll, Qt5Network.dll,
platforms/ and styles/
  Licence: GNU LGPL version 3 (licenses/LGPL-3.txt). It includes zlib,
    libpng, PCRE2 and smaller third-party code under their own permissive
    licences, listed in licenses/qtbase.txt.
  Source: Debian source package qtbase-opensource-src $qt_version
  Configured with: ${QT_FLAGS[*]}

FFmpeg: avformat, avcodec, avdevice, avutil and swscale DLLs
  Licence: GNU LGPL version 2.1 or later (licenses/LGPL-2.1.txt,
    licenses/ffmpeg.txt). Configured without --enable-gpl,
    --enable-version3 and --enable-nonfree, so it holds no part under the
    GPL or a non-free licence.
  Source: Debian source package ffmpeg $ffmpeg_version
  Configured with: ${FFMPEG_FLAGS[*]}

GCC's run-time libraries: libstdc++-6.dll and libgcc_s_seh-1.dll
  Licence: GNU GPL version 3 with the GCC Runtime Library Exception 3.1
    (licenses/GPL-3.txt; the exception is in licenses/gcc-mingw-w64.txt),
    which lets programs under any licence use them.
  Source: Debian source package $(installed_source gcc-mingw-w64-x86-64-posix-runtime),
    built from the GCC of Debian's source package $(gcc_source)

MinGW-w64 run-time (linked into zintora.exe and every DLL here) and
winpthreads (libwinpthread-1.dll)
  Licence: Zope Public License 2.1 and other permissive licences; for
    winpthreads an MIT-style licence (all in licenses/mingw-w64.txt).
  Source: Debian source package $(installed_source mingw-w64-x86-64-dev)

On request to feedback@$UPDATE_HOST, the Zintora developers send the
complete source of any of these builds.
EOF
}

# Copies zintora.exe, the Qt plugins it loads at run time, and then every
# imported DLL found in our prefixes or the compiler's folders, following
# imports until nothing new turns up. System DLLs (kernel32 ...) are not
# found there and stay out.
make_package() {
    local exe stage name
    exe="$(find "$OUT/build" -name zintora.exe | head -n1)"
    [ -n "$exe" ] || { echo "zintora.exe not built" >&2; return 1; }
    name="zintora-$VERSION-win64"
    stage="$OUT/$name"
    rm -rf "$stage" "$OUT/$name.zip"
    mkdir -p "$stage/platforms" "$stage/styles"
    cp "$exe" "$stage/"
    $HOST-strip "$stage/zintora.exe"
    cp "$QT_PREFIX/plugins/platforms/qwindows.dll" "$stage/platforms/"
    cp "$QT_PREFIX"/plugins/styles/*.dll "$stage/styles/"

    local search=(
        "$QT_PREFIX/bin" "$FFMPEG_PREFIX/bin"
        "$(dirname "$($HOST-g++-posix -print-libgcc-file-name)")"
        "/usr/$HOST/lib"
    )
    local queue=("$stage/zintora.exe" "$stage/platforms/qwindows.dll" "$stage"/styles/*.dll)
    local file dll dir
    while [ ${#queue[@]} -gt 0 ]; do
        file="${queue[0]}"
        queue=("${queue[@]:1}")
        for dll in $(imports "$file"); do
            [ -e "$stage/$dll" ] && continue
            for dir in "${search[@]}"; do
                if [ -f "$dir/$dll" ]; then
                    cp "$dir/$dll" "$stage/"
                    queue+=("$stage/$dll")
                    break
                fi
            done
        done
    done
    write_notices "$stage"
    (cd "$OUT" && zip -qr "$name.zip" "$name")
    log "wrote $OUT/$name.zip ($(du -sh "$stage" | cut -f1) unpacked):"
    (cd "$stage" && find . -type f | sort | sed 's/^/   /')
}

main() {
    mkdir -p "$CACHE" "$OUT"
    zintora_install_packages "${TOOL_PACKAGES[@]}"
    ensure_deb_src
    make_tool_shims
    build_cached qtbase qtbase-opensource-src -prefix "${QT_FLAGS[@]}"
    QT_PREFIX="$PREFIX" QT_SRC_VERSION="$SOURCE_VERSION"
    build_cached ffmpeg ffmpeg --prefix= "${FFMPEG_FLAGS[@]}"
    FFMPEG_PREFIX="$PREFIX" FFMPEG_SRC_VERSION="$SOURCE_VERSION"
    build_zintora
    # As CMake read them from CMakeLists.txt.
    VERSION="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$OUT/build/CMakeCache.txt")"
    UPDATE_HOST="$(sed -n 's/^ZINTORA_UPDATE_HOST:STRING=//p' "$OUT/build/CMakeCache.txt")"
    make_package
}

main "$@"
