#!/usr/bin/env bash
# Runs the self-connect test of e2e_tests in a network namespace of its own,
# loopback up and the ephemeral port range narrowed to one port, so that a
# connect to that port from this host can only connect to itself.
#
#   self_connect_test.sh E2E_TESTS
set -euo pipefail
e2e_tests=${1:?usage: self_connect_test.sh E2E_TESTS}
if [ "$(id -u)" -eq 0 ]; then private_net=(unshare -n); else private_net=(unshare -rn); fi
if ! "${private_net[@]}" true 2>/dev/null; then
  echo "skipped: no private network namespace here"
  exit 77
fi
exec "${private_net[@]}" bash -c '
  set -euo pipefail
  ip link set lo up
  echo "40000 40000" >/proc/sys/net/ipv4/ip_local_port_range
  export ORVANDEL_ONLY_EPHEMERAL_PORT=40000
  exec "$1" --gtest_filter=SelfConnect.*
' bash "$e2e_tests"
