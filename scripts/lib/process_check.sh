# Shared by the shell tests that start the real programs; sourced, not run.
#
#   work           a private temporary folder, removed on exit with every
#                  process whose id is in pids (killed first)
#   fail MESSAGE   reports MESSAGE, then every non-empty $work/*.out and *.err
#                  log, and exits 1
#   wait_exit PID SECONDS
#                  waits for PID to end, failing after SECONDS; sets status
#                  to its exit status
#   ORVANDELCASTER_REGISTRY
#                  exported: a registry of this run's own, removed on exit, so
#                  that no real user's registry or server is touched
#
# The sourcing script names itself in check_name for its messages.

work=$(mktemp -d)
pids=()
export ORVANDELCASTER_REGISTRY=/orvandelcaster_${check_name:-check}.$$.$RANDOM

cleanup_processes() {
  local pid
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work" "/dev/shm$ORVANDELCASTER_REGISTRY"
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
  wait "$pid"
  status=$?
}
