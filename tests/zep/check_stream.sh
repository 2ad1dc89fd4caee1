#!/bin/sh
# End-to-end check of the stand-in's stream: runs zep_stream_writer under Wine in a fresh work
# folder, then checks the stream with the machine's ffprobe/ffmpeg: no decoder message at all,
# every decoded frame equal to the stand-in's own reconstruction of that picture (CRC-32 of each
# planar I420 frame on both sides), profile, level, size, cropping, frame rate, delimiters, slices
# and deblocking as configured; then check_rate.py checks rate control, QPs, intra refresh,
# skipped pictures and vectors against the same configuration.
# Usage: check_stream.sh RUNNER WRITER WORKDIR key=value...
# Exit 77 (reported by CTest as skipped) when ffprobe or ffmpeg is not installed.
runner=$1
writer=$2
work=$3
shift 3

rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
# source=FILE.y4m makes the stand-in capture that file (QZTRVX32_SOURCE, a Windows path);
# content=changing tells check_rate.py that the picture changes all the time.
writer_args=""
for arg in "$@"; do
    case "$arg" in
        source=*) QZTRVX32_SOURCE="Z:$(printf '%s' "${arg#source=}" | tr / '\\')"; export QZTRVX32_SOURCE ;;
        content=*) ;;
        *) writer_args="$writer_args $arg" ;;
    esac
done
# shellcheck disable=SC2086 # the arguments are single words
"$runner" "$writer" $writer_args || { echo "FAIL: the stream writer failed"; exit 1; }

if ! command -v ffprobe >/dev/null 2>&1 || ! command -v ffmpeg >/dev/null 2>&1; then
    echo "SKIPPED: ffprobe/ffmpeg are not installed; stream.h264 was written but not checked"
    exit 77
fi

failed=0
check() {  # name expected actual
    if [ "$2" = "$3" ]; then
        echo "ok   $1 = $3"
    else
        echo "FAIL $1: expected '$2', got '$3'"
        failed=1
    fi
}
expected() { sed -n "s/^$1=//p" expected.txt; }

# Decoding: not a single message at level error, and exactly the encoder's reconstruction.
ffmpeg -nostdin -v error -i stream.h264 -fps_mode passthrough -pix_fmt yuv420p -f framehash -hash crc32 \
    decoded.hash 2> decoder.log
check "decoder messages" "" "$(cat decoder.log)"
grep -v '^#' decoded.hash | sed 's/.*, *//' > decoded.crc
sed 1d pictures.csv | cut -d, -f6 > recon.crc
check "decoded frames" "$(expected frames)" "$(wc -l < decoded.crc | tr -d ' ')"
if cmp -s recon.crc decoded.crc; then
    echo "ok   decoded frames equal the encoder's reconstruction"
else
    echo "FAIL decoded frames differ from the encoder's reconstruction:"
    diff recon.crc decoded.crc | head -10
    failed=1
fi

# Stream description.
ffprobe -v error -select_streams v:0 -show_entries stream=width,height,profile,level,r_frame_rate \
    -of default=noprint_wrappers=1 stream.h264 > probe.txt
probed() { sed -n "s/^$1=//p" probe.txt; }
for key in width height profile level; do
    check "$key" "$(expected $key)" "$(probed $key)"
done
if [ -n "$(expected r_frame_rate)" ]; then
    check r_frame_rate "$(expected r_frame_rate)" "$(probed r_frame_rate)"
fi

# Header fields and NAL units.
ffmpeg -nostdin -i stream.h264 -c copy -bsf:v trace_headers -f null - 2> trace.log
field() { grep -E "[0-9] +$1 +[01]+ = " trace.log | head -1 | sed 's/.* = //'; }
nal_count() { grep -cE "[0-9] +nal_unit_type +[01]+ = ($1)\$" trace.log; }
for key in profile_idc level_idc vui_parameters_present_flag; do
    check "$key" "$(expected $key)" "$(field $key)"
done
if [ "$(expected crop_right)$(expected crop_bottom)" != "00" ]; then
    check frame_crop_right_offset "$(expected crop_right)" "$(field frame_crop_right_offset)"
    check frame_crop_bottom_offset "$(expected crop_bottom)" "$(field frame_crop_bottom_offset)"
else
    check frame_cropping_flag 0 "$(field frame_cropping_flag)"
fi
check "access-unit delimiters" "$(expected aud_count)" "$(nal_count 9)"
check "slices" "$(expected slice_count)" "$(nal_count '1|5')"
check "IDR slices" "$(expected idr_slice_count)" "$(nal_count 5)"
check "disable_deblocking_filter_idc of every slice" "$(expected slice_count)" \
    "$(grep -cE "disable_deblocking_filter_idc +[01]+ = $(expected disable_deblocking_filter_idc)\$" trace.log)"

python3 "$(dirname "$0")/check_rate.py" . "$@" || failed=1
exit $failed
