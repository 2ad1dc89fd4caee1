#!/usr/bin/env bash
# The main job seen from a user: capture the (simulated) remote display with vqxcap at a stated
# bitrate, then show what came out: the bitrate against the target, the PSNR of the decoded
# stream against what the display showed, and build/demo/rate.png, a plot of the bitrate per half
# second (against target and peak) and of the QP of every picture; then a short capture into
# build/demo/capture.mp4 and its first picture, decoded by ffmpeg, as build/demo/first-frame.png.
#
# The stand-in encode service codes real H.264 on emulated 32-bit code, a few pictures per second
# at 1280x720, so the demo captures a fixed number of pictures rather than a wall-clock time.
# Its screen is a known clip (ffmpeg's testsrc2 pattern, QZTRVX32_SOURCE), so the decoded
# pictures can be compared with their source, paired by picture index.
#
# Usage: scripts/demo.sh [BUILD_DIR]   Needs ffmpeg, ffprobe and gnuplot (scripts/setup.sh).
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
demo=$build/demo
mkdir -p "$demo"

width=1280 height=720 fps=30
frames=150                 # 5 seconds of stream
target=4000000             # "Bitrate", bit/s (rate control: the default, CBR)
peak=5000000               # "Peak Bitrate", bit/s
# 1280x720 at exactly 30 Hz: 36 MHz pixel clock over 1600 x 750 totals (custom form of the mode).
export GRXAPIXX_MODE="$width,$height,1600,750,3600"

out=$demo/capture.h264
clip=$demo/testsrc2_${width}x${height}_${frames}.y4m
plot=$demo/rate.png
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }
for tool in ffmpeg ffprobe gnuplot; do
    command -v $tool >/dev/null 2>&1 || { echo "demo: $tool is missing; run scripts/setup.sh" >&2; exit 1; }
done

if [ ! -s "$clip" ]; then
    echo "demo: making the display's content: $frames pictures of ffmpeg's testsrc2 at ${width}x${height}"
    ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=${width}x${height}:rate=$fps" -frames:v $frames \
        -pix_fmt yuv420p -f yuv4mpegpipe "$clip.part"
    mv "$clip.part" "$clip"
fi
export QZTRVX32_SOURCE
QZTRVX32_SOURCE=$(winpath "$clip")

echo "demo: capturing $frames pictures of the remote display (stand-in drivers, ${width}x${height} at $fps fps)"
echo "demo: at \"Bitrate\" $((target / 1000)) kbit/s, \"Peak Bitrate\" $((peak / 1000)) kbit/s into $out"
began=$(date +%s)
"$build/wine-run.sh" "$build/bin/vqxcap.exe" -o "$(winpath "$out")" --frames $frames \
    --bitrate $target --peak-bitrate $peak --no-progress
echo "demo: the capture took $(($(date +%s) - began)) s; wrote $(stat -c %s "$out") bytes"

echo "demo: ffprobe says:"
ffprobe -v error -select_streams v:0 -count_frames \
    -show_entries stream=codec_name,profile,level,width,height,r_frame_rate,nb_read_frames \
    -of default=noprint_wrappers=1 "$out"

if ffmpeg -nostdin -v error -i "$out" -f null - 2>"$demo/decode-errors.txt" && [ ! -s "$demo/decode-errors.txt" ]; then
    echo "demo: ffmpeg decodes the file without errors"
else
    echo "demo: ffmpeg reported decoding errors:"; cat "$demo/decode-errors.txt"; exit 1
fi

# The PSNR of every picture against its source frame, paired by index (setpts), never by time:
# picture n showed clip frame n mod count, and the stream loops over the clip the same way.
ffmpeg -nostdin -hide_banner -i "$out" -stream_loop -1 -i "$clip" -lavfi \
    "[0:v]setpts=N/($fps*TB)[a];[1:v]setpts=N/($fps*TB)[b];[a][b]psnr=shortest=1:stats_file=$demo/psnr.log" \
    -f null - 2>"$demo/psnr.txt"

# Bytes of each picture (packets of the raw stream), then the bitrate per half second.
ffprobe -v error -select_streams v:0 -show_entries packet=size -of csv=p=0 "$out" >"$demo/sizes.txt"
awk -v fps=$fps '{ bin = int((NR - 1) / (fps / 2)); bits[bin] += 8 * $1; count[bin]++ }
    END { for (b = 0; b in bits; b++) if (count[b] == fps / 2) printf "%.2f %.1f\n", b / 2 + 0.25, bits[b] * 2 / 1000 }' \
    "$demo/sizes.txt" >"$demo/rate.dat"

# QP of every picture: the average of its macroblocks' QPs (ffmpeg -debug qp, two digits per
# macroblock). The decoder that probes the stream first dumps a few pictures of its own under
# another context address: only the context that reports the last picture counts.
ffmpeg -nostdin -hide_banner -loglevel debug -debug qp -threads 1 -i "$out" -f null - 2>&1 |
    awk -v fps=$fps '
        !match($0, /^\[h264 @ 0x[0-9a-f]+\] /) { next }
        { ctx = substr($0, 9, RLENGTH - 10); text = substr($0, RLENGTH + 1) }
        text ~ /^New frame, type: / { p = ++n[ctx]; type[ctx, p] = substr(text, 18, 1); last = ctx; next }
        text ~ /^[0-9]+$/ && n[ctx] {
            p = n[ctx]
            for (i = 1; i < length(text); i += 2) { sum[ctx, p] += substr(text, i, 2); mbs[ctx, p]++ }
        }
        END {
            for (p = 1; p <= n[last]; p++)
                printf "%d %.3f %.2f %s\n", p - 1, (p - 1) / fps, sum[last, p] / mbs[last, p], type[last, p]
        }' >"$demo/qp.dat"

bytes=$(awk '{ s += $1 } END { print s }' "$demo/sizes.txt")
pictures=$(wc -l <"$demo/sizes.txt")
rate=$(awk -v b="$bytes" -v n="$pictures" -v fps=$fps 'BEGIN { printf "%.0f", b * 8 * fps / n / 1000 }')
echo "demo: bitrate $rate kbit/s over $pictures pictures against the target $((target / 1000)) kbit/s" \
     "($(awk -v r="$rate" -v t=$target 'BEGIN { printf "%+.1f %%", (r * 1000 / t - 1) * 100 }'))"
awk '{ if (NR == 1 || $2 < lo) lo = $2; if ($2 > hi) hi = $2 }
     END { printf "demo: per half second from %.0f to %.0f kbit/s\n", lo, hi }' "$demo/rate.dat"
awk '{ s += $3; if (NR == 1 || $3 < lo) lo = $3; if ($3 > hi) hi = $3 }
     END { printf "demo: QP per picture from %.1f to %.1f, average %.1f\n", lo, hi, s / NR }' "$demo/qp.dat"
psnr=$(sed -n 's/.*PSNR y:\([0-9.inf]*\) .*/\1/p' "$demo/psnr.txt" | tail -n 1)
echo "demo: PSNR (Y) of the decoded stream against the source: $(printf '%.2f' "$psnr") dB" \
     "(average over $pictures pictures)"

gnuplot <<EOF
set terminal pngcairo size 1000,720 font ",10"
set output "$plot"
set multiplot layout 2,1 title "vqxcap demo: ${width}x${height} at $fps fps, testsrc2 content, $pictures pictures, CBR"
set xrange [0:$pictures.0 / $fps]
set grid
set lmargin 10
set rmargin 4
set key inside right top opaque
set ylabel "kbit/s"
set yrange [0:$peak * 1.3 / 1000]
set title "Bitrate per half second"
set style fill solid 0.4 border -1
set boxwidth 0.5
plot "$demo/rate.dat" using 1:2 with boxes title "stream", \
     $target / 1000.0 with lines dt 2 lw 2 title "target", \
     $peak / 1000.0 with lines dt 3 lw 2 title "peak"
set title "QP per picture (average over its macroblocks)"
set ylabel "QP"
set xlabel "stream time (s)"
set yrange [0:51]
plot "$demo/qp.dat" using 2:(strcol(4) eq "I" ? 1/0 : \$3) with linespoints pt 7 ps 0.5 title "P picture", \
     "$demo/qp.dat" using 2:(strcol(4) eq "I" ? \$3 : 1/0) with points pt 5 ps 1.2 title "I picture"
unset multiplot
EOF

# The same display into a fragmented MP4 with the outputs' own timestamps (a second, shorter
# capture: 30 pictures, one fragment), and its first picture decoded by ffmpeg into a PNG.
mp4=$demo/capture.mp4
png=$demo/first-frame.png
echo "demo: capturing 30 pictures (1 s of stream) into $mp4"
"$build/wine-run.sh" "$build/bin/vqxcap.exe" -o "$(winpath "$mp4")" --frames 30 \
    --bitrate $target --peak-bitrate $peak --no-progress
echo "demo: ffprobe says about the MP4:"
ffprobe -v error -select_streams v:0 -count_packets \
    -show_entries format=format_name:stream=codec_name,width,height,r_frame_rate,time_base,nb_read_packets \
    -of default=noprint_wrappers=1 "$mp4"
ffmpeg -nostdin -v error -y -i "$mp4" -frames:v 1 -update 1 "$png"
echo "demo: first picture of the MP4 decoded by ffmpeg into $png"

echo "demo: wrote"
for file in "$out" "$mp4" "$png" "$plot" "$demo/rate.dat" "$demo/qp.dat" "$demo/psnr.log" "$clip"; do
    echo "  $file"
done
