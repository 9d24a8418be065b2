# shellcheck shell=bash
# The C++ capture example (examples/) built as an outside project builds it
# against an installed client library, and run against an installed program.
# Shared by check_client_example.sh (a prefix of `cmake --install`) and
# check_package.sh (the Debian packages under /usr); sourced after
# scripts/lib/process_check.sh, not run.
#
#   build_example_with_cmake PREFIX OUT   find_package(OrvandelcasterClient) with
#                                         PREFIX searched first (empty: the
#                                         system's places only); OUT: the program
#   build_example_with_pkg_config OUT     pkg-config orvandelcaster-client, from
#                                         PKG_CONFIG_PATH or the system's places
#   run_example EXAMPLE [RUNNER...]       runs EXAMPLE (through RUNNER, e.g. as
#                                         another user) until it reaches the
#                                         program and checks what it prints: the
#                                         four axes of a joystick 0 that is not
#                                         there (ORVANDELCASTER_JOYSTICK naming
#                                         no device), centred
#
# EXAMPLE_LDFLAGS: extra link options (a sanitizer build's runtime).

example_source=$(realpath "$(dirname "${BASH_SOURCE[0]}")/../examples")

build_example_with_cmake() {
  local prefix=$1 out=$2 build
  build=$(mktemp -d "$work/example-cmake.XXXX")
  cmake -S "$example_source" -B "$build" -G Ninja ${prefix:+-DCMAKE_PREFIX_PATH="$prefix"} \
    -DCMAKE_EXE_LINKER_FLAGS="${EXAMPLE_LDFLAGS:-}" >"$work/example-configure.out" 2>"$work/example-configure.err" ||
    fail "the example does not configure with find_package(OrvandelcasterClient)"
  cmake --build "$build" >"$work/example-build.out" 2>"$work/example-build.err" ||
    fail "the example does not build with find_package(OrvandelcasterClient)"
  cp "$build/capture_example" "$out"
}

build_example_with_pkg_config() {
  local out=$1 flags
  flags=$(pkg-config --cflags --libs orvandelcaster-client 2>"$work/pkg-config.err") ||
    fail "pkg-config does not find orvandelcaster-client"
  # shellcheck disable=SC2086  # the flags are words
  g++ -std=c++17 -Wall -Wextra -Werror -o "$out" "$example_source/capture_example.cpp" $flags \
    ${EXAMPLE_LDFLAGS:-} >"$work/example-pkg-config.out" 2>"$work/example-pkg-config.err" ||
    fail "the example does not build with pkg-config's flags: $flags"
}

run_example() {
  local example=$1 served=0 i
  shift
  for ((i = 0; i < 50; i++)); do
    if "$@" "$example" >"$work/example.out" 2>"$work/example.err"; then
      served=1
      break
    fi
    sleep 0.2
  done
  [ "$served" = 1 ] || fail "$(basename "$example") did not reach the program"
  # A centred axis reads 32767 of 0 to 65535: a hair below the middle.
  [ "$(cat "$work/example.out")" = $'X -0.000\nY -0.000\nRudder -0.000\nThrust -0.000' ] ||
    fail "$(basename "$example") printed: $(cat "$work/example.out")"
}
