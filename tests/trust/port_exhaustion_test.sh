#!/usr/bin/env bash
# Runs the port exhaustion tests of e2e_tests in a network namespace of its own,
# loopback up and the ephemeral port range narrowed to ten ports, so that
# back-to-back sessions use them all up within seconds, and a test can hold
# every one of them. Each filter runs in a namespace of its own, so that no
# test meets another one's remnants.
#
#   port_exhaustion_test.sh E2E_TESTS [GTEST_FILTER]   (PortExhaustion.* by default)
set -euo pipefail
e2e_tests=${1:?usage: port_exhaustion_test.sh E2E_TESTS [GTEST_FILTER]}
filter=${2:-PortExhaustion.*}
if [ "$(id -u)" -eq 0 ]; then private_net=(unshare -n); else private_net=(unshare -rn); fi
exec "${private_net[@]}" bash -c '
  set -euo pipefail
  ip link set lo up
  echo "40000 40009" >/proc/sys/net/ipv4/ip_local_port_range
  export ORVANDEL_NARROW_PORT_RANGE="40000 40009"
  exec "$1" --gtest_filter="$2"
' bash "$e2e_tests" "$filter"
