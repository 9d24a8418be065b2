#!/bin/bash
# Makes docs/screenshot.png: the real build/orvandelcaster in its window under
# Xvfb, as it shows joystick 0 (without a joystick every axis reads centred).
# Installs Xvfb, xdotool and ImageMagick when missing; builds the program
# first (scripts/run's build).
#
#   docs/make-screenshot.sh [OUTPUT]
set -euo pipefail
cd "$(dirname "$0")/.."
output=${1:-docs/screenshot.png}

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
start_xvfb 640x480x24
export XDG_RUNTIME_DIR=$work
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

build/orvandelcaster &
pids+=($!)
window=
for ((i = 0; i < 100; i++)); do
  window=$(xdotool search --name '^Orvandelcaster$' 2>/dev/null | head -n1 || true)
  [ -n "$window" ] && xwininfo -id "$window" | grep -q IsViewable && break
  sleep 0.1
done
[ -n "$window" ] || fail "no window"
sleep 1  # a few display ticks
import -window "$window" "$output"
echo "wrote $output"
