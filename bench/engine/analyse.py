#!/usr/bin/python3
"""Reads the recordings of bench/engine/run.sh back (through ffmpeg/ffprobe).

  analyse.py facts FILE FPS
      frames, largest gap (frame periods), span (s), bytes
  analyse.py testsrc FILE FPS MAXREF
      PSNR (dB, RGB) of the recording against FFmpeg's testsrc2 at 60 fps,
      frame by frame: each recorded frame is paired with the testsrc2 frame
      it shows (searched on small copies, first over the first MAXREF
      frames, then a little ahead of the last match), and the pairs are
      compared at full size. Prints "psnr_mean psnr_p5 pairs".
  analyse.py still FILE SHOT
      PSNR (dB, RGB) of the recording's last frame against a lossless
      screenshot taken once the screen stopped changing.
  analyse.py rates FILE WINDOW
      New pictures per second in each WINDOW seconds of the file: frames
      whose packet is more than a few hundred bytes (a slot that repeats
      the picture before it encodes to a few dozen). Prints "start rate"
      per window, one a line.
  analyse.py avsync FILE [CUT...]
      A/V offsets of the flash-and-beep content: for every flash, the time
      its picture starts minus the time its beep starts, in ms. CUTs are
      file times of resumes; flashes closer than 0.6 s to a cut are left
      out. Prints "segment count median max_abs" per segment, one a line.

The flash content (sr_bench_flasher): each second starts with a beep of
100 ms and a white bar from the left that grows by 1/50 of the screen every
4 ms. The bar's width in the first recorded frame of a flash tells how long
the flash had been on screen when that frame was taken, so the flash's start
is known to 4 ms rather than to a recorded frame; half a step is taken off
for the unknown rest.
"""
import json
import os
import subprocess
import sys

import numpy as np

W, H = 1920, 1080
SW, SH = 160, 90  # search size


def probe(args):
    return subprocess.run(["ffprobe", "-v", "error"] + args, check=True, capture_output=True, text=True).stdout


def frame_times(path, stream):
    out = probe(["-select_streams", stream, "-show_entries", "frame=best_effort_timestamp_time",
                 "-of", "csv=p=0", path])
    return [float(x.strip().strip(",")) for x in out.split() if x.strip().strip(",") not in ("", "N/A")]


def frames(cmd, w, h, channels=3):
    size = w * h * channels
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        while True:
            buf = proc.stdout.read(size)
            if len(buf) < size:
                break
            yield np.frombuffer(buf, np.uint8).reshape(h, w, channels)
    finally:
        proc.stdout.close()
        proc.wait()


def decode(path, vf, extra=()):
    return ["ffmpeg", "-v", "error", *extra, "-i", path, "-map", "0:v:0", "-fps_mode", "passthrough",
            "-vf", vf, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"]


def testsrc(count, vf):
    return ["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=%dx%d:rate=60" % (W, H),
            "-frames:v", str(count), "-vf", vf, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"]


def psnr(a, b):
    mse = np.mean((a.astype(np.float32) - b.astype(np.float32)) ** 2)
    return 99.0 if mse == 0 else 10 * np.log10(255.0 ** 2 / mse)


def facts(path, fps):
    out = probe(["-select_streams", "v:0", "-show_entries", "packet=pts_time", "-of", "csv=p=0", path])
    t = sorted(float(x) for x in out.split() if x not in ("", "N/A"))
    gap = max((b - a for a, b in zip(t, t[1:])), default=0.0)
    span = (t[-1] - t[0] + 1.0 / fps) if t else 0.0
    print(len(t), "%.2f" % (gap * fps), "%.2f" % span, os.path.getsize(path))


def rates(path, window):
    out = probe(["-select_streams", "v:0", "-show_entries", "packet=pts_time,size", "-of", "csv=p=0", path])
    packets = []
    for line in out.split():
        fields = line.split(",")
        if len(fields) >= 2 and fields[0] not in ("", "N/A"):
            packets.append((float(fields[0]), int(fields[1])))
    if not packets:
        return
    start = min(t for t, _ in packets)
    end = max(t for t, _ in packets)
    at = 0.0
    while start + at < end:
        new = sum(1 for t, size in packets if start + at <= t < start + at + window and size > 400)
        print("%.0f %.1f" % (at, new / window))
        at += window


def match(path, fps, maxref):
    small = "scale=%d:%d:flags=area" % (SW, SH)
    ref = np.stack(list(frames(testsrc(maxref, small), SW, SH)))
    step = 60.0 / fps
    pairs, prev = [], None
    for k, f in enumerate(frames(decode(path, small), SW, SH)):
        if prev is None:
            lo, hi = 0, len(ref)
        else:
            lo, hi = max(0, prev - 1), min(len(ref), prev + int(3 * step) + 3)
        if lo >= hi:
            break
        f = f.astype(np.int16)
        err = np.concatenate([np.mean(np.abs(ref[i:min(hi, i + 200)].astype(np.int16) - f), axis=(1, 2, 3))
                              for i in range(lo, hi, 200)])
        prev = lo + int(np.argmin(err))
        pairs.append((k, prev))
    return pairs


def quality_testsrc(path, fps, maxref):
    pairs = match(path, fps, maxref)
    if not pairs:
        print("nan nan 0")
        return
    every = max(1, len(pairs) // 150)  # at most about 150 full-size comparisons
    chosen = {k: r for k, r in pairs[::every]}
    wanted = sorted(set(chosen.values()))
    refs, need = {}, set(wanted)
    full = "null"
    for n, f in enumerate(frames(testsrc(wanted[-1] + 1, full), W, H)):
        if n in need:
            refs[n] = f.copy()
    values = []
    for k, f in enumerate(frames(decode(path, full), W, H)):
        if k in chosen:
            values.append(psnr(f, refs[chosen[k]]))
    values = np.array(values)
    print("%.2f %.2f %d" % (values.mean(), np.percentile(values, 5), len(values)))


def quality_still(path, shot):
    last = None
    for f in frames(decode(path, "null", ("-sseof", "-1")), W, H):
        last = f.copy()
    ref = next(frames(["ffmpeg", "-v", "error", "-i", shot, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"], W, H))
    print("%.2f" % (psnr(last, ref) if last is not None else float("nan")))


def flash_onsets(path):
    times = frame_times(path, "v:0")
    # A flash already on in the first frame started before the recording.
    onsets, lit = [], True
    vf = "scale=%d:%d:flags=area" % (400, 108)
    for t, f in zip(times, frames(decode(path, vf), 400, 108)):
        row = f[44:64].mean(axis=(0, 2))
        width = float(np.mean(row > 128))
        on = width > 0.01
        if on and not lit:
            steps = max(0, int(round(width * 50)) - 1)
            onsets.append(t - (steps + 0.5) * 0.004)
        lit = on
    return onsets


def beep_onsets(path):
    first = probe(["-select_streams", "a:0", "-read_intervals", "%+#1", "-show_entries",
                   "frame=best_effort_timestamp_time", "-of", "csv=p=0", path]).split()
    start = float(first[0].strip(",")) if first else 0.0
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", "0:a:0", "-ac", "1", "-ar", "48000",
                          "-f", "s16le", "-"], check=True, capture_output=True).stdout
    x = np.abs(np.frombuffer(raw, np.int16).astype(np.float32))
    if x.size == 0:
        return []
    loud = np.flatnonzero(x > 0.25 * x.max())
    onsets, last = [], 0
    for i in loud:
        if i - last > 0.5 * 48000:
            onsets.append(start + i / 48000.0)
        last = i
    return onsets


def avsync(path, cuts):
    video, audio = flash_onsets(path), np.array(beep_onsets(path))
    segments = [[] for _ in range(len(cuts) + 1)]
    for v in video:
        if audio.size == 0:
            break
        a = audio[np.argmin(np.abs(audio - v))]
        if abs(a - v) > 0.4 or any(abs(v - c) < 0.6 for c in cuts):
            continue
        segments[sum(1 for c in cuts if v > c)].append((v - a) * 1000.0)
    for i, s in enumerate(segments):
        if s:
            s = np.array(s)
            print(i, len(s), "%.1f" % np.median(s), "%.1f" % s[np.argmax(np.abs(s))])
        else:
            print(i, 0, "nan", "nan")


def main(argv):
    mode = argv[1]
    if mode == "facts":
        facts(argv[2], float(argv[3]))
    elif mode == "testsrc":
        quality_testsrc(argv[2], float(argv[3]), int(argv[4]))
    elif mode == "still":
        quality_still(argv[2], argv[3])
    elif mode == "rates":
        rates(argv[2], float(argv[3]))
    elif mode == "avsync":
        avsync(argv[2], [float(c) for c in argv[3:]])
    else:
        print(json.dumps({"error": "unknown mode " + mode}))
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
