#!/bin/bash
# Makes the screenshots in docs/: the real build/orvandelcaster under Xvfb, its
# monitor window and its About box, at 100 % and at 200 % (QT_SCALE_FACTOR=2):
#   screenshot.png        screenshot-2x.png        the monitor window
#   screenshot-about.png  screenshot-about-2x.png  the About box
#   screenshot-calibrate.png  screenshot-calibrate-2x.png  the calibration dialog
# Without a joystick every axis reads centred. Installs Xvfb, xdotool and
# ImageMagick when missing; builds the program first (scripts/run's build).
#
#   docs/make-screenshot.sh [FOLDER]    (default docs)
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:-docs}

missing=()
command -v Xvfb >/dev/null || missing+=(xvfb)
command -v xdotool >/dev/null || missing+=(xdotool)
command -v xwininfo >/dev/null || missing+=(x11-utils)
# Debian's ImageMagick provides import; a stand-in convert elsewhere does not.
command -v import >/dev/null || missing+=(imagemagick)
if [ ${#missing[@]} -gt 0 ]; then
  sudo=
  [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
[ -f build/build.ninja ] || cmake --preset normal >/dev/null
cmake --build --preset normal --target orvandelcaster

check_name=make-screenshot
source scripts/lib/process_check.sh
export XDG_RUNTIME_DIR=$work
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

start_xvfb 1280x960x24

# The window named $1, once it is shown.
find_window() {
  local window= i
  for ((i = 0; i < 100; i++)); do
    window=$(xdotool search --name "$1" 2>/dev/null | head -n1 || true)
    [ -n "$window" ] && xwininfo -id "$window" | grep -q IsViewable && break
    window=
    sleep 0.1
  done
  [ -n "$window" ] || fail "no window named $1"
  echo "$window"
}

# Both windows at QT_SCALE_FACTOR $1, into files ending in $2.
take_screenshots() {
  QT_SCALE_FACTOR=$1 build/orvandelcaster >"$work/program.out" 2>"$work/program.err" &
  local program=$!
  pids+=($program)
  local monitor
  monitor=$(find_window '^Orvandelcaster$')
  sleep 1  # a few display ticks
  import -window "$monitor" "$folder/screenshot$2.png"
  echo "wrote $folder/screenshot$2.png"
  # "About..." sits at the bottom right of the window, 207, 121 of its 239 x
  # 138 dialog units.
  local WIDTH HEIGHT
  eval "$(xdotool getwindowgeometry --shell "$monitor" | grep -E '^(WIDTH|HEIGHT)=')"
  xdotool mousemove --window "$monitor" $((WIDTH * 207 / 239)) $((HEIGHT * 121 / 138)) click 1
  local about
  about=$(find_window '^About Orvandelcaster$')
  sleep 0.5
  import -window "$about" "$folder/screenshot-about$2.png"
  echo "wrote $folder/screenshot-about$2.png"
  kill -TERM "$program"
  wait_exit "$program" 10
}

take_screenshots 1 ""
take_screenshots 2 -2x

# The calibration dialog (screenshot-calibrate.png, -2x): the real program has
# no device here, so its end-to-end test takes the picture, over the fake
# joystick with a gamepad's right stick chosen for X, turned and calibrated.
cmake --build --preset normal --target window_calibrate_tests
for scale in 1 2; do
  suffix=
  [ "$scale" = 2 ] && suffix=-2x
  QT_SCALE_FACTOR=$scale CALIBRATE_SCREENSHOT="$PWD/$folder/screenshot-calibrate$suffix.png" \
    tests/window/run_with_xvfb.sh build/tests/window/window_calibrate_tests \
    --gtest_filter='*SavedAndServed' >/dev/null || fail "the calibration test failed"
  echo "wrote $folder/screenshot-calibrate$suffix.png"
done
