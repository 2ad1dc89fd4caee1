#!/usr/bin/env bash
# Runs vqxcap under Wine as a user would and checks what it wrote with the machine's ffprobe and
# ffmpeg: containers, a capture killed part way, Ctrl+C, live UDP and RTP streams received by an
# ffmpeg started first, and output errors. Network traffic goes to 127.0.0.1 only.
#
# Usage: vqxcap_streams.sh RUNNER PROGRAM WORK_DIR SCENARIO [ARGS...]
#   container NAME FRAMES IDR_PERIOD [VQXCAP ARGS...]  capture into WORK_DIR/NAME and check it
#   stdout FORMAT FRAMES IDR_PERIOD                     -o - --format FORMAT, the stream from stdout
#   killed                                              .mp4 capture killed with SIGKILL part way
#   interrupted                                         .mp4 capture ended by Ctrl+C (SIGINT)
#   udp FRAMES IDR_PERIOD                               MPEG-TS over UDP to a waiting ffmpeg
#   rtp FRAMES IDR_PERIOD                               RTP with its SDP to a waiting ffmpeg
#   full NAME                                           the file is /dev/full: exit 7
#   broken-pipe                                         standard output closes part way: exit 7
# The display mode comes from GRXAPIXX_MODE; WIDTH, HEIGHT and FPS (e.g. 30/1) say what to expect.
set -u

runner=$1 program=$2 work=$3 scenario=$4
shift 4
: "${WIDTH:?}" "${HEIGHT:?}" "${FPS:?}"

rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1

fail() { printf 'FAIL: %s\n' "$*" >&2; exit 1; }
note() { printf '%s\n' "$*" >&2; }
# The Windows name of a path (symbolic links left as they are).
winpath() { local p=$1; [[ $p == /* ]] || p=$PWD/$p; printf 'Z:%s' "${p//\//\\}"; }

# Runs vqxcap in the foreground; stderr goes to vqxcap.err.
vqxcap() { "$runner" "$program" --no-progress "$@" 2>vqxcap.err; }

# Starts vqxcap in the background (its process id in $capture_pid).
vqxcap_background() {
    "$runner" "$program" --no-progress "$@" 2>vqxcap.err &
    capture_pid=$!
}

# Waits up to $2 seconds for process $1 to end; its exit code in $exit_code (empty on time-out).
wait_for() {
    local pid=$1 deadline=$((SECONDS + $2))
    exit_code=
    while kill -0 "$pid" 2>/dev/null; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.2
    done
    wait "$pid"
    exit_code=$?
}

# Number of MP4 movie fragments (moof boxes) in a file.
fragments() { grep -obUa moof "$1" 2>/dev/null | wc -l; }

# Waits until the .mp4 being written holds at least $2 fragments, for at most 120 seconds.
wait_for_fragments() {
    local file=$1 wanted=$2 deadline=$((SECONDS + 120))
    while [ "$(fragments "$file")" -lt "$wanted" ]; do
        kill -0 "$capture_pid" 2>/dev/null || { cat vqxcap.err >&2; fail "vqxcap ended before $wanted fragments"; }
        [ $SECONDS -lt $deadline ] || fail "no $wanted fragments in $file after 120 s"
        sleep 0.2
    done
}

expect_exit() {
    [ "$1" = "$2" ] || { cat vqxcap.err >&2; fail "vqxcap exit code $1, expected $2"; }
}

# Size, frame rate and codec of the stream.
check_stream_info() {
    local file=$1 info
    info=$(ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,width,height,r_frame_rate \
        -of default=noprint_wrappers=1 "$file") || fail "ffprobe cannot read $file"
    note "$file: $(echo $info)"
    for want in codec_name=h264 "width=$WIDTH" "height=$HEIGHT" "r_frame_rate=$FPS"; do
        grep -qx "$want" <<<"$info" || fail "$file: expected $want in: $(echo $info)"
    done
}

# ffmpeg decodes the file without a single error, into exactly $2 pictures.
check_decodes() {
    local file=$1 frames=$2 errors decoded
    errors=$(ffmpeg -nostdin -v error -i "$file" -f null - 2>&1) || fail "ffmpeg cannot decode $file: $errors"
    [ -z "$errors" ] || fail "ffmpeg reports errors decoding $file: $errors"
    decoded=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$file" | awk 'NF { print; exit }')
    [ "$decoded" = "$frames" ] || fail "$file decodes into $decoded pictures, expected $frames"
}

# The packets of the stream as "pts,flags" lines (file packets.csv) and the time base (seconds).
read_packets() {
    ffprobe -v error -select_streams v:0 -show_entries packet=pts,flags -of csv=p=0 "$1" 2>/dev/null |
        sed 's/,side_data.*//; /^$/d' >packets.csv
    time_base=$(ffprobe -v error -select_streams v:0 -show_entries stream=time_base -of csv=p=0 "$1" | awk 'NF { print; exit }')
}

# Packet i (from 0) must sit at i frame periods from the first, to the nearest tick of the
# container's time base ($2 ticks of slack instead of half a tick); $1 packets in all.
check_even_timestamps() {
    local packets=$1 slack=${2:-0.5} count
    count=$(wc -l <packets.csv)
    [ "$count" = "$packets" ] || fail "$count packets, expected $packets"
    awk -F, -v tb="$time_base" -v fps="$FPS" -v slack="$slack" '
        BEGIN { split(tb, t, "/"); tick = t[1] / t[2]; split(fps, r, "/"); period = r[2] / r[1] }
        $1 == "N/A" { print "packet " NR - 1 " has no timestamp"; bad = 1; exit 1 }
        NR == 1 { first = $1 }
        { off = ($1 - first) * tick - (NR - 1) * period; if (off < 0) off = -off
          if (off > tick * slack + 1e-9) { print "packet " NR - 1 " at " ($1 - first) * tick " s, expected " (NR - 1) * period; bad = 1 } }
        END { exit bad }' packets.csv || fail "timestamps are not one frame period apart (time base $time_base)"
}

# Keyframes exactly at pictures 0, P, 2P ... (P = $2; 0: only the first) of $1 packets.
check_keyframes() {
    local packets=$1 period=$2 expected actual
    expected=$(awk -v n="$packets" -v p="$period" 'BEGIN { for (i = 0; i < n; ++i) if (i == 0 || (p > 0 && i % p == 0)) printf "%d ", i }')
    actual=$(awk -F, '$2 ~ /^K/ { printf "%d ", NR - 1 }' packets.csv)
    [ "$expected" = "$actual" ] || fail "keyframes at packets [$actual], expected [$expected]"
}

# Everything a finished capture must hold: $2 pictures, keyframes every $3, even timestamps
# (raw streams carry none), the stream's size and rate, and a clean decode.
check_capture() {
    local file=$1 frames=$2 idr=$3 raw=${4:-}
    check_stream_info "$file"
    read_packets "$file"
    if [ -n "$raw" ]; then
        [ "$(wc -l <packets.csv)" = "$frames" ] || fail "$(wc -l <packets.csv) pictures in $file, expected $frames"
    else
        check_even_timestamps "$frames"
    fi
    check_keyframes "$frames" "$idr"
    check_decodes "$file" "$frames"
}

scenario_container() {
    local name=$1 frames=$2 idr=$3
    shift 3
    vqxcap -o "$(winpath "$name")" --frames "$frames" --idr-period "$idr" "$@"
    expect_exit $? 0
    case $name in *.h264 | *.264) check_capture "$name" "$frames" "$idr" raw ;; *) check_capture "$name" "$frames" "$idr" ;; esac
    if [[ $name == *.mp4 ]]; then
        # The trailer closes the fragmented file with its random-access index (mfra, ended by mfro).
        [ "$(tail -c 12 "$name" | head -c 4)" = mfro ] || fail "$name does not end with the fragment index"
    fi
}

scenario_stdout() {
    local format=$1 frames=$2 idr=$3
    "$runner" "$program" --no-progress -o - --format "$format" --frames "$frames" --idr-period "$idr" \
        >stream.out 2>vqxcap.err
    expect_exit $? 0
    check_capture stream.out "$frames" "$idr"
}

# A capture killed without warning keeps every fragment completed before the kill.
scenario_killed() {
    vqxcap_background -o "$(winpath killed.mp4)" --seconds 600
    wait_for_fragments killed.mp4 3
    kill -KILL "$capture_pid"
    wait_for "$capture_pid" 30 || fail "vqxcap did not end after SIGKILL"
    local total
    total=$(fragments killed.mp4)
    note "killed with $total fragments (the last may be cut)"
    read_packets killed.mp4
    local packets fps_frames
    packets=$(wc -l <packets.csv)
    fps_frames=$(awk -v r="$FPS" 'BEGIN { split(r, f, "/"); printf "%d", f[1] / f[2] }')  # one second of pictures
    # Fragments hold at most one second: all but the last are complete.
    [ "$packets" -ge $((fps_frames * (total - 1))) ] ||
        fail "$packets pictures readable, expected the $((total - 1)) complete fragments of $fps_frames"
    [ "$packets" -le $((fps_frames * total)) ] || fail "$packets pictures in $total fragments of at most one second"
    check_even_timestamps "$packets"
    local decoded
    decoded=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 killed.mp4 2>/dev/null | awk 'NF { print; exit }')
    [ "$decoded" = "$packets" ] || fail "$decoded of $packets readable pictures decode"
}

# Ctrl+C ends the capture the way --frames does: trailer written, every picture in the file.
scenario_interrupted() {
    vqxcap_background -o "$(winpath interrupted.mp4)" --seconds 600
    wait_for_fragments interrupted.mp4 2
    kill -INT "$capture_pid"
    wait_for "$capture_pid" 60 || { kill -KILL "$capture_pid"; fail "vqxcap did not end after SIGINT"; }
    expect_exit "$exit_code" 0
    local summary frames
    summary=$(tr '\n' ' ' <vqxcap.err)
    [[ $summary =~ interrupted:\ frames\ ([0-9]+) ]] || fail "no 'interrupted: frames N' summary: $summary"
    frames=${BASH_REMATCH[1]}
    note "interrupted after $frames pictures"
    [ "$(tail -c 12 interrupted.mp4 | head -c 4)" = mfro ] || fail "the trailer was not written"
    read_packets interrupted.mp4
    check_even_timestamps "$frames"
    check_decodes interrupted.mp4 "$frames"
}

# A free-looking UDP port (even, for RTP): the tests of parallel builds must not meet.
random_port() { echo $(((RANDOM % 10000) * 2 + 20000)); }

# The receiver must be up before vqxcap sends; it ends by itself (time-out or RTCP BYE).
start_receiver() {
    "$@" &
    receiver_pid=$!
    sleep 1
    kill -0 "$receiver_pid" 2>/dev/null
}

# MPEG-TS over UDP. ffmpeg ends a UDP input after 2 s without data; until vqxcap's first packet
# arrives, null TS packets (PID 0x1FFF, which every demuxer drops) keep it waiting.
scenario_udp() {
    local frames=$1 idr=$2 port null_packet
    null_packet=$(printf '\\x47\\x1f\\xff\\x10'; printf '\\xff%.0s' $(seq 184))
    local started=
    for attempt in 1 2 3; do  # another test may hold the port
        port=$(random_port)
        start_receiver timeout 120 ffmpeg -nostdin -v error -f mpegts -i "udp://127.0.0.1:$port?timeout=2000000" \
            -c copy -y received.ts 2>receiver.err && { started=yes; break; }
    done
    [ -n "$started" ] || fail "the receiver did not start: $(cat receiver.err)"
    vqxcap_background -o "udp://127.0.0.1:$port" --frames "$frames" --idr-period "$idr"
    while kill -0 "$capture_pid" 2>/dev/null; do
        printf "$null_packet" >"/dev/udp/127.0.0.1/$port"
        sleep 0.5
    done
    wait_for "$capture_pid" 10
    expect_exit "$exit_code" 0
    wait_for "$receiver_pid" 60 || fail "the receiving ffmpeg did not end"
    [ "$exit_code" = 0 ] || fail "the receiving ffmpeg failed: $(cat receiver.err)"
    check_capture received.ts "$frames" "$idr"
}

# H.264 over RTP. A first one-picture run writes the SDP the receiver opens; the real run must
# write the same description. The receiver ends on vqxcap's RTCP BYE.
scenario_rtp() {
    local frames=$1 idr=$2 port
    port=$(random_port)
    vqxcap -o "rtp://127.0.0.1:$port" --sdp "$(winpath first.sdp)" --frames 1 --idr-period "$idr"
    expect_exit $? 0
    for want in "c=IN IP4 127.0.0.1" "m=video $port RTP/AVP 96" "a=rtpmap:96 H264/90000" \
        "packetization-mode=1" "sprop-parameter-sets="; do
        grep -qF "$want" first.sdp || fail "the SDP lacks '$want': $(cat first.sdp)"
    done
    start_receiver timeout 120 ffmpeg -nostdin -v error -listen_timeout 100 -protocol_whitelist file,udp,rtp \
        -i first.sdp -c copy -y received.mkv 2>receiver.err || fail "the receiver did not start: $(cat receiver.err)"
    vqxcap -o "rtp://127.0.0.1:$port" --sdp "$(winpath session.sdp)" --frames "$frames" --idr-period "$idr"
    expect_exit $? 0
    cmp -s first.sdp session.sdp || fail "the session description changed between runs"
    wait_for "$receiver_pid" 30 || { kill "$receiver_pid"; fail "the receiver did not end on the RTCP BYE"; }
    [ "$exit_code" = 0 ] || fail "the receiving ffmpeg failed: $(cat receiver.err)"
    check_stream_info received.mkv
    check_decodes received.mkv "$frames"
    # ffmpeg's RTP reader stamps each picture once the next one begins, so only the spacing
    # after the first picture and the number of keyframes are the sender's to check.
    read_packets received.mkv
    [ "$(wc -l <packets.csv)" = "$frames" ] || fail "$(wc -l <packets.csv) pictures received, expected $frames"
    local keys
    keys=$(grep -c ',K' packets.csv)
    [ "$keys" = $(((frames - 1) / idr + 1)) ] || fail "$keys keyframes received, expected $(((frames - 1) / idr + 1))"
    # The parameter sets travel in-band before every IDR picture (ffmpeg's trace also shows the
    # copy in the stream's codec record).
    local sets
    sets=$(ffmpeg -nostdin -i received.mkv -c copy -bsf:v trace_headers -f null - 2>&1 | grep -c 'nal_unit_type .* = 7$')
    [ "$sets" -ge $((keys + 1)) ] || fail "$sets sequence parameter sets seen, expected one per IDR picture ($keys) and the record's"
    # Matroska rounds to milliseconds from the first picture on: one tick of slack from the second.
    tail -n +2 packets.csv >later.csv && mv later.csv packets.csv
    check_even_timestamps $((frames - 1)) 1
}

scenario_full() {
    local name=$1
    ln -s /dev/full "$name"
    vqxcap -o "$(winpath "$name")" --frames 3
    expect_exit $? 7
    grep -q "failed" vqxcap.err || fail "no failure message: $(cat vqxcap.err)"
}

# The reader goes away after 30000 bytes: the write that follows fails part way through.
scenario_broken_pipe() {
    "$runner" "$program" --no-progress -o - --format mpegts --seconds 600 2>vqxcap.err | head -c 30000 >/dev/null
    expect_exit "${PIPESTATUS[0]}" 7
    grep -q "writing to standard output failed" vqxcap.err || fail "unexpected message: $(cat vqxcap.err)"
}

case $scenario in
    container) scenario_container "$@" ;;
    stdout) scenario_stdout "$@" ;;
    killed) scenario_killed ;;
    interrupted) scenario_interrupted ;;
    udp) scenario_udp "$@" ;;
    rtp) scenario_rtp "$@" ;;
    full) scenario_full "$@" ;;
    broken-pipe) scenario_broken_pipe ;;
    *) fail "unknown scenario $scenario" ;;
esac
note "ok: $scenario $*"
