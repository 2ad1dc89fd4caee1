#!/usr/bin/env python3
"""Checks a captured stand-in stream against the configuration it was made with.

Usage: check_rate.py WORKDIR key=value ...   (the zep_stream_writer arguments)

Reads WORKDIR/pictures.csv (one line per output, as the stand-in reported it) and
WORKDIR/stream.h264, and checks what the configuration promises:
  - every mode: type codes in order (IDR period, skipped-picture period), timestamps;
  - constant QP (rc=0): every I slice at qpi, every P slice at qpp, no macroblock QP change
    (per-macroblock QPs from ffmpeg -debug qp); at QP 0 in Baseline/Main, that the level clip
    (level_prefix at most 15) was exercised;
  - other modes: every macroblock QP within [minqp, maxqp]; the leaky bucket, recomputed here
    from the output sizes, never below empty unless the stand-in flagged the picture;
  - CBR (rc=4): 1-second windows within the bitrate bounds (tighter with filler data);
  - VBR (rc=6): run average and windows against bitrate and peak; capped quality (rc=3): QPs
    never below their target, windows under the peak;
  - intra refresh: every macroblock intra within ceil(M/N) consecutive coded P pictures
    (macroblock types from ffmpeg -debug mb_type);
  - sub-sample flags: no half/quarter-sample vectors where they are off;
  - change=N:B: the second after picture N runs at the new bitrate.
Prints one line per check; exits 1 when any fails.
"""
import csv
import math
import os
import re
import subprocess
import sys

DEFAULTS = dict(width=200, height=120, fps="30/1", profile=100, rc=4, bitrate=2000000, peak=0, vbv=0,
                fullness=64, minqp=0, maxqp=51, qpi=26, qpp=26, filler=0, half=1, quarter=1, refresh=0,
                skip=0, idr=0, content="screen", change="")
failed = False


def check(name, ok, detail=""):
    global failed
    print(("ok   " if ok else "FAIL ") + name + ("" if ok or not detail else ": " + detail))
    failed |= not ok


def options(argv):
    o = dict(DEFAULTS)
    for arg in argv:
        key, _, value = arg.partition("=")
        o[key] = value
    for key in DEFAULTS:
        if isinstance(DEFAULTS[key], int):
            o[key] = int(o[key])
    num, den = (int(v) for v in str(o["fps"]).split("/"))
    o["fps"] = num / den
    o["peak"] = o["peak"] or o["bitrate"]
    return o


def debug_rows(stream, what):
    """Per-picture rows of ffmpeg's -debug qp / mb_type dump, of the decoder that ran last."""
    out = subprocess.run(["ffmpeg", "-hide_banner", "-nostdin", "-loglevel", "debug", "-debug", what,
                          "-threads", "1", "-i", stream, "-f", "null", "-"],
                         capture_output=True, text=True).stderr.splitlines()
    lines = [re.match(r"\[h264 @ (0x[0-9a-f]+)\] (.*)", line) for line in out]
    lines = [m.groups() for m in lines if m]
    frames = [(ctx, text) for ctx, text in lines if text.startswith("New frame")]
    if not frames:
        return []
    decoder = frames[-1][0]  # the probing decoder's pictures come first, from another context
    pictures = []
    for ctx, text in lines:
        if ctx != decoder:
            continue
        if text.startswith("New frame"):
            pictures.append([])
        elif pictures and re.fullmatch(r"[0-9A-Za-z<>|+\-= ]+", text) and not text.startswith("nal_unit_type"):
            pictures[-1].append(text)
    return pictures


def windows(rows, fps):
    """Bits of each complete 1-second window of timestamps."""
    per = {}
    for r in rows:
        second = int(r["timestamp"]) // 10_000_000
        per[second] = per.get(second, 0) + 8 * int(r["bytes"])
    last = (len(rows)) / fps
    return [per.get(s, 0) for s in range(int(last))]


def bucket(rows, o):
    """Recomputes the leaky bucket from the output sizes: (lowest level, pictures below empty)."""
    rate = o["bitrate"] if o["rc"] == 4 else o["peak"]
    size = o["vbv"] or int(1.25 * o["bitrate"] / o["fps"])
    level = min(64, o["fullness"]) / 64 * size
    lowest, broken = level, []
    for i, r in enumerate(rows):
        if i > 0:
            level = min(size, level + rate / o["fps"])
        level -= 8 * int(r["bytes"])
        lowest = min(lowest, level)
        if level < -1:
            broken.append(int(r["picture"]))
            level = 0
    return lowest, broken


def main():
    work = sys.argv[1]
    o = options(sys.argv[2:])
    with open(os.path.join(work, "pictures.csv")) as f:
        rows = list(csv.DictReader(f))
    stream = os.path.join(work, "stream.h264")
    mb_count = ((o["width"] + 15) // 16) * ((o["height"] + 15) // 16)
    types = [int(r["type"]) for r in rows]
    coded_p = [r for r in rows if r["type"] == "4"]

    # Picture types: IDR period and skipped-picture period.
    expected, since_idr, to_skip = [], 0, 0
    for n in range(len(rows)):
        idr = n == 0 or (o["idr"] and since_idr >= o["idr"])
        if not idr and to_skip:
            expected.append(5)
            to_skip -= 1
        else:
            expected.append(1 if n == 0 else 2 if idr else 4)
            to_skip = o["skip"]
        since_idr = 1 if idr else since_idr + 1
    if o["skip"] or o["rc"] == 0 or o["refresh"]:
        check("type codes follow the IDR and skipped-picture periods", types == expected,
              "first difference at picture %s" % next((i for i, (a, b) in enumerate(zip(types, expected)) if a != b), "-"))
    if o["skip"]:
        check("skipped pictures skip every macroblock",
              all(int(r["skipped"]) == mb_count for r in rows if r["type"] == "5"))

    if o["rc"] == 0 and o["qpi"] == 0 and o["profile"] in (66, 77):
        clipped = sum(int(r["clipped"]) for r in rows)
        check("constant QP 0 in profile %d: %d levels clipped to keep level_prefix <= 15" % (o["profile"], clipped),
              clipped > 0)
    if o["rc"] == 0:
        ok = all(int(r["sliceqp"]) == (o["qpi"] if r["type"] in "12" else o["qpp"]) for r in rows if r["type"] != "5")
        check("constant QP: slice QPs are QP I / QP P", ok)
        qp_rows = debug_rows(stream, "qp")
        wanted = [o["qpi"] if t in (1, 2) else o["qpp"] for t in types if t != 5]
        coded = [p for p, t in zip(qp_rows, [t for t in types]) if t != 5] if len(qp_rows) == len(types) else []
        ok = len(coded) == len(wanted) and all({int(q) for q in re.findall("..", "".join(p))} <= {w} for p, w in zip(coded, wanted))
        check("constant QP: every macroblock at its slice QP (-debug qp)", ok,
              "%d dumped pictures for %d outputs" % (len(qp_rows), len(types)))
    else:
        ok = all(o["minqp"] <= int(r["minqp"]) and int(r["maxqp"]) <= o["maxqp"] for r in rows if r["type"] != "5")
        check("macroblock QPs within [%d, %d] (stand-in's account)" % (o["minqp"], o["maxqp"]), ok)
        qp_rows = debug_rows(stream, "qp")
        seen = {int(q) for p in qp_rows for line in p for q in re.findall("..", line)}
        check("macroblock QPs within the limits (-debug qp)",
              bool(seen) and min(seen) >= o["minqp"] and max(seen) <= o["maxqp"], "seen %s" % sorted(seen)[:8])
        lowest, broken = bucket(rows, o)
        flagged = {int(r["picture"]) for r in rows if r["underflow"] == "1"}
        check("buffer never below empty (lowest %.0f bits)" % lowest, set(broken) <= flagged,
              "pictures %s break it unflagged" % sorted(set(broken) - flagged)[:10])
        at_max = {int(r["picture"]) for r in rows if int(r["minqp"]) == o["maxqp"]}
        check("a picture breaks the buffer only with every macroblock at Max QP (%d such)" % len(flagged),
              flagged <= at_max, "flagged below Max QP: %s" % sorted(flagged - at_max)[:10])

    total_bits = 8 * sum(int(r["bytes"]) for r in rows)
    run_rate = total_bits / (len(rows) / o["fps"])
    w = windows(rows, o["fps"])
    if o["rc"] == 4 and not o["change"]:
        b = o["bitrate"]
        check("CBR: no window above bitrate +10%% (%s)" % [round(x / b, 3) for x in w], all(x <= 1.10 * b for x in w))
        if o["filler"]:
            check("CBR with filler: every window within 2%", all(abs(x / b - 1) <= 0.02 for x in w))
        if o["content"] == "changing" or o["filler"]:
            check("CBR: no window below bitrate -10%", all(x >= 0.90 * b for x in w))
            check("CBR: run within 5%% (%.3f)" % (run_rate / b), abs(run_rate / b - 1) <= 0.05)
    if o["rc"] == 6:
        check("VBR: run average at most bitrate +5%% (%.3f)" % (run_rate / o["bitrate"]),
              run_rate <= 1.05 * o["bitrate"])
        check("VBR: no window above peak +5%% (%s)" % [round(x / o["peak"], 3) for x in w],
              all(x <= 1.05 * o["peak"] for x in w))
        if o["content"] == "screen" and len(rows) >= 120:
            # The synthetic screen moves for 90 pictures, then rests for 30.
            qps = {int(r["picture"]): float(r["meanqp"]) for r in rows if r["type"] == "4"}
            moving = [qps[n] for n in range(30, 90) if n in qps]
            resting = [qps[n] for n in range(100, 120) if n in qps]
            check("VBR: on the resting screen the QP falls toward Min QP (moving %.1f, resting %.1f)" %
                  (sum(moving) / max(1, len(moving)), sum(resting) / max(1, len(resting))),
                  bool(moving and resting) and max(resting) < min(moving) and min(resting) <= o["minqp"] + 2)
    if o["rc"] == 3:
        ok = all(int(r["sliceqp"]) >= (o["qpi"] if r["type"] in "12" else o["qpp"]) for r in rows if r["type"] != "5")
        check("capped quality: QPs never below QP I / QP P", ok)
        check("capped quality: no window above peak +5%", all(x <= 1.05 * o["peak"] for x in w))
    if o["change"]:
        at, new = (int(v) for v in o["change"].split(":"))
        before = [r for r in rows if at - o["fps"] <= int(r["picture"]) < at]
        after = [r for r in rows if at <= int(r["picture"]) < at + o["fps"]]
        rate_before = 8 * sum(int(r["bytes"]) for r in before) / (len(before) / o["fps"])
        rate_after = 8 * sum(int(r["bytes"]) for r in after) / (len(after) / o["fps"])
        check("bitrate change: the second before runs at the old rate (%.3f)" % (rate_before / o["bitrate"]),
              abs(rate_before / o["bitrate"] - 1) <= 0.10)
        check("bitrate change: the second after runs at the new rate (%.3f)" % (rate_after / new),
              abs(rate_after / new - 1) <= 0.10)
        first = next(r for r in rows if int(r["picture"]) == at)
        previous = next(r for r in rows if int(r["picture"]) == at - 1)
        moved = int(first["sliceqp"]) != int(previous["sliceqp"])
        check("bitrate change: the next picture's QP moves (%s -> %s)" % (previous["sliceqp"], first["sliceqp"]),
              moved)

    if o["refresh"]:
        span = math.ceil(mb_count / o["refresh"])
        mb_rows = debug_rows(stream, "mb_type")
        intra = [set(i for i, m in enumerate(re.findall("...", "".join(p))) if m[0] in "IiAP") for p in mb_rows]
        # The sweep restarts at every IDR picture: windows of coded P pictures between two IDRs.
        runs, run = [], []
        for s, t in zip(intra, types) if len(intra) == len(types) else []:
            if t in (1, 2):
                runs.append(run)
                run = []
            elif t == 4:
                run.append(s)
        runs.append(run)
        ok = sum(len(r) for r in runs) > span and all(
            set().union(*r[i:i + span]) >= set(range(mb_count)) for r in runs for i in range(len(r) - span + 1))
        check("intra refresh: every macroblock intra within %d consecutive P pictures" % span, ok,
              "%d dumped pictures for %d outputs" % (len(mb_rows), len(types)))
        last_slot = mb_count % o["refresh"] or o["refresh"]  # the slot at the end may be shorter
        check("intra refresh: every P picture has its slot",
              all(int(r["intra"]) >= min(o["refresh"], last_slot, mb_count) for r in coded_p))
    if not o["half"]:
        check("Half Pixel off: full-sample vectors only",
              all(r["half"] == "0" and r["quarter"] == "0" for r in rows))
    elif not o["quarter"]:
        check("Quarter Pixel off: no quarter-sample vector", all(r["quarter"] == "0" for r in rows))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
