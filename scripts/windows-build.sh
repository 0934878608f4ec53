#!/usr/bin/env bash
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
CACHE="${ZINTORA_WIN64_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zintora-win64}"
OUT="${ZINTORA_WIN64_OUT:-$ROOT/build-win64}"
JOBS="${ZINTORA_WIN64_JOBS:-2}"
HOST=x86_64-w64-mingw32

TOOL_PACKAGES=(
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
    binutils-mingw-w64-x86-64 nasm dpkg-dev pkg-config cmake make perl python3
    wine64 wine zip
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
APT=($SUDO env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900)

log() { echo "== $(date +%H:%M:%S) $*"; }

install_tools() {
    local missing=() pkg
    for pkg in "${TOOL_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    log "installing ${missing[*]}"
    "${APT[@]}" update -qq
    "${APT[@]}" install -y -qq --no-install-recommends "${missing[@]}" >"$CACHE/apt.log" 2>&1 ||
        { tail -n 30 "$CACHE/apt.log" >&2; return 1; }
}

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
    "${APT[@]}" update -qq
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
# its completion stamp is there, and sets PREFIX to it. PREFIX-OPTION is how
# configure takes the folder: "-prefix" (a word of its own) or "--prefix=".
build_cached() {
    local name="$1" pkg="$2" prefix_option="$3" version src key build
    shift 3
    version="$(source_version "$pkg")"
    [ -n "$version" ] || { echo "no source package for $pkg" >&2; return 1; }
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

# Copies zintora.exe, the Qt plugins it loads at run time, and then every
# imported DLL found in our prefixes or the compiler's folders, following
# imports until nothing new turns up. System DLLs (kernel32 ...) are not
# found there and stay out.
make_package() {
    local version exe stage name
    version="$(sed -n 's/^project(Zintora VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")"
    exe="$(find "$OUT/build" -name zintora.exe | head -n1)"
    [ -n "$exe" ] || { echo "zintora.exe not built" >&2; return 1; }
    name="zintora-$version-win64"
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
    (cd "$OUT" && zip -qr "$name.zip" "$name")
    log "wrote $OUT/$name.zip ($(du -sh "$stage" | cut -f1) unpacked):"
    (cd "$stage" && find . -type f | sort | sed 's/^/   /')
}

main() {
    mkdir -p "$CACHE" "$OUT"
    install_tools
    ensure_deb_src
    make_tool_shims
    build_cached qtbase qtbase-opensource-src -prefix "${QT_FLAGS[@]}"
    QT_PREFIX="$PREFIX"
    build_cached ffmpeg ffmpeg --prefix= "${FFMPEG_FLAGS[@]}"
    FFMPEG_PREFIX="$PREFIX"
    build_zintora
    make_package
}

main "$@"
