#!/bin/bash
# Usage: screenshots.sh [OUTDIR]
#
# Saves pictures of the program's windows for looking at, made inside the
# private test environment (scripts/with-test-env.sh: Xvfb 1920x1080,
# openbox, a null sound sink) with the real engine:
#   home-tiles.png, page-video.png, page-window.png, page-audio.png,
#   page-webcam.png      the frame window on each page of the home window
#   page-video-screen.png, page-webcam-screen.png
#                        the whole screen (region box, message box)
# and, when their makers are part of the build:
#   cropbox-over-window.png, crosshair.png   the region box and the
#                        cross-hair selection (tools/overlay_demo)
#   presets.png, countdown-*.png  the preset menu and the start countdown
#                        (tools/guide_demo)
#   guide-*.png, plugin-*.png  each page of the permissions guide and the
#                        audio plug-in dialog, the engine double telling
#                        what is missing (tools/guide_pages_demo)
#   preview-playing.png, preview-trim.png, preview-sound.png
#                        the preview window (tools/preview_demo)
#   webcam-options.png, webcam-idle.png, webcam-recording.png
#                        the webcam options with two test cameras, then the
#                        webcam recorder on the one chosen (tools/webcam_demo)
#   strip-*.png, watermark-manager.png, floating-panel.png, quit-prompt.png,
#   pinned-picture.png, list-history-filter.png, list-watermark-position.png,
#   feedback.png,
#   prefs-*.png, task-schedule.png
#                        the smaller windows (tools/dialogs_demo)
# OUTDIR defaults to <build>/screenshots; BUILD_DIR picks the build folder.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}

if [ "${SR_SCREENSHOTS_INSIDE:-0}" != 1 ]; then
  out=${1:-$build_dir/screenshots}
  targets=(home_shots)
  [ -f "$root/tools/overlay_demo.cpp" ] && targets+=(overlay_demo)
  [ -f "$root/tools/guide_demo.cpp" ] && targets+=(guide_demo)
  [ -f "$root/tools/guide_pages_demo.cpp" ] && targets+=(guide_pages_demo)
  [ -f "$root/tools/preview_demo.cpp" ] && targets+=(preview_demo)
  [ -f "$root/tools/webcam_demo.cpp" ] && targets+=(webcam_demo)
  [ -f "$root/tools/dialogs_demo.cpp" ] && targets+=(dialogs_demo)
  BUILD_DIR=$build_dir "$root/scripts/build.sh" "${targets[@]}" >/dev/null
  mkdir -p "$out"
  out=$(cd "$out" && pwd)
  export SR_SCREENSHOTS_INSIDE=1 BUILD_DIR=$build_dir
  exec "$root/scripts/with-test-env.sh" "$0" "$out"
fi

# ---- inside the test environment ---------------------------------------------
out=$1
bin=$build_dir/bin
isolated=$root/tests/support/isolated.sh
failed=0

say() { echo "screenshots: $*" >&2; }

# Runs an overlay maker in the background, waits for its "ready" line,
# photographs the screen and stops it again (by its own pid).
overlay_shot() {
  local name=$1 log pid i
  shift
  log=$(mktemp)
  "$bin/overlay_demo" "$@" --seconds 20 >"$log" 2>&1 &
  pid=$!
  for ((i = 0; i < 100; i++)); do
    grep -q '^ready' "$log" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if grep -q '^ready' "$log"; then
    sleep 0.5
    import -window root "$out/$name.png" && echo "$out/$name.png"
  else
    say "overlay_demo $1 did not get ready"
    failed=1
  fi
  kill "$pid" 2>/dev/null || true
  for ((i = 0; i < 30; i++)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  rm -f "$log"
}

"$isolated" "$bin/home_shots" "$out" || { say "home_shots failed"; failed=1; }

if [ -x "$bin/overlay_demo" ]; then
  overlay_shot cropbox-over-window cropbox 480 270 960 540
  overlay_shot crosshair crosshair --band 600 300 640 360
fi

if [ -x "$bin/guide_pages_demo" ]; then
  # name, then kind, refusal (1 no device, 2 no access, 3 no service),
  # showGuide and the guide_pages_demo options that follow
  while read -r name args; do
    # shellcheck disable=SC2086
    "$isolated" "$bin/guide_pages_demo" guide "$out/guide-$name.png" $args >/dev/null ||
      { say "guide_pages_demo guide $name failed"; failed=1; }
  done <<'PAGES'
camera-no-access 0 2 0
camera-none 0 1 0
mic-no-server 1 3 0
mic-no-input 1 1 0 en settings
screen-first 2 3 1
screen-asked 2 3 0
screen-first-ar 2 3 1 ar
pointer-first 3 3 1
PAGES
  for page in "0 0 warning" "1 1 working" "1 0 invalid"; do
    # shellcheck disable=SC2086
    set -- $page
    "$isolated" "$bin/guide_pages_demo" plugin "$out/plugin-$3.png" "$1" "$2" >/dev/null ||
      { say "guide_pages_demo plugin $3 failed"; failed=1; }
  done
  ls "$out"/guide-*.png "$out"/plugin-*.png 2>/dev/null || true
fi

if [ -x "$bin/guide_demo" ]; then
  "$isolated" "$bin/guide_demo" presets "$out/presets.png" >/dev/null || failed=1
  "$isolated" "$bin/guide_demo" countdown "$out/countdown" >/dev/null || failed=1
  ls "$out"/presets.png "$out"/countdown-*.png 2>/dev/null || true
fi

if [ -x "$bin/preview_demo" ]; then
  "$isolated" "$bin/preview_demo" "$out/preview" 2>/dev/null || { say "preview_demo failed"; failed=1; }
fi

if [ -x "$bin/webcam_demo" ]; then
  "$isolated" "$bin/webcam_demo" "$out/webcam" 2>/dev/null || { say "webcam_demo failed"; failed=1; }
fi
if [ -x "$bin/dialogs_demo" ]; then
  "$isolated" "$bin/dialogs_demo" "$out" >/dev/null 2>&1 || { say "dialogs_demo failed"; failed=1; }
fi

exit "$failed"
