#!/usr/bin/env bash
# Builds the Debian packages and the source tarball from a finished build and
# checks them as a user would meet them:
#   1. the three .debs (orvandelcaster, liborvandelcaster-client-dev,
#      python3-orvandelcaster): lintian finds no errors in any; dpkg -i
#      installs them; the C++ example (examples/) builds against the installed
#      library with CMake and with pkg-config; the installed orvandelcaster,
#      started headless as another user (nobody) with nothing from a desktop
#      session, serves `capture-probe info`, both builds of the example and
#      the Python example (where there is one), and ends cleanly on SIGTERM;
#      dpkg -r removes them and leaves nothing of them behind;
#   2. the source tarball: unpacked elsewhere it configures with the normal
#      preset and builds the program as scripts/run does, and `cmake --install`
#      of that build works.
#
#   packaging/check_package.sh BUILD_DIR
#
# Needs root (or sudo) for dpkg. The test user's registry is its own (another
# uid), named by ORVANDELCASTER_REGISTRY as well, so no real user's is touched.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:?usage: check_package.sh BUILD_DIR}")
check_name=check_package
source scripts/lib/process_check.sh
source packaging/client_example.sh

sudo=
[ "$(id -u)" = 0 ] || sudo=sudo
# The test user works in it too.
chmod 755 "$work"
program=
installed=0
packages=()
# The registry objects the test user's server may make: the private one, or
# that user's own while the program does not read ORVANDELCASTER_REGISTRY.
registry_files=("/dev/shm$ORVANDELCASTER_REGISTRY" "/dev/shm/Capture_Unix_Socket_Share.$(id -u nobody)")
registries_before=$(ls "${registry_files[@]}" 2>/dev/null || true)
# What the test user made belongs to that user: removed with sudo.
remove_test_user_files() {
  [ -n "$program" ] && $sudo kill -KILL "$program" 2>/dev/null
  # A check that failed between install and removal leaves no package behind.
  [ "$installed" = 1 ] && $sudo dpkg -r "${packages[@]}" >/dev/null 2>&1
  local file
  for file in "${registry_files[@]}"; do
    grep -qxF "$file" <<<"$registries_before" || $sudo rm -f "$file"
  done
  $sudo rm -rf "$work"
}
on_exit=remove_test_user_files

version=$("$build/orvandelcaster" --version | head -n1 | awk '{print $NF}')

echo "== the Debian packages"
(cd "$build" && cpack -G DEB >"$work/cpack.out" 2>"$work/cpack.err") || fail "cpack -G DEB failed"
packages+=(orvandelcaster liborvandelcaster-client-dev python3-orvandelcaster)
debs=("$build/orvandelcaster_${version}_amd64.deb" "$build/liborvandelcaster-client-dev_${version}_amd64.deb"
  "$build/python3-orvandelcaster_${version}_all.deb")
for deb in "${debs[@]}"; do
  [ -f "$deb" ] || fail "no $(basename "$deb")"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$(basename "$deb")'s version is not $version"
  lintian --fail-on error "$deb" 2>&1 | grep -v '^running with root privileges' || true
  lintian --fail-on error "$deb" >/dev/null 2>&1 || fail "lintian reports errors in $(basename "$deb")"
done

for package in "${packages[@]}"; do
  if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    fail "$package is installed already: remove it first (dpkg -r $package)"
  fi
done
# What of the packages' paths the machine has before (shared folders such as /usr/bin).
for deb in "${debs[@]}"; do dpkg-deb -c "$deb"; done | awk '{print substr($6, 2)}' | sed 's|/$||' |
  grep -v '^$' | sort -u >"$work/paths"
while read -r path; do [ -e "$path" ] && echo "$path"; done <"$work/paths" >"$work/before"

installed=1
$sudo dpkg -i "${debs[@]}" >"$work/dpkg-install.out" 2>"$work/dpkg-install.err" || fail "dpkg -i failed"
# As an outside project builds it: the system's places only.
build_example_with_cmake "" "$work/example-cmake"
build_example_with_pkg_config "$work/example-pkg-config"

# Started as a user's shell would without a desktop: no display, no runtime directory.
test_user=(env -i PATH=/usr/bin:/bin HOME=/nonexistent TMPDIR="$work/tmp" ORVANDELCASTER_REGISTRY="$ORVANDELCASTER_REGISTRY"
  setpriv --reuid=nobody --regid=nogroup --clear-groups)
mkdir -m 1777 "$work/tmp"
# Each of sudo, env and setpriv hands the signal on or becomes the program.
# No joystick (ORVANDELCASTER_JOYSTICK names no device): the examples read every axis centred.
$sudo "${test_user[@]}" env ORVANDELCASTER_JOYSTICK=/nonexistent/joystick /usr/bin/orvandelcaster \
  >"$work/server.out" 2>"$work/server.err" &
program=$!
served=0
for ((i = 0; i < 50; i++)); do
  if $sudo "${test_user[@]}" /usr/bin/capture-probe info >"$work/probe.out" 2>"$work/probe.err"; then
    served=1
    break
  fi
  sleep 0.2
done
[ "$served" = 1 ] || fail "capture-probe info did not reach the installed orvandelcaster"
grep -q '^Server: *Orvandelcaster$' "$work/probe.out" || fail "capture-probe info: $(cat "$work/probe.out")"
run_example "$work/example-cmake" $sudo "${test_user[@]}"
run_example "$work/example-pkg-config" $sudo "${test_user[@]}"
# The Python example, run by the system's python3 against the installed module.
for python_example in examples/*.py; do
  [ -f "$python_example" ] || continue
  cp "$python_example" "$work/"
  # Three readings: a heading line and one line each.
  $sudo "${test_user[@]}" python3 "$work/$(basename "$python_example")" 3 >"$work/python-example.out" \
    2>"$work/python-example.err" || fail "$(basename "$python_example") failed against the installed program"
  [ "$(wc -l <"$work/python-example.out")" = 4 ] || fail "$(basename "$python_example") printed: $(cat "$work/python-example.out")"
done
$sudo kill -TERM "$program"
status=0
wait "$program" || status=$?
program=
[ "$status" = 0 ] || fail "the installed orvandelcaster ended with status $status after SIGTERM"
[ -s "$work/server.err" ] && fail "the installed orvandelcaster wrote to standard error"
[ -z "$(ls -A "$work/tmp")" ] || fail "left in TMPDIR: $(ls -A "$work/tmp")"

$sudo dpkg -r "${packages[@]}" >"$work/dpkg-remove.out" 2>"$work/dpkg-remove.err" || fail "dpkg -r failed"
installed=0
for package in "${packages[@]}"; do
  state=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || echo not-installed)
  [ "$state" = not-installed ] || fail "after dpkg -r $package is '$state', not gone"
done
while read -r path; do [ -e "$path" ] && echo "$path"; done <"$work/paths" >"$work/after"
left=$(comm -13 "$work/before" "$work/after")
[ -z "$left" ] || fail "left behind by dpkg -r: $left"
echo "lintian clean of errors; installed, the example built two ways; served capture-probe info and the examples headless; removed without a trace"

echo "== the source tarball"
(cd "$build" && cpack --config CPackSourceConfig.cmake >"$work/cpack-source.out" 2>"$work/cpack-source.err") ||
  fail "cpack --config CPackSourceConfig.cmake failed"
tarball=$build/orvandelcaster-${version}.tar.gz
[ -f "$tarball" ] || fail "no $(basename "$tarball")"
tar -xzf "$tarball" -C "$work"
source=$work/orvandelcaster-$version
[ ! -e "$source/.git" ] && [ -z "$(find "$source" -maxdepth 1 -name 'build*')" ] ||
  fail "the tarball holds version control or build folders"
# As scripts/run builds it: the normal preset, only the program's target.
(cd "$source" && cmake --preset normal) >"$work/source-configure.out" 2>"$work/source-configure.err" ||
  fail "the tarball does not configure"
cmake --build "$source/build" -j2 --target orvandelcaster >"$work/source-build.out" 2>"$work/source-build.err" ||
  fail "the tarball does not build"
cmake --install "$source/build" --prefix "$work/prefix" >"$work/source-install.out" 2>"$work/source-install.err" ||
  fail "cmake --install after building the program's target failed"
[ -x "$work/prefix/bin/capture-probe" ] && [ -s "$work/prefix/share/man/man1/orvandelcaster.1.gz" ] ||
  fail "the install from the tarball's build is incomplete"
echo "the source tarball builds, and installs after building the program's target alone"
