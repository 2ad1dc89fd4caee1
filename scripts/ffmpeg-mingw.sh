#!/usr/bin/env bash
# Builds FFmpeg's libavformat, libavcodec and libavutil as 32-bit Windows DLLs for vqxcap, from
# Debian's source package of the ffmpeg version installed on this machine, with the smallest
# configuration vqxcap needs (mp4, matroska, mpegts and rtp muxers; file, pipe, udp and rtp
# protocols; the h264 parser and the bitstream filters those muxers ask for).
#
# The result is cached outside any build folder, under
#     ${VQX_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/vqx}/ffmpeg-<version>-<key>/
# where <key> is a hash of the configure options, the cross compiler and this script's build
# recipe, so a second build and a fresh clone on the same machine reuse it. The source package
# (.dsc and tarballs, the corresponding source of the LGPL libraries) is kept in
#     <cache>/ffmpeg-source/<version>/
#
# Usage: scripts/ffmpeg-mingw.sh build     builds when the cache lacks it; prints the folder
#        scripts/ffmpeg-mingw.sh prefix    prints the folder the build is (or would be) in
set -u
set -o pipefail

cache=${VQX_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/vqx}
cross=i686-w64-mingw32-
cc=${cross}gcc-posix
recipe=1  # raise when the steps below change in a way the options do not show

# Everything off, then exactly what vqxcap uses. The muxers pull in what they depend on
# (mp4 the mov muxer, mpegts the adts/latm muxers and the mp4toannexb filters).
configure_options=(
    --enable-cross-compile --cross-prefix=$cross --cc=$cc --cxx=${cross}g++-posix
    --target-os=mingw32 --arch=x86
    --enable-shared --disable-static
    --disable-programs --disable-doc --disable-debug
    --disable-everything --disable-autodetect --disable-x86asm
    --disable-avdevice --disable-avfilter --disable-swscale --disable-swresample --disable-postproc
    --enable-w32threads --enable-network
    --enable-muxer=mp4,matroska,mpegts,rtp
    --enable-protocol=file,pipe,udp,rtp
    --enable-parser=h264
    --enable-bsf=h264_mp4toannexb
    # No MinGW run-time DLLs: libgcc, and the winpthread clock functions libavutil calls, go into the DLLs.
    --extra-ldflags=-static-libgcc --extra-libs=-l:libwinpthread.a
)

log() { printf 'ffmpeg: %s\n' "$*" >&2; }
die() { printf 'ffmpeg: FAILED: %s\n' "$*" >&2; exit 1; }

installed_version() {
    dpkg-query -W -f='${Version}' ffmpeg 2>/dev/null
}

# Folder name for a version: the epoch's colon does not belong in a path.
version_dir() { printf '%s' "${1#*:}"; }

cache_key() {
    { printf '%s\n' "${configure_options[@]}"; "$cc" --version | head -n 1; echo "recipe $recipe"; } |
        sha256sum | cut -c1-12
}

prefix_for() { printf '%s/ffmpeg-%s-%s' "$cache" "$(version_dir "$1")" "$(cache_key)"; }

# The mirror the system's own apt sources use (deb822 files first, then the one-line list).
mirror_uris() {
    local uris
    uris=$(sed -n 's/^URIs:[[:space:]]*//p' /etc/apt/sources.list.d/*.sources 2>/dev/null)
    [ -n "$uris" ] || uris=$(awk '/^deb / {print $2}' /etc/apt/sources.list 2>/dev/null)
    printf '%s\n' $uris | sort -u
}

# Downloads and unpacks Debian's source package of exactly that version into $2.
fetch_source() {
    local version=$1 dest=$2 tmp uri
    local store
    store="$cache/ffmpeg-source/$(version_dir "$version")"
    if ! ls "$store"/ffmpeg_*.dsc >/dev/null 2>&1; then
        log "downloading the Debian source package ffmpeg $version"
        tmp=$(mktemp -d)
        while read -r uri; do
            [ -n "$uri" ] || continue
            case $uri in
                *security*) echo "deb-src $uri bookworm-security main" ;;
                *) echo "deb-src $uri bookworm main"; echo "deb-src $uri bookworm-updates main" ;;
            esac
        done < <(mirror_uris) >"$tmp/sources.list"
        [ -s "$tmp/sources.list" ] || die "no Debian mirror found in /etc/apt/sources.list.d/*.sources"
        mkdir -p "$tmp/lists/partial" "$tmp/cache/archives/partial" "$tmp/get"
        # A private list, index and cache: the system's apt state is not touched.
        local aopts=(-o Dir::Etc::sourcelist="$tmp/sources.list" -o Dir::Etc::sourceparts=/dev/null
                     -o Dir::State::Lists="$tmp/lists" -o Dir::Cache="$tmp/cache" -o APT::Sandbox::User="$(id -un)")
        # One index of these mirrors may fail to download (exit 100); the source may still resolve.
        apt-get "${aopts[@]}" update >"$tmp/apt.log" 2>&1 || true
        (cd "$tmp/get" && apt-get "${aopts[@]}" source --download-only "ffmpeg=$version") >>"$tmp/apt.log" 2>&1 ||
            { tail -n 5 "$tmp/apt.log" >&2; rm -rf "$tmp"; die "apt-get source ffmpeg=$version"; }
        mkdir -p "$store"
        mv "$tmp"/get/* "$store"/
        rm -rf "$tmp"
    fi
    rm -rf "$dest"
    dpkg-source --no-check -x "$store"/ffmpeg_*.dsc "$dest" >/dev/null || die "dpkg-source -x"
}

build() {
    local version=$1 prefix=$2 work
    command -v "$cc" >/dev/null || die "$cc is missing (scripts/setup.sh installs it)"
    command -v dpkg-source >/dev/null || die "dpkg-source is missing (package dpkg-dev)"
    work="$prefix.work"
    rm -rf "$work" "$prefix"
    mkdir -p "$work"
    fetch_source "$version" "$work/src"
    log "configuring FFmpeg $version for i686 MinGW (key $(cache_key))"
    (cd "$work/src" && ./configure --prefix="$prefix" "${configure_options[@]}") >"$work/configure.log" 2>&1 ||
        { tail -n 20 "$work/configure.log" >&2; die "configure (log: $work/configure.log)"; }
    log "compiling (a few minutes)"
    (cd "$work/src" && make -j"$(nproc)" && make install) >"$work/make.log" 2>&1 ||
        { tail -n 20 "$work/make.log" >&2; die "make (log: $work/make.log)"; }
    cp "$work/src/COPYING.LGPLv2.1" "$prefix/COPYING.LGPLv2.1"
    printf '%s\n' "ffmpeg $version" "configure ${configure_options[*]}" >"$prefix/BUILD-INFO"
    rm -rf "$work"
    touch "$prefix/.complete"
}

main() {
    local version prefix
    version=$(installed_version)
    [ -n "$version" ] || die "the native ffmpeg package is not installed (scripts/setup.sh installs it)"
    prefix=$(prefix_for "$version")
    case ${1:-} in
        prefix) echo "$prefix"; return 0 ;;
        build) ;;
        *) echo "usage: $0 build|prefix" >&2; exit 2 ;;
    esac
    mkdir -p "$cache"
    # Two builds started at once (two make runs) wait for each other instead of colliding.
    exec 9>"$cache/ffmpeg.lock"
    flock 9
    if [ ! -f "$prefix/.complete" ]; then
        local start=$SECONDS
        build "$version" "$prefix"
        log "built in $((SECONDS - start)) s: $prefix"
    fi
    echo "$prefix"
}

main "$@"
