#!/bin/bash
# Compares the engine's screen recorder with `ffmpeg -f x11grab` on the same
# moving picture (FFmpeg's testsrc2 played full-screen by ffplay) at the
# same encoder settings (libx264 veryfast, CRF 23):
#   1920x1080 at 30 fps, 1920x1080 at 60 fps, a 1280x720 region at 30 fps.
# For each it prints CPU seconds per recorded minute (recorder plus the X
# server's share), frames in the file against the expected count, the
# largest gap between frames (packet timestamps), file size, peak memory
# (VmHWM) and the engine's ratio to FFmpeg.
#
#   bench/engine/run.sh [SECONDS]        (default 20 s per recording)
#
# BUILD_DIR points at the build (default: build). Runs itself inside
# scripts/with-test-env.sh.
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
seconds=${1:-20}

# The programs compared with live only here: the bench installs them itself.
need_install() {
  local tool
  for tool in ffmpeg ffprobe ffplay python3; do command -v "$tool" >/dev/null || return 0; done
  return 1
}
if need_install; then
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  echo "run.sh: installing ffmpeg and python3" >&2
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 update -qq &&
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 install -y -q \
      --no-install-recommends ffmpeg python3 || { echo "run.sh: could not install ffmpeg" >&2; exit 1; }
fi

if [ "${SR_BENCH_INSIDE:-0}" != 1 ]; then
  export SR_BENCH_INSIDE=1
  exec bash "$root/scripts/with-test-env.sh" bash "${BASH_SOURCE[0]}" "$seconds"
fi

build=${BUILD_DIR:-$root/build}
driver=$build/bin/sr_bench_engine
[ -x "$driver" ] || { echo "run.sh: $driver is missing: build the target sr_bench_engine" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/sr-bench.XXXXXX")
player=""
cleanup() {
  if [ -n "$player" ]; then
    kill "$player" 2>/dev/null
    sleep 0.5
    kill -KILL "$player" 2>/dev/null
    wait "$player" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# The X server of this environment, for its share of the work.
xvfb=""
for d in /proc/[0-9]*; do
  cmd=$(tr '\0' ' ' <"$d/cmdline" 2>/dev/null) || continue
  case "$cmd" in
    Xvfb\ "$DISPLAY"\ *) xvfb=${d#/proc/}; break ;;
  esac
done
[ -n "$xvfb" ] || { echo "run.sh: no Xvfb for $DISPLAY" >&2; exit 1; }
ticks=$(getconf CLK_TCK)
xticks() { awk '{ print $14 + $15 }' "/proc/$xvfb/stat"; }

# Moving content on the whole screen, a new picture every 1/60 s.
SDL_VIDEODRIVER=x11 SDL_RENDER_DRIVER=software SDL_AUDIODRIVER=dummy \
  ffplay -loglevel error -an -noborder -left 0 -top 0 -x 1920 -y 1080 -alwaysontop \
  -f lavfi "testsrc2=size=1920x1080:rate=60" >"$work/ffplay.log" 2>&1 &
player=$!
sleep 3
kill -0 "$player" 2>/dev/null || { echo "run.sh: ffplay did not start"; cat "$work/ffplay.log"; exit 1; }

# frames, largest gap in frame periods, seconds, bytes
facts() {
  local file=$1 fps=$2
  ffprobe -v error -select_streams v:0 -show_entries packet=pts_time -of csv=p=0 "$file" |
    python3 -c '
import sys, os
fps = float(sys.argv[2])
t = sorted(float(x) for x in sys.stdin.read().split() if x not in ("", "N/A"))
gap = max((b - a for a, b in zip(t, t[1:])), default=0.0)
dur = (t[-1] - t[0] + 1.0 / fps) if t else 0.0
print(len(t), "%.2f" % (gap * fps), "%.2f" % dur, os.path.getsize(sys.argv[1]))
' "$file" "$fps"
}

field() { sed -n "s/.*$1=\([^ ]*\).*/\1/p" | head -n 1; }

# label, w, h, x, y, fps
scenario() {
  local label=$1 w=$2 h=$3 x=$4 y=$5 fps=$6
  local expected=$((seconds * fps))

  local x0 x1 out line
  out=$work/engine.mp4
  x0=$(xticks)
  line=$("$driver" record "$out" "$seconds" "$fps" "$x" "$y" "$w" "$h" 1 3 0 2>"$work/engine.log")
  x1=$(xticks)
  local e_cpu e_hwm e_x e_rep
  e_cpu=$(echo "$line" | field cpu)
  e_hwm=$(echo "$line" | field hwm_kb)
  e_x=$((x1 - x0))
  e_rep=$(sed -n 's/.*finished: [0-9]* frames, \([0-9]*\) of them repeated.*/\1/p' "$work/engine.log" | tail -n 1)
  read -r e_frames e_gap e_dur e_size < <(facts "$out" "$fps")

  out=$work/ffmpeg.mp4
  x0=$(xticks)
  line=$("$driver" run -- ffmpeg -nostdin -v error -y -f x11grab -draw_mouse 0 -framerate "$fps" \
    -video_size "${w}x${h}" -i "$DISPLAY+$x,$y" -t "$seconds" -c:v libx264 -preset veryfast -crf 23 \
    -pix_fmt yuv420p "$out" 2>"$work/ffmpeg.log")
  x1=$(xticks)
  local f_cpu f_hwm f_x
  f_cpu=$(echo "$line" | field cpu)
  f_hwm=$(echo "$line" | field hwm_kb)
  f_x=$((x1 - x0))
  read -r f_frames f_gap f_dur f_size < <(facts "$out" "$fps")

  python3 - "$label" "$expected" "$ticks" "$e_cpu" "$e_x" "$e_hwm" "$e_frames" "$e_gap" "$e_dur" "$e_size" "${e_rep:-?}" \
    "$f_cpu" "$f_x" "$f_hwm" "$f_frames" "$f_gap" "$f_dur" "$f_size" <<'PY'
import sys
a = sys.argv[1:]
label, expected, ticks = a[0], int(a[1]), float(a[2])
a = a[:2] + a[3:]
def row(name, cpu, xs, hwm, frames, gap, dur, size, extra=""):
    cpu, xs, dur = float(cpu), float(xs) / ticks, float(dur)
    per_min = (cpu + xs) / dur * 60 if dur > 0 else float("nan")
    print("  %-7s cpu %6.1f s/min (recorder %5.1f + X %4.1f s over %5.1f s)  frames %5d/%d (%5.1f%%)  "
          "largest gap %s frames  size %6.1f MB  peak %5.0f MB%s"
          % (name, per_min, cpu, xs, dur, int(frames), expected, 100.0 * int(frames) / expected, gap,
             int(size) / 1e6, int(hwm) / 1024, extra))
    return per_min, int(hwm)
print(label)
e = row("engine", a[2], a[3], a[4], a[5], a[6], a[7], a[8], "  repeated slots %s" % a[9])
f = row("ffmpeg", a[10], a[11], a[12], a[13], a[14], a[15], a[16])
print("  ratio engine/ffmpeg: cpu %.2f  memory %.2f" % (e[0] / f[0], e[1] / f[1]))
PY
}

echo "engine vs ffmpeg x11grab, libx264 veryfast CRF 23, ${seconds} s each, $(nproc) cores"
scenario "1920x1080 at 30 fps" 1920 1080 0 0 30
scenario "1920x1080 at 60 fps" 1920 1080 0 0 60
scenario "1280x720 region at 30 fps" 1280 720 320 180 30
