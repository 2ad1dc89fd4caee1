#!/usr/bin/env bash
# Figures of the stand-in's H.264 encoder under emulation (32-bit Wine through qemu), printed, never
# judged (a slow machine fails nothing):
#   1. encode speed: milliseconds per IDR and per P picture and sustained pictures per second at
#      1920x1080 and 1280x720, on the synthetic screen and on a testsrc2 clip (stream_bench encode:
#      the pipeline the service's worker runs, without its pacing);
#   2. delivery delay (median, p99) through vqx's QueryOutput (encoder_bench) at the largest
#      30 fps display the encoder keeps up with;
#   3. compression: PSNR (Y, pictures paired by index) of our stream at 2, 4 and 8 Mbit/s CBR,
#      1280x720 at 30 fps, synthetic screen and testsrc2 clip, next to libx264 (the machine's ffmpeg)
#      at the same bitrate and VBV size (1.25 x bitrate / 30).
#
# Usage: bench/stream_bench.sh BUILD_DIR
#   BENCH_SECONDS  seconds of stream per compression run (default 10; the six runs of our encoder
#                  take about three minutes under emulation on two cores)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
work=$build/bench/stream
mkdir -p "$work"
cd "$work"
seconds=${BENCH_SECONDS:-10}
fps=30
jobs=$(nproc)

winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }
wine_run() { "$build/wine-run.sh" "$@"; }
stream_bench() { wine_run "$build/bin/stream_bench.exe" "$@"; }
for tool in ffmpeg ffprobe; do
    command -v $tool >/dev/null 2>&1 || { echo "stream_bench: $tool is missing; run scripts/setup.sh" >&2; exit 1; }
done

# A testsrc2 clip of that size and length, made once: testsrc2_WxH_N.y4m.
clip() {
    local file=$work/testsrc2_${1}x${2}_$3.y4m
    if [ ! -s "$file" ]; then
        ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=${1}x${2}:rate=$fps" -frames:v "$3" \
            -pix_fmt yuv420p -f yuv4mpegpipe "$file.part"
        mv "$file.part" "$file"
    fi
    printf '%s' "$file"
}

# Average Y PSNR of a stream against the clip it shows, pictures paired by index (not by time).
psnr_y() {
    ffmpeg -nostdin -hide_banner -i "$1" -stream_loop -1 -i "$2" -lavfi \
        "[0:v]setpts=N/($fps*TB)[a];[1:v]setpts=N/($fps*TB)[b];[a][b]psnr=shortest=1" -f null - 2>&1 |
        sed -n 's/.*PSNR y:\([0-9.inf]*\) .*/\1/p' | tail -n 1
}

kbps() { echo $(( $(stat -c %s "$1") * 8 * fps / $2 / 1000 )); }

# --- 1. speed -------------------------------------------------------------------------------------
speed_pictures=20
echo "== Encode speed under emulation: $speed_pictures pictures per run, IDR every 10, CBR (8 Mbit/s at 1080p," \
     "4 Mbit/s at 720p), intra refresh off, one run at a time"
for size in 1920x1080:8000000 1280x720:4000000; do
    dims=${size%%:*} bitrate=${size#*:}
    width=${dims%x*} height=${dims#*x}
    source_clip=$(clip "$width" "$height" $speed_pictures)
    for content in synthetic testsrc2; do
        source=synthetic
        [ $content = testsrc2 ] && source=$(winpath "$source_clip")
        printf '%-9s %-9s ' "${width}x$height" $content
        stream_bench encode width="$width" height="$height" fps=$fps source="$source" frames=$speed_pictures \
            idr=10 bitrate="$bitrate" | tr -d '\r'
    done
done

# --- 2. delivery delay at the largest display that keeps up ---------------------------------------
echo
echo "== Delivery delay through QueryOutput at the largest $fps fps display the encoder keeps up with"
echo "   (probe: 30 pictures of the synthetic screen; keeping up means at least 1.25 x $fps pictures/s)"
chosen=""
for size in 640x360 480x270 320x240 256x144 176x144 128x96; do
    width=${size%x*} height=${size#*x}
    line=$(stream_bench encode width="$width" height="$height" fps=$fps frames=30 bitrate=1000000 | tr -d '\r')
    sustained=$(printf '%s' "$line" | sed -n 's/.*sustained \([0-9.]*\) pictures.*/\1/p')
    printf '%-9s %s pictures/s\n' "$size" "$sustained"
    chosen=$size
    awk -v s="$sustained" -v f=$fps 'BEGIN { exit !(s >= 1.25 * f) }' && break
done
width=${chosen%x*} height=${chosen#*x}
# Display timing for exactly 30 fps: 2000 x (height + 20) totals, pixel clock 6 x (height + 20) x 10 kHz.
mode="$width,$height,2000,$((height + 20)),$((6 * (height + 20)))"
wine_run "$build/bin/encoder_bench.exe" "$mode" 150 | tr -d '\r'

# --- 3. compression against libx264 ---------------------------------------------------------------
frames=$((seconds * fps))
echo
echo "== Compression: ${seconds} s (${frames} pictures) at 1280x720, $fps fps, CBR; ours: \"Min QP\" 0, \"Max QP\" 51,"
echo "   intra refresh 0, \"IDR Period\" 250; libx264 -preset ultrafast -tune zerolatency -profile:v baseline"
echo "   nal-hrd=cbr; both with VBV = 1.25 x bitrate / $fps. PSNR (Y) against the source, paired by index."
[ "$seconds" = 10 ] || echo "   ($seconds s instead of 10 s: BENCH_SECONDS=$seconds)"
synthetic_clip=$work/synthetic_1280x720_$frames.y4m  # what a decoder must show (made anew: it is quick)
stream_bench render width=1280 height=720 frames=$frames out="$(winpath "$synthetic_clip")"
testsrc2_clip=$(clip 1280 720 $frames)

# Our encodes run side by side (one per core); libx264 runs natively and quickly.
pids=()
for content in synthetic testsrc2; do
    for bitrate in 2000000 4000000 8000000; do
        source=synthetic
        [ $content = testsrc2 ] && source=$(winpath "$testsrc2_clip")
        name=${content}_$((bitrate / 1000000))M
        stream_bench encode width=1280 height=720 fps=$fps source="$source" frames=$frames profile=66 level=31 \
            idr=250 rc=4 bitrate=$bitrate peak=$bitrate vbv=$((bitrate * 125 / 100 / fps)) minqp=0 maxqp=51 \
            refresh=0 out="$(winpath "$work/ours_$name.h264")" >"$work/ours_$name.txt" 2>&1 &
        pids+=($!)
        while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do sleep 1; done
    done
done
for pid in "${pids[@]}"; do wait "$pid" || echo "stream_bench: one of our encodes failed" >&2; done

printf '%-9s %7s | %11s %9s | %11s %9s | %s\n' content target "ours kbit/s" "PSNR Y" "x264 kbit/s" "PSNR Y" \
    "ours - x264"
for content in synthetic testsrc2; do
    src=$synthetic_clip
    [ $content = testsrc2 ] && src=$testsrc2_clip
    for bitrate in 2000000 4000000 8000000; do
        name=${content}_$((bitrate / 1000000))M
        ffmpeg -nostdin -v error -y -i "$src" -c:v libx264 -preset ultrafast -tune zerolatency -profile:v baseline \
            -b:v $bitrate -maxrate $bitrate -bufsize $((bitrate * 125 / 100 / fps)) -x264-params nal-hrd=cbr \
            -f h264 "$work/x264_$name.h264"
        ours=$(psnr_y "$work/ours_$name.h264" "$src")
        x264=$(psnr_y "$work/x264_$name.h264" "$src")
        printf '%-9s %7s | %11s %9.2f | %11s %9.2f | %+.2f dB\n' $content $((bitrate / 1000)) \
            "$(kbps "$work/ours_$name.h264" $frames)" "$ours" "$(kbps "$work/x264_$name.h264" $frames)" "$x264" \
            "$(awk -v a="$ours" -v b="$x264" 'BEGIN { print a - b }')"
    done
done
echo "streams and sources: $work"
