#!/bin/sh
# Proves the stand-in's H.264 code tables with the machine's decoder: zep_table_stream_writer,
# run under Wine in a fresh work folder, codes every table entry into tables.h264 and writes the
# CRC-32 of each picture as the codec reconstructs it into tables.crc (it fails by itself when an
# entry was not coded). ffmpeg must decode the stream without a single message at level error and
# to exactly those pictures: a wrong codeword, scan position, scaling factor, chroma QP or
# deblocking threshold shows as a decoder message or a picture that differs.
# Usage: check_tables.sh RUNNER WRITER WORKDIR
# Exit 77 (reported by CTest as skipped) when ffmpeg is not installed.
runner=$1
writer=$2
work=$3

rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
"$runner" "$writer" || { echo "FAIL: the table stream writer failed"; exit 1; }

if ! command -v ffmpeg >/dev/null 2>&1; then
    echo "SKIPPED: ffmpeg is not installed; tables.h264 was written but not checked"
    exit 77
fi

failed=0
ffmpeg -nostdin -v error -i tables.h264 -fps_mode passthrough -pix_fmt yuv420p -f framehash -hash crc32 \
    decoded.hash 2> decoder.log || failed=1
if [ -s decoder.log ]; then
    echo "FAIL decoder messages:"
    head -20 decoder.log
    failed=1
fi
grep -v '^#' decoded.hash | sed 's/.*, *//' > decoded.crc
if [ -s tables.crc ] && cmp -s tables.crc decoded.crc; then
    echo "ok   $(wc -l < decoded.crc | tr -d ' ') decoded pictures equal the codec's reconstruction"
else
    echo "FAIL decoded pictures differ from the codec's reconstruction (picture: expected decoded):"
    awk 'NR == FNR { want[FNR] = $1; n = FNR; next } { got[FNR] = $1; m = FNR }
         END { for (i = 1; i <= (n > m ? n : m); ++i) if (want[i] != got[i]) print i - 1 ": " want[i] " " got[i] }' \
        tables.crc decoded.crc | head -20
    failed=1
fi
exit $failed
