#!/usr/bin/env bash
# The Python package installs offline and is found where it was put:
#   - into a virtual environment with pip, from the source alone (no index, the
#     system's setuptools and wheel), with the program's version;
#   - by cmake --install of its component: /usr/lib/python3/dist-packages under
#     the prefix /usr (the Debian package), lib/python3.X/dist-packages under
#     any other (where Debian's Python looks in /usr/local).
#
#   install_test.sh BUILD_DIR   (needs VERSION, the program's shown version, and
#                                PYTHON, Debian's python3)
set -uo pipefail
build=${1:?usage: install_test.sh BUILD_DIR}
: "${VERSION:?}" "${PYTHON:?}"
source_dir=$(cd "$(dirname "$0")" && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d) || fail "no working directory"
trap 'rm -rf "$work"' EXIT
export PYTHONDONTWRITEBYTECODE=1
# Only what this machine has: no pip configuration, no extra place to look for wheels.
export PIP_CONFIG_FILE=/dev/null
unset PIP_FIND_LINKS PIP_INDEX_URL PIP_EXTRA_INDEX_URL

# pip builds in the folder it is given: a copy, so the source stays clean.
cp -r "$source_dir" "$work/python" && rm -rf "$work/python/tests"
"$PYTHON" -m venv --system-site-packages "$work/V" || fail "no virtual environment"
"$work/V/bin/pip" install --no-index --no-build-isolation "$work/python" >"$work/pip.log" 2>&1 ||
  fail "pip install: $(tail -n 5 "$work/pip.log")"
installed=$(cd "$work" && "$work/V/bin/python" -c '
import importlib.metadata, os, orvandelcaster
print(orvandelcaster.__version__, importlib.metadata.version("orvandelcaster"),
      os.path.exists(os.path.join(os.path.dirname(orvandelcaster.__file__), "py.typed")))') ||
  fail "the installed package cannot be imported"
[ "$installed" = "$VERSION $VERSION True" ] ||
  fail "installed: version, metadata version and py.typed are '$installed', not '$VERSION $VERSION True'"

series=$("$PYTHON" -c 'import sys; print(f"python{sys.version_info[0]}.{sys.version_info[1]}")')
for case in "/usr:/usr/lib/python3/dist-packages" "/usr/local:/usr/local/lib/$series/dist-packages" \
            "/opt/o:/opt/o/lib/$series/dist-packages"; do
  prefix=${case%%:*} site=${case#*:}
  rm -rf "$work/root"
  DESTDIR=$work/root cmake --install "$build" --prefix "$prefix" --component python3-orvandelcaster \
    >"$work/install.log" 2>&1 || fail "cmake --install --prefix $prefix: $(cat "$work/install.log")"
  [ -f "$work/root$site/orvandelcaster/py.typed" ] || fail "prefix $prefix: nothing in $site"
  found=$(cd "$work" && PYTHONPATH=$work/root$site "$PYTHON" -c '
import orvandelcaster, orvandelcaster.cli; print(orvandelcaster.__version__)') ||
    fail "prefix $prefix: cannot import what was installed"
  [ "$found" = "$VERSION" ] || fail "prefix $prefix: version $found"
  # Each package's own changelog and copyright go with the component.
  others=$(cd "$work/root" && find . -type f ! -path ".$site/orvandelcaster/*" \
    ! -path "./${prefix#/}/share/doc/python3-orvandelcaster/*")
  [ -z "$others" ] || fail "prefix $prefix: the component installs more: $others"
done
# Debian's Python looks there itself.
"$PYTHON" -c 'import sys; sys.exit("/usr/local/lib/'"$series"'/dist-packages" not in sys.path)' ||
  fail "/usr/local/lib/$series/dist-packages is not on Debian's Python path"
echo PASS
