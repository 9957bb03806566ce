#!/bin/bash
# Three screen recorders side by side at the same encoder settings (H.264,
# libx264 veryfast, CRF 23, the same frame rate and area): this engine,
# `ffmpeg -f x11grab [-f pulse]` and Debian's simplescreenrecorder (driven
# through --settingsfile and its commands on standard input).
#
# Cases (all on the whole 1920x1080 screen of a private Xvfb):
#   1080p30, 1080p60  moving content: FFmpeg's testsrc2 at 60 fps played
#                     full-screen by ffplay.
#   still             a mostly still desktop: a full-screen xterm that
#                     xdotool types into (30 fps).
#   avsync            sound: each second the screen flashes and a beep
#                     sounds (sr_bench_flasher, 30 fps recording).
#                     The engine records it twice, once plainly and once
#                     with two pauses through its interface; so does
#                     simplescreenrecorder (record-pause on its input).
#                     ffmpeg cannot pause: only its plain figures exist.
#   spike             1080p60 testsrc2 with every core busy (stress-ng) for
#                     the first third of the recording, the engine only:
#                     the steps of its capture rate (from its log, seconds
#                     after the start) and the new pictures per second in
#                     its file, per sixth of the recording. The rate must
#                     come back once the load is gone.
#
# Figures per recorder:
#   CPU s per recorded minute: the recorder's own CPU (getrusage of the
#     process, all threads, start-up included) plus the X server's extra
#     share (Xvfb's ticks during the recording minus its ticks at the same
#     rate measured with the content running and no recorder), divided by
#     the recorded span.
#   peak: the recorder's VmHWM (ru_maxrss).
#   size: the file's bytes; frames: video packets against fps x seconds;
#     gap: the largest gap between frames in frame periods.
#   quality (PSNR, RGB, dB):
#     moving content: every recorded frame is paired with the testsrc2
#       frame it shows (found on small copies) and up to about 150 pairs are
#       compared at full size; "mean / 5th percentile". The player's own
#       colour conversion is in every figure alike.
#     still: typing stops 1.5 s before the end; the recording's last frame
#       against a lossless screenshot taken after it.
#   A/V offset (avsync): for each flash, picture start minus beep start,
#     median and largest over the flashes, per stretch between pauses.
#     The flash's start is read to 4 ms from the bar it draws, and the
#     flasher has the sound server play the beep at the flash's moment by
#     its reported latency (see flasher.cpp and analyse.py).
#
#   bench/engine/run.sh [SECONDS] [CASES]   default 20 s, CASES a comma list
#                                           (default 1080p30,1080p60,still,avsync;
#                                           spike only when named, best at 60 s)
#   bench/engine/run.sh --long              the avsync case over 10 minutes
#
# SR_BENCH_SOUND_RUNS narrows the avsync case to some of its runs (engine
# engine-paused ffmpeg ssr ssr-paused), e.g. for a 10-minute engine-paused.
#
# SR_BENCH_KEEP=1 keeps the recordings. BUILD_DIR points at the build
# (default: build; targets sr_bench_engine and sr_bench_flasher).
# The script installs the peers it compares with and runs itself inside
# scripts/with-test-env.sh. CPU figures shift with whatever else runs:
# compare within one run.
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
here=$root/bench/engine
seconds=20
cases=1080p30,1080p60,still,avsync
if [ "${1:-}" = --long ]; then
  seconds=600
  cases=avsync
else
  seconds=${1:-20}
  cases=${2:-$cases}
fi
py=/usr/bin/python3

need_install() {
  local tool
  for tool in ffmpeg ffprobe ffplay simplescreenrecorder xterm xdotool stress-ng; do
    command -v "$tool" >/dev/null || return 0
  done
  "$py" -c 'import numpy' 2>/dev/null || return 0
  return 1
}
if need_install; then
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  echo "run.sh: installing ffmpeg, simplescreenrecorder, xterm, xdotool, stress-ng, numpy" >&2
  apt=("${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300)
  "${apt[@]}" update -qq &&
    "${apt[@]}" install -y -q --no-install-recommends ffmpeg simplescreenrecorder xterm xdotool \
      stress-ng python3 python3-numpy || { echo "run.sh: could not install the peers" >&2; exit 1; }
fi

if [ "${SR_BENCH_INSIDE:-0}" != 1 ]; then
  export SR_BENCH_INSIDE=1
  exec bash "$root/scripts/with-test-env.sh" bash "${BASH_SOURCE[0]}" "$seconds" "$cases"
fi

build=${BUILD_DIR:-$root/build}
driver=$build/bin/sr_bench_engine
for tool in "$driver" "$build/bin/sr_bench_flasher"; do
  [ -x "$tool" ] || { echo "run.sh: $tool is missing: build sr_bench_engine and sr_bench_flasher" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/sr-bench.XXXXXX")
helpers=()
stop_helpers() {
  local pid
  for pid in "${helpers[@]}"; do kill "$pid" 2>/dev/null; done
  sleep 0.5
  for pid in "${helpers[@]}"; do
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  helpers=()
}
cleanup() {
  stop_helpers
  if [ "${SR_BENCH_KEEP:-0}" = 1 ]; then echo "run.sh: files kept in $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT

# The X server of this environment, for its share of the work.
xvfb=""
for d in /proc/[0-9]*; do
  cmd=$(tr '\0' ' ' 2>/dev/null <"$d/cmdline") || continue
  case "$cmd" in
    Xvfb\ "$DISPLAY"\ *) xvfb=${d#/proc/}; break ;;
  esac
done
[ -n "$xvfb" ] || { echo "run.sh: no Xvfb for $DISPLAY" >&2; exit 1; }
ticks=$(getconf CLK_TCK)
xticks() { awk '{ print $14 + $15 }' "/proc/$xvfb/stat"; }
now() { date +%s.%N; }
source=$(pactl get-default-sink 2>/dev/null).monitor

# Xvfb's ticks per second with the content alone, over 4 s.
xbase=0
measure_xbase() {
  local x0 t0 x1 t1
  x0=$(xticks); t0=$(now)
  sleep 4
  x1=$(xticks); t1=$(now)
  xbase=$("$py" -c "print(($x1 - $x0) / ($t1 - $t0))")
}

play() {
  SDL_VIDEODRIVER=x11 SDL_RENDER_DRIVER=software "$@" >>"$work/player.log" 2>&1 &
  helpers+=($!)
}

# Moving picture: testsrc2 at 60 fps, started anew for each recording so
# that its first frames lie within the analyser's search.
start_testsrc() {
  SDL_AUDIODRIVER=dummy play ffplay -loglevel error -an -noborder -left 0 -top 0 -x 1920 -y 1080 \
    -alwaysontop -f lavfi "testsrc2=size=1920x1080:rate=60"
  sleep 2
}

# A flash and a beep at the start of every second (see flasher.cpp).
start_flash() {
  play "$build/bin/sr_bench_flasher" $((seconds + 30))
  sleep 2
}

start_xterm() {
  play xterm -geometry 320x83+0+0 -bg black -fg grey90 -e cat
  local wid=""
  for _ in $(seq 50); do
    wid=$(xdotool search --class xterm 2>/dev/null | head -n 1)
    [ -n "$wid" ] && break
    sleep 0.1
  done
  xdotool windowactivate --sync "$wid" >/dev/null 2>&1 || xdotool windowfocus "$wid" >/dev/null 2>&1
  sleep 1
}

# Types steadily for SECONDS - 1.5 s, so the last stretch is still. The
# delay lets a recorder open its window first; the terminal gets the focus
# back.
start_typing() {
  local delay=$1 until=$2
  (
    sleep "$delay"
    wid=$(xdotool search --class xterm 2>/dev/null | head -n 1)
    xdotool windowactivate --sync "$wid" || xdotool windowfocus "$wid"
    start=$(date +%s%N)
    end=$((start / 1000000 + until))
    past() { now_ms=$(date +%s%N) && [ $((now_ms / 1000000)) -ge "$end" ]; }
    until past; do
      # A word at a time, so that the typing ends on time.
      for word in the quick brown fox jumps over the lazy dog 0123456789; do
        past && break
        xdotool type --delay 90 "$word "
      done
      xdotool key Return
    done
  ) >/dev/null 2>&1 &
  helpers+=($!)
}

field() { sed -n "s/.*$1=\([^ ]*\).*/\1/p" | head -n 1; }

# Runs one recorder; leaves cpu, hwm, xs (X server's extra seconds), file.
cpu=0 hwm=0 xs=0 file=""
record() {
  local who=$1 fps=$2 sound=$3
  shift 3
  local x0 t0 x1 t1 line
  file=$work/$who-$RANDOM.mp4
  x0=$(xticks); t0=$(now)
  case $who in
    engine)
      local flags=()
      [ "$sound" = 1 ] && flags+=(--sound)
      for p in "$@"; do flags+=(--pause "$p"); done
      line=$("$driver" record "$file" "$seconds" "$fps" 0 0 1920 1080 1 3 0 "${flags[@]}" 2>"$work/engine.log")
      ;;
    ffmpeg)
      local audio=()
      [ "$sound" = 1 ] && audio=(-f pulse -i "$source" -c:a aac -b:a 128k)
      line=$("$driver" run -- ffmpeg -nostdin -v error -y -f x11grab -draw_mouse 0 -framerate "$fps" \
        -video_size 1920x1080 -i "$DISPLAY+0,0" "${audio[@]}" -t "$seconds" -c:v libx264 -preset veryfast \
        -crf 23 -pix_fmt yuv420p "$file" 2>"$work/ffmpeg.log")
      ;;
    ssr)
      ssr_settings "$fps" "$sound" >"$work/ssr.conf"
      line=$(ssr_commands "$@" |
        "$driver" run -- simplescreenrecorder --settingsfile="$work/ssr.conf" --no-systray --start-hidden \
        2>"$work/ssr.log")
      ;;
  esac
  x1=$(xticks); t1=$(now)
  cpu=$(echo "$line" | field cpu)
  hwm=$(echo "$line" | field hwm_kb)
  xs=$("$py" -c "print(max(0.0, (($x1 - $x0) - $xbase * ($t1 - $t0)) / $ticks))")
}

# Its commands on standard input; pauses as for the engine (AT,FOR).
ssr_commands() {
  local wall=0 recorded=0 p at len run
  sleep 1
  echo record-start
  for p in "$@"; do
    at=${p%,*} len=${p#*,}
    run=$("$py" -c "print($at - $wall)")
    sleep "$run"
    echo record-pause
    sleep "$len"
    echo record-start
    recorded=$("$py" -c "print($recorded + $run)")
    wall=$("$py" -c "print($at + $len)")
  done
  sleep "$("$py" -c "print(max(0, $seconds - $recorded))")"
  echo record-save
  sleep 1
  echo quit
}

ssr_settings() {
  local fps=$1 sound=$2 enabled=false
  [ "$sound" = 1 ] && enabled=true
  cat <<EOF
[input]
video_area=fixed
video_x=0
video_y=0
video_w=1920
video_h=1080
video_frame_rate=$fps
video_scale=false
video_record_cursor=false
audio_enabled=$enabled
audio_backend=pulseaudio
audio_pulseaudio_source=$source

[output]
file=$file
container=mp4
video_codec=h264
video_h264_crf=23
video_h264_preset=2
video_allow_frame_skipping=false
audio_codec=aac
audio_kbit_rate=128
add_timestamp=false

[record]
hotkey_enable=false
EOF
}

# name fps quality [avsync]: one row of the table.
row() {
  local name=$1 fps=$2 quality=$3 sync=${4:-}
  local frames gap span size
  read -r frames gap span size < <("$py" "$here/analyse.py" facts "$file" "$fps")
  "$py" - "$name" "$cpu" "$xs" "$span" "$hwm" "$size" "$frames" "$((seconds * fps))" "$gap" "$quality" "$sync" <<'PY'
import sys
name, cpu, xs, span, hwm, size, frames, expected, gap, quality, sync = sys.argv[1:]
cpu, xs, span = float(cpu), float(xs), float(span)
per_min = (cpu + xs) / span * 60 if span > 0 else float("nan")
print("  %-22s cpu %5.1f s/min (rec %5.1f + X %4.1f over %5.1f s)  peak %4.0f MB  size %5.1f MB  "
      "frames %5s/%s gap %s  quality %s%s"
      % (name, per_min, cpu, xs, span, int(hwm) / 1024, int(size) / 1e6, frames, expected, gap,
         quality, ("  A/V " + sync) if sync else ""))
PY
}

moving() {
  local fps=$1 who
  echo "1920x1080 at $fps fps, testsrc2 (moving)"
  for who in engine ffmpeg ssr; do
    start_testsrc
    measure_xbase
    record "$who" "$fps" 0
    stop_helpers
    local q
    q=$("$py" "$here/analyse.py" testsrc "$file" "$fps" $(((seconds + 12) * 60)))
    row "$who" "$fps" "$(echo "$q" | awk '{ printf "%s / %s dB", $1, $2 }')"
  done
}

still() {
  local who
  echo "1920x1080 at 30 fps, xterm being typed into (mostly still)"
  for who in engine ffmpeg ssr; do
    start_xterm
    measure_xbase
    local lead=0
    [ "$who" = ssr ] && lead=1
    start_typing "$lead.2" $((seconds * 1000 - 1700))
    record "$who" 30 0
    sleep 1
    ffmpeg -v error -f x11grab -draw_mouse 0 -video_size 1920x1080 -i "$DISPLAY+0,0" -frames:v 1 \
      -y "$work/shot.png"
    stop_helpers
    row "$who" 30 "$("$py" "$here/analyse.py" still "$file" "$work/shot.png") dB"
  done
}

# "stretch:count median/max ms ..." from analyse.py's lines.
offsets() {
  awk '{ printf "%s[%s: %s/%s ms] ", ($1 == 0 ? "" : "after pause " $1 " "), $2, $3, $4 }'
}

avsync() {
  local who
  echo "1920x1080 at 30 fps with sound, a flash and a beep each second (A/V: median/max over n flashes)"
  # Pauses at a third and two thirds of the recorded time, of uneven lengths.
  local third p1 p2
  third=$("$py" -c "print($seconds / 3)")
  p1="$third,2.3"
  p2=$("$py" -c "print('%.3f,1.7' % (2 * $seconds / 3 + 2.3))")
  local cut1 cut2
  cut1=$third
  cut2=$("$py" -c "print(2 * $seconds / 3)")
  for who in ${SR_BENCH_SOUND_RUNS:-engine engine-paused ffmpeg ssr ssr-paused}; do
    start_flash
    measure_xbase
    case $who in
      *-paused)
        record "${who%-paused}" 30 1 "$p1" "$p2"
        stop_helpers
        row "${who%-paused}, 2 pauses" 30 "-" "$("$py" "$here/analyse.py" avsync "$file" "$cut1" "$cut2" | offsets)"
        ;;
      *)
        record "$who" 30 1
        stop_helpers
        row "$who" 30 "-" "$("$py" "$here/analyse.py" avsync "$file" | offsets)"
        ;;
    esac
  done
}

# The engine under a load spike: every core busy for the first third.
spike() {
  local load=$((seconds / 3))
  echo "1920x1080 at 60 fps, testsrc2, every core busy (stress-ng) for the first $load s: the engine's capture rate"
  start_testsrc
  measure_xbase
  stress-ng --cpu "$(nproc)" --timeout "${load}s" --quiet >/dev/null 2>&1 &
  helpers+=($!)
  record engine 60 0
  stop_helpers
  row engine 60 "-"
  # "slowed to"/"back up to" lines, in seconds after "screen recording started".
  awk '
    function secs(t) { split(t, p, ":"); return p[1] * 3600 + p[2] * 60 + p[3] }
    /screen recording started/ { start = secs($2) }
    /screen capture (slowed|back up) to/ && start != "" {
      match($0, /(slowed|back up) to [0-9.]+ fps/)
      printf "    %6.1f s  %s\n", secs($2) - start, substr($0, RSTART, RLENGTH)
    }' "$work/engine.log"
  echo "    new pictures per second, per $((seconds / 6)) s from the start:" \
    $("$py" "$here/analyse.py" rates "$file" $((seconds / 6)) | awk '{ printf "%s ", $2 }')
}

echo "engine / ffmpeg x11grab / simplescreenrecorder, libx264 veryfast CRF 23, ${seconds} s each, $(nproc) cores"
echo "  ($(uname -m), load average $(cut -d' ' -f1-3 /proc/loadavg) at the start)"
for c in ${cases//,/ }; do
  case $c in
    1080p30) moving 30 ;;
    1080p60) moving 60 ;;
    still) still ;;
    avsync) avsync ;;
    spike) spike ;;
    *) echo "run.sh: unknown case $c" >&2 ;;
  esac
done
echo "  (load average $(cut -d' ' -f1-3 /proc/loadavg) at the end)"
