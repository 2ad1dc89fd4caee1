#!/usr/bin/env bash
# Installs and configures what building and testing vqx needs on a Debian 12 machine:
# the MinGW-w64 i686 cross compilers, 32-bit Wine, a static user-mode emulator for i386 ELF
# files with its binfmt_misc registration, ffmpeg for stream checks, gnuplot for the demo's plot,
# and a Wine prefix of the project's own. Idempotent: when everything is present it only checks
# and returns.
#
# Usage: scripts/setup.sh [WINEPREFIX]   (default: build/wineprefix under the source tree)
set -u

here=$(cd "$(dirname "$0")/.." && pwd)
prefix=${1:-$here/build/wineprefix}
qemu_target=/usr/local/bin/qemu-i386-static10
log=$(mktemp /tmp/vqx-setup.XXXXXX.log)

step() { printf 'setup: %s\n' "$*"; }
fail() {
    printf 'setup: FAILED at step "%s".\n' "$1" >&2
    printf 'setup: %s\n' "$2" >&2
    printf 'setup: the last lines of the log (%s):\n' "$log" >&2
    tail -n 15 "$log" >&2
    exit 1
}
as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

apt_updated=0
apt_update() {
    [ $apt_updated = 1 ] && return 0
    # One i386 index of the security suite may fail to download on these mirrors (exit 100);
    # the packages we need still resolve, so that failure is tolerated.
    as_root apt-get update >>"$log" 2>&1 || true
    apt_updated=1
}

have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'ok installed'; }

# 1. i386 architecture and the cross compilers, Wine, ffmpeg, gnuplot (no X11: it writes PNG files) and
#    clang-format 14 (make test checks the house style).
need=()
for p in g++-mingw-w64-i686 wine wine32:i386 wine64 ffmpeg gnuplot-nox cmake ninja-build googletest dpkg-dev xz-utils clang-format-14; do have_pkg "$p" || need+=("$p"); done
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    step "adding the i386 architecture"
    as_root dpkg --add-architecture i386 >>"$log" 2>&1 || fail "dpkg --add-architecture i386" "run it by hand as root and retry"
    apt_updated=0
fi
if [ ${#need[@]} -gt 0 ]; then
    step "installing ${need[*]} (takes a minute or two)"
    apt_update
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends -t bookworm "${need[@]}" >>"$log" 2>&1 \
        || fail "apt-get install ${need[*]}" "check that the Debian mirror is reachable and 'apt-get update' works"
fi
command -v i686-w64-mingw32-g++-posix >/dev/null || fail "cross compiler" "i686-w64-mingw32-g++-posix is missing after install"

# 2. A static qemu-i386 from the next Debian release (Wine starts in ~0.3 s under it instead of ~50 s).
qemu=$qemu_target
if [ ! -x "$qemu" ]; then
    step "fetching a static qemu-i386 from the trixie suite"
    tmp=$(mktemp -d)
    uri=$(sed -n 's/^URIs:[[:space:]]*//p' /etc/apt/sources.list.d/*.sources 2>/dev/null | grep -v security | head -n 1)
    [ -n "$uri" ] || uri=$(awk '/^deb / && !/security/ {print $2; exit}' /etc/apt/sources.list 2>/dev/null)
    ok=0
    if [ -n "$uri" ]; then
        echo "deb $uri trixie main" >"$tmp/trixie.list"
        mkdir -p "$tmp/lists/partial" "$tmp/archives/partial"
        aopts=(-o Dir::Etc::sourcelist="$tmp/trixie.list" -o Dir::Etc::sourceparts=/dev/null
               -o Dir::State::Lists="$tmp/lists" -o APT::Architectures::=amd64)
        if as_root apt-get "${aopts[@]}" update >>"$log" 2>&1 &&
           (cd "$tmp" && as_root apt-get "${aopts[@]}" download qemu-user >>"$log" 2>&1); then
            deb=$(ls "$tmp"/qemu-user_*.deb 2>/dev/null | head -n 1)
            if [ -n "$deb" ] && dpkg-deb -x "$deb" "$tmp/x" >>"$log" 2>&1 && [ -x "$tmp/x/usr/bin/qemu-i386" ]; then
                as_root install -m 755 "$tmp/x/usr/bin/qemu-i386" "$qemu" && ok=1
            fi
        fi
    fi
    rm -rf "$tmp"
    if [ $ok = 0 ]; then
        printf '\nsetup: WARNING: the newer qemu could not be fetched; falling back to Debian 12 qemu-user-static.\n' >&2
        printf 'setup: WARNING: every Wine process will take ~50 s to start; tests will be very slow.\n\n' >&2
        have_pkg qemu-user-static || { apt_update; as_root apt-get install -y --no-install-recommends qemu-user-static >>"$log" 2>&1; } \
            || fail "qemu-user-static" "neither qemu could be installed"
        qemu=/usr/bin/qemu-i386-static
    fi
fi

# 3. binfmt_misc: hand i386 ELF executables and shared objects to the static qemu.
bm=/proc/sys/fs/binfmt_misc
if [ ! -e $bm/register ]; then
    as_root mount -t binfmt_misc binfmt_misc $bm >>"$log" 2>&1 || fail "mount binfmt_misc" "the kernel must allow binfmt_misc (run as root)"
fi
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
register() {  # name, e_type byte
    local name=$1 magic="\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x$2\\x00\\x03\\x00"
    if [ -e "$bm/$name" ]; then
        grep -q "interpreter $qemu" "$bm/$name" && grep -q '^flags: .*F' "$bm/$name" && return 0
        echo -1 | as_root tee "$bm/$name" >/dev/null
    fi
    step "registering $name with binfmt_misc"
    echo ":$name:M::$magic:$mask:$qemu:F" | as_root tee $bm/register >/dev/null 2>>"$log" \
        || fail "binfmt_misc register $name" "could not register the i386 ELF handler"
}
register vqx-i386-exec 02
register vqx-i386-dyn 03
/lib/ld-linux.so.2 --version >/dev/null 2>&1 || fail "32-bit ELF check" "/lib/ld-linux.so.2 does not run; the binfmt_misc registration did not take"

# 4. The project's own Wine prefix.
export WINEDEBUG=-all WINEPREFIX="$prefix"
if [ ! -f "$prefix/system.reg" ]; then
    step "creating the Wine prefix $prefix (about 20 s)"
    mkdir -p "$prefix"
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >>"$log" 2>&1 || fail "wineboot" "remove $prefix and retry; 'wineserver -k' ends a stuck session"
    wineserver -w >>"$log" 2>&1 || true
fi
# 5. FFmpeg's libavformat/libavcodec/libavutil as i686 DLLs for vqxcap, from Debian's source package
#    of the installed ffmpeg version; built once per machine (about 2-3 minutes) into a cache
#    folder outside the build tree (~/.cache/vqx, or $VQX_CACHE_DIR), then reused.
ffmpeg_prefix=$("$here/scripts/ffmpeg-mingw.sh" prefix 2>>"$log") || fail "FFmpeg prefix" "is the ffmpeg package installed?"
if [ ! -f "$ffmpeg_prefix/.complete" ]; then
    step "building FFmpeg's libraries for vqxcap into $ffmpeg_prefix (takes a few minutes, once)"
fi
"$here/scripts/ffmpeg-mingw.sh" build >>"$log" 2>&1 || fail "FFmpeg build" "see the log; scripts/ffmpeg-mingw.sh build shows the steps"
rm -f "$log"
step "ready"
