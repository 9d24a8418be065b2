#!/usr/bin/env bash
# Record and replay with the real programs.
#
#   replay_test.sh CASE
#
#   round_trip  capture-probe record takes two seconds of a moving fake stick
#               (the server fixture); orvandelcaster, headless and with no stick,
#               plays the file (joystick = replay:FILE, relative to the settings
#               file's folder) and a second recording of it holds the same
#               values, bit for bit, at the same times within one sampling
#               period; each new session plays from the start
#   bad_files   a missing file, a directory, a FIFO, a binary file, a bad row and
#               a 65 MiB file: joystick 0 is "not found" with the reason on
#               standard output and in capture-probe devices, the server serves
#               centred values, and SIGTERM ends it within a second
#
# Needs SERVER_FIXTURE, CAPTURE_PROBE and ORVANDEL_EXE. Each run has a registry
# of its own (ORVANDELCASTER_REGISTRY), never the user's.
set -uo pipefail

case_name=${1:?usage: replay_test.sh CASE}
check_name=replay_$case_name
source "$(dirname "$0")/../../scripts/lib/process_check.sh"

unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM XDG_RUNTIME_DIR ORVANDELCASTER_JOYSTICK
export TMPDIR=$work/tmp XDG_CONFIG_HOME=$work/config
mkdir -p "$TMPDIR" "$XDG_CONFIG_HOME/orvandelcaster"
settings=$XDG_CONFIG_HOME/orvandelcaster/settings.conf
period=0.02  # capture-probe record's default rate, 50 Hz

# Waits until the server of this run's registry listens for a client (after
# a session it publishes anew).
wait_for_server() {
  local i
  for ((i = 0; i < 100; i++)); do
    "$CAPTURE_PROBE" list 2>/dev/null | grep -q ' Orvandelcaster  *serving$' && return 0
    sleep 0.1
  done
  fail "no server answered within 10 s"
}

# Starts orvandelcaster headless; sets program.
start_program() {
  "$ORVANDEL_EXE" >"$work/program.out" 2>"$work/program.err" &
  program=$!
  pids+=("$program")
  wait_for_server
}

# SIGTERM ends the program within a second, with status 0.
stop_program() {
  kill -TERM "$program"
  wait_exit "$program" 1
  [ "$status" -eq 0 ] || fail "exit status $status after SIGTERM, not 0"
}

# Waits for the program's serving line and checks what it says of joystick 0.
expect_state_line() {
  local line="Orvandelcaster: serving \"Orvandelcaster\" in $ORVANDELCASTER_REGISTRY; joystick 0: $1" i
  for ((i = 0; i < 50; i++)); do
    [ "$(head -n 1 "$work/program.out")" = "$line" ] && return 0
    sleep 0.1
  done
  fail "the state line is not: $line"
}

case $case_name in
  round_trip)
    coproc FIXTURE { exec "$SERVER_FIXTURE" --fake-joystick 2>"$work/fixture.err"; }
    pids+=("$FIXTURE_PID")
    move() {
      local answer
      echo "axes $*" >&"${FIXTURE[1]}"
      read -r -t 5 -u "${FIXTURE[0]}" answer && [ "$answer" = ok ] || fail "the fixture did not take: axes $*"
    }
    move 0 65535 32767 12345
    wait_for_server
    "$CAPTURE_PROBE" record --seconds 2 --output "$work/first.csv" 2>"$work/record1.err" &
    recorder=$!
    pids+=("$recorder")
    # A new position every 0.1 s, the edges among them, until the recording ends.
    for ((step = 1; step < 40; step++)); do
      kill -0 "$recorder" 2>/dev/null || break
      move $((step * 2971 % 65536)) $((65535 - step * 1237 % 65536)) $((step * 40503 % 65536)) $((step % 2 * 65535))
      sleep 0.1
    done
    wait_exit "$recorder" 5
    [ "$status" -eq 0 ] || fail "the first recording ended with status $status"
    kill -TERM "$FIXTURE_PID"
    wait_exit "$FIXTURE_PID" 5

    # Played beside the settings file, by a program on a machine without a stick.
    cp "$work/first.csv" "$XDG_CONFIG_HOME/orvandelcaster/take.csv"
    echo "joystick = replay:take.csv" >"$settings"
    start_program
    take=$XDG_CONFIG_HOME/orvandelcaster/take.csv
    expect_state_line "Recording: $take — Joystick 0: $take, chosen in $settings"
    "$CAPTURE_PROBE" record --seconds 2 --output "$work/second.csv" 2>"$work/record2.err" ||
      fail "the second recording failed"
    wait_for_server
    "$CAPTURE_PROBE" record --count 1 >"$work/third.csv" 2>"$work/record3.err" ||
      fail "the third recording failed"
    "$CAPTURE_PROBE" devices >"$work/devices.out" 2>"$work/devices.err"
    grep -qxF "Joystick 0: Recording: $take" "$work/devices.out" ||
      fail "capture-probe devices does not name the recording"
    stop_program

    [ "$(head -n 1 "$work/first.csv")" = "seconds,X,Y,Rudder,Thrust" ] || fail "the header is not the server's"
    # Every row of the second recording holds the floats of the first (the
    # same %.9g text: bit for bit) as they were within one period of its time,
    # values holding from one row to the next; every position of the first is
    # played; a new session starts at the first row.
    python3 - "$work/first.csv" "$work/second.csv" "$work/third.csv" "$period" <<'EOF' || fail "the recordings differ"
import sys
def rows(path):
    lines = open(path).read().splitlines()[1:]
    return [(float(l.split(",", 1)[0]), l.split(",", 1)[1]) for l in lines]
first, second, third = rows(sys.argv[1]), rows(sys.argv[2]), rows(sys.argv[3])
period = float(sys.argv[4])
assert len({v for _, v in first}) >= 10, "the stick hardly moved: %s" % first
assert 1.9 < first[-1][0] < 2.0 and 1.9 < second[-1][0] < 2.0, "not two seconds long"
held = [(u, (first[i + 1][0] if i + 1 < len(first) else u + period), v) for i, (u, v) in enumerate(first)]
for t, values in second:
    assert any(v == values and start <= t + period and t - period < end for start, end, v in held), \
        "%.6f,%s" % (t, values)
assert {v for u, v in first if u < second[-1][0] - period} <= {v for _, v in second}, "a position was not played"
assert third[0] == (0.0, first[0][1]), third
EOF
    ;;
  bad_files)
    mkdir "$work/folder"
    mkfifo "$work/fifo"
    printf '\177ELF\2\1\1\0\0\0\n\0\0' >"$work/binary"
    printf 'seconds,X,Y,Rudder,Thrust\n0,0,0,0,0\n0.02,0,zero,0,0\n' >"$work/bad_row.csv"
    truncate -s 65M "$work/large.csv"
    centred=-7.62951095e-06
    rows=(
      'missing|cannot open it: No such file or directory'
      'folder|it is a directory, not a regular file'
      'fifo|it is a FIFO, not a regular file'
      'binary|line 1: the header has no column "seconds"'
      'bad_row.csv|line 3: the Y value is not a number'
      'large.csv|it is larger than 64 MiB'
    )
    for row in "${rows[@]}"; do
      file=${row%%|*}
      reason=${row#*|}
      export ORVANDELCASTER_JOYSTICK=replay:$work/$file
      state="Joystick not found — Recording $work/$file cannot be played ($reason), chosen by ORVANDELCASTER_JOYSTICK"
      start_program
      expect_state_line "$state"
      "$CAPTURE_PROBE" devices >"$work/devices.out" 2>"$work/devices.err"
      grep -qxF "  ${state#* — }" "$work/devices.out" || fail "capture-probe devices does not say: $state"
      wait_for_server
      "$CAPTURE_PROBE" record --count 2 >"$work/record.out" 2>"$work/record.err" || fail "$file: not served"
      [ "$(tail -n 1 "$work/record.out" | cut -d, -f2-)" = "$centred,$centred,$centred,$centred" ] ||
        fail "$file: not centred"
      stop_program
      [ -s "$work/program.err" ] && fail "$file: standard error is not empty"
    done
    ;;
  *)
    fail "unknown case"
    ;;
esac
echo "PASS ($case_name)"
