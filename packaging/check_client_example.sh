#!/usr/bin/env bash
# Installs the client library's component into a private prefix, as an outside
# project's builder would, builds examples/ against it twice (CMake's
# find_package, then pkg-config) and runs both against the real program,
# headless, on a registry of this run's own.
#
#   check_client_example.sh BUILD_DIR
set -uo pipefail

build=$(realpath "${1:?usage: check_client_example.sh BUILD_DIR}")
check_name=client_example
source "$(dirname "$0")/../scripts/lib/process_check.sh"
source "$(dirname "$0")/client_example.sh"

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" --component liborvandelcaster-client-dev \
  >"$work/install.out" 2>"$work/install.err" || fail "cmake --install of the library's component failed"
# Nothing of the program's build folder reaches the example: only the prefix.
build_example_with_cmake "$prefix" "$work/example-cmake"
PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name orvandelcaster-client.pc)") \
  build_example_with_pkg_config "$work/example-pkg-config"
# No display and no joystick: it serves headless, every axis centred.
env -u DISPLAY -u WAYLAND_DISPLAY ORVANDELCASTER_JOYSTICK=/nonexistent/joystick "$build/orvandelcaster" \
  >"$work/server.out" 2>"$work/server.err" &
pids+=($!)
run_example "$work/example-cmake"
run_example "$work/example-pkg-config"
echo "PASS"
