#!/usr/bin/env bash
# Runs e2e_tests cases in a network namespace of its own, loopback up and the
# ephemeral port range narrowed to FIRST..LAST: ten ports, so that back-to-back
# sessions use them all up within seconds and a test can hold every one of
# them; or one port, so that a connect to it from this host can only connect
# to itself. Each run has a namespace of its own, so that no test meets
# another one's remnants. Not scripts/lib/process_check.sh: it only execs
# unshare and the test program, which checks and cleans up itself.
#
#   narrow_ports_test.sh E2E_TESTS FIRST LAST GTEST_FILTER
set -euo pipefail
[ $# -eq 4 ] || { echo "usage: narrow_ports_test.sh E2E_TESTS FIRST LAST GTEST_FILTER" >&2; exit 2; }
if [ "$(id -u)" -eq 0 ]; then private_net=(unshare -n); else private_net=(unshare -rn); fi
if ! "${private_net[@]}" true 2>/dev/null; then
  echo "skipped: no private network namespace here"
  exit 77
fi
exec "${private_net[@]}" bash -c '
  set -euo pipefail
  ip link set lo up
  echo "$2 $3" >/proc/sys/net/ipv4/ip_local_port_range
  export ORVANDEL_NARROW_PORT_RANGE="$2 $3"
  if [ "$2" = "$3" ]; then export ORVANDEL_ONLY_EPHEMERAL_PORT=$2; fi
  exec "$1" --gtest_filter="$4"
' bash "$@"
