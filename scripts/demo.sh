#!/usr/bin/env bash
# The main job seen from a user: capture a few seconds of the (simulated) remote display with
# vqxcap, write build/demo/capture.h264, and describe the file with ffprobe when it is installed.
# Usage: scripts/demo.sh [BUILD_DIR]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
demo=$build/demo
mkdir -p "$demo"
out=$demo/capture.h264
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }

echo "demo: capturing 3 seconds of the remote display (stand-in drivers) into $out"
"$build/wine-run.sh" "$build/bin/vqxcap.exe" -o "$(winpath "$out")" --seconds 3 --no-progress
echo "demo: wrote $(stat -c %s "$out") bytes"

if command -v ffprobe >/dev/null 2>&1; then
    echo "demo: ffprobe says:"
    ffprobe -v error -select_streams v:0 -count_frames \
        -show_entries stream=codec_name,profile,level,width,height,r_frame_rate,nb_read_frames \
        -of default=noprint_wrappers=1 "$out"
    if ffmpeg -v error -i "$out" -f null - 2>"$demo/decode-errors.txt" && [ ! -s "$demo/decode-errors.txt" ]; then
        echo "demo: ffmpeg decodes the file without errors"
    else
        echo "demo: ffmpeg reported decoding errors:"; cat "$demo/decode-errors.txt"; exit 1
    fi
else
    echo "demo: (install ffmpeg to see what ffprobe says about the file)"
fi
