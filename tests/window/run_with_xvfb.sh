#!/usr/bin/env bash
# Runs a command on a private Xvfb (its own display, 1600x1200, 24 bits) with
# Qt's X11 platform, and ends the server after it.
#
#   run_with_xvfb.sh COMMAND [ARGS...]
set -uo pipefail
work=$(mktemp -d)
chmod 700 "$work"
Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
trap 'kill -TERM "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT
for ((i = 0; i < 100; i++)); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || { echo "run_with_xvfb: Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=:$(head -n1 "$work/display") XDG_RUNTIME_DIR=$work
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
"$@"
