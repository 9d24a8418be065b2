#!/usr/bin/env bash
# Builds the Debian package and the source tarball from a finished build and
# checks them as a user would meet them:
#   1. the .deb: lintian finds no errors; dpkg -i installs it; the installed
#      orvandelcaster, started headless as another user (nobody) with nothing
#      from a desktop session, serves `capture-probe info` and ends cleanly on
#      SIGTERM; dpkg -r removes it and leaves nothing of it behind;
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

sudo=
[ "$(id -u)" = 0 ] || sudo=sudo
# The test user works in it too.
chmod 755 "$work"
program=
# The registry objects the test user's server may make: the private one, or
# that user's own while the program does not read ORVANDELCASTER_REGISTRY.
registry_files=("/dev/shm$ORVANDELCASTER_REGISTRY" "/dev/shm/Capture_Unix_Socket_Share.$(id -u nobody)")
registries_before=$(ls "${registry_files[@]}" 2>/dev/null || true)
# What the test user made belongs to that user: removed with sudo.
remove_test_user_files() {
  [ -n "$program" ] && $sudo kill -KILL "$program" 2>/dev/null
  local file
  for file in "${registry_files[@]}"; do
    grep -qxF "$file" <<<"$registries_before" || $sudo rm -f "$file"
  done
  $sudo rm -rf "$work"
}
on_exit=remove_test_user_files

version=$("$build/orvandelcaster" --version | head -n1 | awk '{print $NF}')

echo "== the Debian package"
(cd "$build" && cpack -G DEB >"$work/cpack.out" 2>"$work/cpack.err") || fail "cpack -G DEB failed"
deb=$build/orvandelcaster_${version}_amd64.deb
[ -f "$deb" ] || fail "no $(basename "$deb")"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is not $version"
lintian --fail-on error "$deb" 2>&1 | grep -v '^running with root privileges' || true
lintian --fail-on error "$deb" >/dev/null 2>&1 || fail "lintian reports errors"

if dpkg-query -W -f='${Status}' orvandelcaster 2>/dev/null | grep -q 'install ok installed'; then
  fail "orvandelcaster is installed already: remove it first (dpkg -r orvandelcaster)"
fi
# What of the package's paths the machine has before (shared folders such as /usr/bin).
dpkg-deb -c "$deb" | awk '{print substr($6, 2)}' | sed 's|/$||' | grep -v '^$' >"$work/paths"
while read -r path; do [ -e "$path" ] && echo "$path"; done <"$work/paths" >"$work/before"

$sudo dpkg -i "$deb" >"$work/dpkg-install.out" 2>"$work/dpkg-install.err" || fail "dpkg -i failed"

# Started as a user's shell would without a desktop: no display, no runtime directory.
test_user=(env -i PATH=/usr/bin:/bin HOME=/nonexistent TMPDIR="$work/tmp" ORVANDELCASTER_REGISTRY="$ORVANDELCASTER_REGISTRY"
  setpriv --reuid=nobody --regid=nogroup --clear-groups)
mkdir -m 1777 "$work/tmp"
# Each of sudo, env and setpriv hands the signal on or becomes the program.
$sudo "${test_user[@]}" /usr/bin/orvandelcaster >"$work/server.out" 2>"$work/server.err" &
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
$sudo kill -TERM "$program"
status=0
wait "$program" || status=$?
program=
[ "$status" = 0 ] || fail "the installed orvandelcaster ended with status $status after SIGTERM"
[ -s "$work/server.err" ] && fail "the installed orvandelcaster wrote to standard error"
[ -z "$(ls -A "$work/tmp")" ] || fail "left in TMPDIR: $(ls -A "$work/tmp")"

$sudo dpkg -r orvandelcaster >"$work/dpkg-remove.out" 2>"$work/dpkg-remove.err" || fail "dpkg -r failed"
state=$(dpkg-query -W -f='${db:Status-Status}' orvandelcaster 2>/dev/null || echo not-installed)
[ "$state" = not-installed ] || fail "after dpkg -r the package is '$state', not gone"
while read -r path; do [ -e "$path" ] && echo "$path"; done <"$work/paths" >"$work/after"
left=$(comm -13 "$work/before" "$work/after")
[ -z "$left" ] || fail "left behind by dpkg -r: $left"
echo "lintian clean of errors; installed, served capture-probe info headless, removed without a trace"

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
