#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# A second, independent reading of the jolts in a card folder, for the tests to hold the
# program to: the G limits from setup.ini, every trip log's records spread evenly over the
# recording's length as ffprobe reads it, strictly over a limit, an axis at 0 unchecked, over-limit
# records less than 2 s apart one event at the largest value over limit.
# Prints "NNNN.asf,seconds,axis,peak" a line.
import glob, os, re, subprocess, sys

folder = sys.argv[1]
limits = {"X": 0.0, "Y": 0.0, "Z": 0.0}
setup = [f for f in os.listdir(folder) if f.lower() == "setup.ini"]
if setup:
    text = open(os.path.join(folder, setup[0]), encoding="latin-1").read()
    for axis in limits:
        m = re.search(r"\[G_LIMIT" + axis + r"=\s*([-+0-9.]+)\]", text)
        if m:
            limits[axis] = float(m.group(1))

for log in sorted(glob.glob(os.path.join(folder, "*.LOG"))):
    video = log[:-4] + ".asf"
    if not os.path.exists(video):
        continue
    said = subprocess.run(
        ["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", video],
        capture_output=True, text=True).stdout.strip()
    if said == "N/A":  # a header never finished: where the last packet ends
        packets = subprocess.run(
            ["ffprobe", "-v", "error", "-show_entries", "packet=pts_time,duration_time", "-of",
             "csv=p=0", video], capture_output=True, text=True).stdout.split()
        number = lambda text: float(text) if text not in ("", "N/A") else 0.0
        said = max(number(p.split(",")[0]) + number((p.split(",") + [""])[1]) for p in packets)
    length = float(said)
    raw = open(log, "rb").read().decode("latin-1")
    complete = raw.endswith("\n")
    lines = [l for l in raw.split("\n") if l.strip()]
    step = length / len(lines)
    over = []
    for k, line in enumerate(lines):
        if k == len(lines) - 1 and not complete:
            continue
        m = re.search(r"G:\+?(-?[0-9.]+),\+?(-?[0-9.]+),\+?(-?[0-9.]+)", line)
        if not m:
            continue
        best = None
        for axis, value in zip("XYZ", map(float, m.groups())):
            limit = limits[axis]
            if limit > 0 and abs(value) > limit:
                if best is None or abs(value) / limit > best[0]:
                    best = (abs(value) / limit, axis, value)
        if best:
            over.append((k * step, best))
    events = []
    for t, best in over:
        if events and t - events[-1][-1] < 2.0:
            if best[0] > events[-1][1][0]:
                events[-1][0], events[-1][1] = t, best
            events[-1][-1] = t
        else:
            events.append([t, best, t])
    for t, best, _ in events:
        print("%s,%.2f,%s,%.2f" % (os.path.basename(video), t, best[1], best[2]))
