#!/usr/bin/env bash
# Runs the real orvandelcaster.exe under Wine in a window on Xvfb, beside real
# capture clients, and checks how it serves and ends:
#   - the monitor window is shown;
#   - capture-probe.exe finds the server through the registry object and reads
#     its description, its channel table and data blocks;
#   - a Linux client (the Linux capture-probe, by address) is served over
#     loopback: Wine's sockets are the host's;
#   - so is the Python client, by address, with the exact centred values;
#   - Esc ends the program with status 0 and nothing on standard error;
#   - orvandelcaster.exe --version answers in a box that a key press
#     dismisses, with status 0 (and on standard output, which it has here);
#   - capture-probe.exe devices says there is no joystick, with status 0;
#   - two instances side by side, each with a settings file of its own
#     (--settings) that names it, each with its name as its caption and each
#     found through the registry by capture-probe.exe --name.
#
#   wine_window_test.sh [SCREENSHOT.png]
#
# Needs WINE_RUN (scripts/wine-run --prefix=DIR, started), ORVANDEL_EXE and
# PROBE_EXE; LINUX_PROBE, when set, is the Linux capture-probe, and
# PYTHON_CLIENT, when set, the folder of the Python package. With an
# argument it also writes a picture of the window there. The registry object
# is this test's own (ORVANDELCASTER_REGISTRY), never the user's.
set -uo pipefail

screenshot=${1:-}
: "${WINE_RUN:?}" "${ORVANDEL_EXE:?}" "${PROBE_EXE:?}"
read -r -a wine_run <<<"$WINE_RUN"
check_name=wine_window
source "$(dirname "$0")/../../scripts/lib/process_check.sh"

# The run's display, which wine-run --start made for every Wine program.
prefix=${WINE_RUN##*--prefix=}
[ -s "$prefix.display" ] || fail "no display: run scripts/wine-run --start first"
export DISPLAY=:$(head -n1 "$prefix.display")

"${wine_run[@]}" "$ORVANDEL_EXE" >"$work/server.out" 2>"$work/server.err" &
server=$!
pids+=($server)

# Sets window to the first viewable window named TITLE (by default
# Orvandelcaster, the title of the monitor window and of the program's boxes)
# that is not among BEFORE (window ids, one a line), as the X server sees it;
# fails when PID ends first or none shows within 30 s.
#   wait_for_window PID WHAT [BEFORE [TITLE]]
wait_for_window() {
  local pid=$1 what=$2 before=${3:-} title=${4:-Orvandelcaster} candidate i
  window=
  for ((i = 0; i < 300; i++)); do
    for candidate in $(xdotool search --name "^$title\$" 2>/dev/null); do
      grep -qx "$candidate" <<<"$before" && continue
      xwininfo -id "$candidate" 2>/dev/null | grep -q IsViewable && { window=$candidate; return; }
    done
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"
      fail "$what ended with status $? before its window showed"
    fi
    sleep 0.1
  done
  fail "$what showed no window named $title"
}

wait_for_window "$server" orvandelcaster.exe
main_window=$window

# Its lines end in CR LF, as Windows text output does.
probe() { "${wine_run[@]}" "$PROBE_EXE" "$@"; }

# The port published under the name, as a Windows client reads the registry
# object; empty when it does not show within 10 s.
published_port() {
  local port i
  for ((i = 0; i < 100; i++)); do
    port=$(probe list 2>>"$work/probe.err" | tr -d "\r" | awk '$3 == "Orvandelcaster" { print $2; exit }')
    [ -n "$port" ] && break
    sleep 0.1
  done
  echo "$port"
}

port=$(published_port)
[ -n "$port" ] || fail "capture-probe.exe list never showed Orvandelcaster"

probe info >"$work/info.out" 2>>"$work/probe.err" || fail "capture-probe.exe info failed"
for channel in X Y Rudder Thrust; do
  grep -qw "$channel" "$work/info.out" || fail "no channel $channel in the channel table"
done
probe watch --count 2 --plain >"$work/watch.out" 2>>"$work/probe.err" ||
  fail "capture-probe.exe watch failed"
[ "$(grep -cE '^[0-9]+ [0-9.]+ X=' "$work/watch.out")" = 2 ] || fail "watch did not give two data blocks"
# No joystick under Wine here: every axis reads centred, (32767 - 32767.5) / 65535.
grep -q 'X=-0.000008 Y=-0.000008 Rudder=-0.000008 Thrust=-0.000008' "$work/watch.out" ||
  fail "the values are not the centred ones"

if [ -n "${LINUX_PROBE:-}" ]; then
  [ -x "$LINUX_PROBE" ] || fail "no Linux capture-probe at $LINUX_PROBE: build the normal build first"
  # The port changes with every session: read it again.
  port=$(published_port)
  [ -n "$port" ] || fail "the name was not published again after the sessions"
  "$LINUX_PROBE" --address "127.0.0.1:$port" info >"$work/linux.out" 2>"$work/linux.err" ||
    fail "the Linux client was not served"
  grep -qw Thrust "$work/linux.out" || fail "the Linux client read no channel table"
fi

if [ -n "${PYTHON_CLIENT:-}" ]; then
  port=$(published_port)
  [ -n "$port" ] || fail "the name was not published again for the Python client"
  PYTHONPATH=$PYTHON_CLIENT PYTHONDONTWRITEBYTECODE=1 python3 - "127.0.0.1:$port" \
    >"$work/python.out" 2>&1 <<'PYTHON' || fail "the Python client: $(cat "$work/python.out")"
import struct, sys
import orvandelcaster
with orvandelcaster.connect(address=sys.argv[1]) as server:
    info, channels, values = server.server_info(), server.channels(), server.read()
centred = struct.unpack("f", struct.pack("f", (32767 - 32767.5) / 65535))[0]
names = [channel.name for channel in channels]
if info.name != "Orvandelcaster" or names != ["X", "Y", "Rudder", "Thrust"]:
    sys.exit(f"served {info} with the channels {names}")
if values != dict.fromkeys(names, centred):
    sys.exit(f"read {values}, not the centred values")
PYTHON
fi

if [ -n "$screenshot" ]; then
  sleep 1  # a few display ticks
  import -window "$main_window" "$screenshot" || fail "no screenshot"
fi

# Esc, as a person presses it on the focused window.
xdotool windowfocus --sync "$main_window" 2>/dev/null || true
xdotool key --clearmodifiers Escape
wait_exit "$server" 10
[ "$status" = 0 ] || fail "Esc ended the program with status $status"
[ -s "$work/server.err" ] && fail "standard error was not empty"

# Two instances by name, side by side: a settings file each, given as a
# Windows program is given a path (Wine shows the host's / as Z:).
named=()
for stick in one two; do
  printf 'name = Stick %s\r\n' "$stick" >"$work/$stick.conf"
  "${wine_run[@]}" "$ORVANDEL_EXE" --settings "Z:$work/$stick.conf" \
    >"$work/$stick.out" 2>"$work/$stick.err" &
  named+=("$!")
  pids+=("$!")
  wait_for_window "$!" "orvandelcaster.exe --settings $stick.conf" "" "Stick $stick"
done
for stick in one two; do
  for ((i = 0; i < 100; i++)); do
    probe info --name "Stick $stick" >"$work/info-$stick.out" 2>>"$work/probe.err" && break
    sleep 0.1
  done
  tr -d '\r' <"$work/info-$stick.out" | grep -qx "Server: *Stick $stick" ||
    fail "capture-probe.exe info --name \"Stick $stick\" did not reach it"
done
# Wine gives the keyboard to the newest program's window only, so Esc could
# not reach the older one; its end by Esc is the first instance's, above.
for index in 0 1; do
  kill -TERM "${named[index]}"
  wait_exit "${named[index]}" 10
done

# --version: a new window named Orvandelcaster, the box, dismissed as a
# person would, with Return.
windows_before=$(xdotool search --name '^Orvandelcaster$' 2>/dev/null || true)
"${wine_run[@]}" "$ORVANDEL_EXE" --version >"$work/version.out" 2>"$work/version.err" &
version=$!
pids+=("$version")
wait_for_window "$version" "orvandelcaster.exe --version" "$windows_before"
box=$window
kill -0 "$version" 2>/dev/null || fail "orvandelcaster.exe --version ended before its box was dismissed"
xdotool windowfocus --sync "$box" 2>/dev/null || true
xdotool key --clearmodifiers Return
wait_exit "$version" 10
[ "$status" = 0 ] || fail "--version ended with status $status"
[ "$(head -n1 "$work/version.out" | tr -d '\r')" = "orvandelcaster (Orvandelcaster) ${VERSION:?}" ] ||
  fail "--version printed '$(head -n1 "$work/version.out")'"

# No joystick under Wine: the listing says so, and which id joystick 0 is.
probe devices >"$work/devices.out" 2>"$work/devices.err" ||
  fail "capture-probe.exe devices ended with status $?"
tr -d '\r' <"$work/devices.out" >"$work/devices.txt"
grep -q '^No joystick: ' "$work/devices.txt" || fail "devices does not say there is no joystick"
grep -q '^Joystick 0: No joystick$' "$work/devices.txt" || fail "devices names a joystick 0"
grep -q "id 0 (JOYSTICKID1)" "$work/devices.txt" || fail "devices does not say which id is joystick 0"
echo "PASS"
