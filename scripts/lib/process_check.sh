# shellcheck shell=bash
# Shared by the shell tests that start the real programs, and by the scripts
# that show the window on a display of their own (bench/window-cpu,
# docs/make-screenshot.sh); sourced, not run.
#
#   work           a private temporary folder (mode 700), removed on exit
#   pids           processes to end on exit: each gets SIGTERM first and
#                  SIGKILL when it has not ended within 2 s, so that an X
#                  server removes its lock and socket for the next test's
#   on_exit        a command of the sourcing script's own, run on exit before
#                  the processes are ended (set it after sourcing)
#   fail MESSAGE   reports MESSAGE, then every non-empty $work/*.out and *.err
#                  log, and exits 1
#   wait_exit PID SECONDS
#                  waits for PID to end, failing after SECONDS; sets status
#                  to its exit status
#   start_xvfb GEOMETRY
#                  starts Xvfb on a display of its own (WIDTHxHEIGHTxDEPTH),
#                  exports DISPLAY and waits until it answers
#   ORVANDELCASTER_REGISTRY
#                  exported: a registry of this run's own, removed on exit, so
#                  that no real user's registry or server is touched
#
# The sourcing script names itself in check_name for its messages. Works with
# and without `set -e`.

work=$(mktemp -d)
pids=()
on_exit=
export ORVANDELCASTER_REGISTRY=/orvandelcaster_${check_name:-check}.$$.$RANDOM

cleanup_processes() {
  local pid i running
  [ -n "$on_exit" ] && { eval "$on_exit" || true; }
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for ((i = 0; i < 40; i++)); do
    running=0
    for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null && running=1; done
    [ "$running" = 0 ] && break
    sleep 0.05
  done
  for pid in "${pids[@]}"; do
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work" "/dev/shm$ORVANDELCASTER_REGISTRY" 2>/dev/null || true
}
trap cleanup_processes EXIT

fail() {
  echo "FAIL (${check_name:-check}): $*" >&2
  local log
  for log in "$work"/*.out "$work"/*.err; do
    [ -s "$log" ] && { echo "--- $(basename "$log")" >&2; cat "$log" >&2; }
  done
  exit 1
}

wait_exit() {
  local pid=$1 i
  for ((i = 0; i < $2 * 20; i++)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  kill -0 "$pid" 2>/dev/null && fail "process $pid still running after $2 s"
  status=0
  wait "$pid" || status=$?
}

# -noreset: the server must not restart (and refuse connections for a moment)
# each time its last client leaves.
start_xvfb() {
  Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.err" &
  pids+=($!)
  local i
  for ((i = 0; i < 100; i++)); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
  [ -s "$work/display" ] || fail "Xvfb did not start"
  export DISPLAY=:$(head -n1 "$work/display")
  for ((i = 0; i < 50; i++)); do
    xdpyinfo >/dev/null 2>&1 && return
    sleep 0.1
  done
  fail "Xvfb on $DISPLAY does not answer"
}
