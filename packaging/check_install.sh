#!/usr/bin/env bash
# Installs a build into a private prefix, as `cmake --install` does for a
# user, and checks what arrives: every file in its place, icons of the sizes
# their folders say, one version everywhere it is shown, a valid systemd user
# unit, and that unit's command, started as the user manager starts it,
# serving a capture client headless and ending cleanly on SIGTERM; the
# template unit's command for two instances at once, each under the name its
# own settings file gives.
#
#   check_install.sh BUILD_DIR
#
# Needs WINDOW_CLIENT and VERSION; serves on a registry of its own
# (ORVANDELCASTER_REGISTRY), never the user's.
set -uo pipefail

build=${1:?usage: check_install.sh BUILD_DIR}
check_name=install
source "$(dirname "$0")/../scripts/lib/process_check.sh"

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.out" 2>"$work/install.err" ||
  fail "cmake --install failed"

# Width and height of a PNG, from its header.
png_size() {
  local hex
  hex=$(od -An -tx1 -j16 -N8 "$1" | tr -d ' \n')
  echo "$((16#${hex:0:8}))x$((16#${hex:8:8}))"
}

expected=(
  bin/orvandelcaster bin/capture-probe
  share/applications/orvandelcaster.desktop share/metainfo/orvandelcaster.metainfo.xml
  share/icons/hicolor/scalable/apps/orvandelcaster.svg
  share/man/man1/orvandelcaster.1.gz share/man/man1/capture-probe.1.gz
  share/doc/orvandelcaster/changelog.gz share/doc/orvandelcaster/copyright
  lib/systemd/user/orvandelcaster.service lib/systemd/user/orvandelcaster@.service
  include/orvandelcaster/client.h
)
# The client library in the architecture's own folder, with its CMake package,
# whose file for the build type says which one in its name.
lib_dir=lib/$(gcc -print-multiarch)
expected+=("$lib_dir/liborvandelcaster-client.a" "$lib_dir/pkgconfig/orvandelcaster-client.pc")
for file in Config ConfigVersion Targets; do
  expected+=("$lib_dir/cmake/OrvandelcasterClient/OrvandelcasterClient$file.cmake")
done
expected+=("$(cd "$prefix" && ls "$lib_dir"/cmake/OrvandelcasterClient/OrvandelcasterClientTargets-*.cmake)")
for package in liborvandelcaster-client-dev python3-orvandelcaster; do
  expected+=("share/doc/$package/changelog.gz" "share/doc/$package/copyright")
done
for size in 16 32 48 64 128 256; do
  expected+=("share/icons/hicolor/${size}x${size}/apps/orvandelcaster.png")
done
# The Python client, where Debian's Python looks under a prefix other than
# /usr (python/install_test.sh checks that it does); its empty py.typed marker
# is only looked for.
python_package=$(cd "$prefix" && echo lib/python3.*/dist-packages/orvandelcaster)
for module in "$(dirname "$0")"/../python/orvandelcaster/*.py; do
  expected+=("$python_package/${module##*/}")
done
[ -e "$prefix/$python_package/py.typed" ] || fail "not installed: $python_package/py.typed"
for file in "${expected[@]}"; do
  [ -s "$prefix/$file" ] || fail "not installed: $file"
done
for size in 16 32 48 64 128 256; do
  actual=$(png_size "$prefix/share/icons/hicolor/${size}x${size}/apps/orvandelcaster.png")
  [ "$actual" = "${size}x${size}" ] || fail "the ${size}x${size} icon is $actual"
done
extra=$(cd "$prefix" && find . -type f | sed 's|^\./||' | sort |
  comm -23 - <(printf '%s\n' "${expected[@]}" "$python_package/py.typed" | sort))
[ -z "$extra" ] || fail "installed but not expected: $extra"

# One version wherever a person sees it (the About box is checked by the ui tests).
shown=(
  "--version: $("$prefix/bin/orvandelcaster" --version | head -n1 | awk '{print $NF}')"
  "desktop entry: $(sed -n 's/^X-Orvandelcaster-ProductVersion=//p' "$prefix/share/applications/orvandelcaster.desktop")"
  "metainfo: $(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$prefix/share/metainfo/orvandelcaster.metainfo.xml")"
  "changelog: $(zcat "$prefix/share/doc/orvandelcaster/changelog.gz" | sed -n '1s/^orvandelcaster (\([^)]*\)).*/\1/p')"
)
for entry in "${shown[@]}"; do
  [ "${entry#*: }" = "$VERSION" ] || fail "version $entry, not $VERSION"
done

unit=$prefix/lib/systemd/user/orvandelcaster.service
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
[ "$exec_start" = "$prefix/bin/orvandelcaster" ] || fail "the unit starts '$exec_start'"
template=$prefix/lib/systemd/user/orvandelcaster@.service
template_start=$(sed -n 's/^ExecStart=//p' "$template")
[ "$template_start" = "$prefix/bin/orvandelcaster --settings %E/orvandelcaster/%i.conf" ] ||
  fail "the template unit starts '$template_start'"
if command -v systemd-analyze >/dev/null; then
  mkdir -m 700 "$work/manager-runtime"
  # A template is verified as one of its instances, as the manager loads it.
  mkdir "$work/units"
  ln -s "$template" "$work/units/orvandelcaster@stick2.service"
  for checked in "$unit" "$work/units/orvandelcaster@stick2.service"; do
    # The user manager's own runtime directory; MANPATH for the unit's Documentation= page.
    XDG_RUNTIME_DIR=$work/manager-runtime MANPATH=$prefix/share/man \
      systemd-analyze --user verify "$checked" >"$work/verify.out" 2>"$work/verify.err" ||
      fail "systemd-analyze verify failed for $checked: $(cat "$work/verify.err")"
    [ -s "$work/verify.err" ] && fail "systemd-analyze verify finds fault with $checked: $(cat "$work/verify.err")"
  done
fi

# The unit's command in the environment a user manager gives it: DISPLAY
# imported from a desktop session (one that does not exist here), the unit's
# Environment= lines, a runtime directory; nothing else but sanitizer options
# and the test's own registry.
unit_env=()
while IFS= read -r assignment; do unit_env+=("$assignment"); done < <(sed -n 's/^Environment=//p' "$unit")
sanitizer_env=()
for name in ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS TSAN_OPTIONS; do
  [ -n "${!name:-}" ] && sanitizer_env+=("$name=${!name}")
done
mkdir -m 700 "$work/runtime"
env -i HOME="$work" PATH=/usr/bin:/bin DISPLAY=:97 XDG_RUNTIME_DIR="$work/runtime" \
  ORVANDELCASTER_REGISTRY="$ORVANDELCASTER_REGISTRY" \
  "${sanitizer_env[@]}" "${unit_env[@]}" $exec_start >"$work/unit.out" 2>"$work/unit.err" &
program=$!
pids+=("$program")
"$WINDOW_CLIENT" serve >"$work/client.out" 2>"$work/client.err" || fail "the unit's command did not serve"
kill -TERM "$program"
wait_exit "$program" 5
[ "$status" -eq 0 ] || fail "the unit's command ended with status $status after SIGTERM"
[ -s "$work/unit.err" ] && fail "the unit's command wrote to standard error"

# Two instances of the template at once, as the manager runs them: %E is the
# user's configuration folder, %i the instance.
mkdir -p "$work/config/orvandelcaster"
for instance in stick1 stick2; do
  printf 'name = Orvandelcaster %s\n' "$instance" >"$work/config/orvandelcaster/$instance.conf"
  command_line=${template_start//%E/$work/config}
  env -i HOME="$work" PATH=/usr/bin:/bin XDG_RUNTIME_DIR="$work/runtime" \
    ORVANDELCASTER_REGISTRY="$ORVANDELCASTER_REGISTRY" \
    "${sanitizer_env[@]}" "${unit_env[@]}" ${command_line//%i/$instance} \
    >"$work/$instance.out" 2>"$work/$instance.err" &
  pids+=("$!")
done
for instance in stick1 stick2; do
  for _ in $(seq 100); do
    "$prefix/bin/capture-probe" info --name "Orvandelcaster $instance" \
      --registry "$ORVANDELCASTER_REGISTRY" >"$work/$instance.info" 2>&1 && break
    sleep 0.1
  done
  grep -qx "Server: *Orvandelcaster $instance" "$work/$instance.info" ||
    fail "instance $instance is not served under its name: $(cat "$work/$instance.info")"
done
for index in 1 2; do
  program=${pids[-index]}
  kill -TERM "$program"
  wait_exit "$program" 5
  [ "$status" -eq 0 ] || fail "a template instance ended with status $status after SIGTERM"
done
for instance in stick1 stick2; do
  [ -s "$work/$instance.err" ] && fail "instance $instance wrote to standard error: $(cat "$work/$instance.err")"
  grep -q "^Orvandelcaster $instance: serving \"Orvandelcaster $instance\"" "$work/$instance.out" ||
    fail "instance $instance did not say it serves under its name"
done
echo "PASS"
