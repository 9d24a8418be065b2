#!/usr/bin/env bash
# The registry's name comes from the environment: when the program refuses the
# object it names, its one line shows the name escaped (a line feed in it forges
# no second line) and shortened in the middle (a long name never cuts off the
# reason). Runs as root in a mount namespace with a /dev/shm of its own, taking
# another user's part as nobody.
#
#   outside_names_test.sh   (needs SERVER_FIXTURE; ORVANDEL_EXE when built)
# Not scripts/lib/process_check.sh: it re-execs itself under unshare, and sets
# the registry variable per run; it starts no process that outlives a check.
set -uo pipefail
if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: needs root for a /dev/shm of its own and a second user"
  exit 77
fi
if [ -z "${OUTSIDE_NAMES_PRIVATE:-}" ]; then
  OUTSIDE_NAMES_PRIVATE=1 exec unshare -m "$0" "$@"
fi
fail() { echo "FAIL: $*" >&2; exit 1; }
mount --make-rprivate / && mount -t tmpfs -o mode=1777 tmpfs /dev/shm || fail "no private /dev/shm"
work=$(mktemp -d) && cd "$work" || fail "no working directory"
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=offscreen
mkdir -m 700 "$XDG_RUNTIME_DIR"
programs=("$SERVER_FIXTURE")
[ -n "${ORVANDEL_EXE:-}" ] && programs+=("$ORVANDEL_EXE")

# Runs every program on the object $1: each must end with status 1 and write
# exactly one line, all of it matching the extended regular expression $2.
expect_refusal() {
  local object=$1 pattern=$2 program status lines
  for program in "${programs[@]}"; do
    ORVANDELCASTER_REGISTRY=$object timeout 10 "$program" >/dev/null 2>err; status=$?
    [ "$status" -eq 1 ] || fail "$program ended with $status, not 1: $(cat err)"
    lines=$(wc -l <err)
    [ "$lines" -eq 1 ] || fail "$program wrote $lines lines: $(cat err)"
    grep -Eqx -- "$pattern" err || fail "$program: $(cat err)"
  done
}

# A line feed in the name of a directory, which cannot be opened.
forged=$'evil\nOrvandelcaster: fake line'
mkdir "/dev/shm/$forged" || fail "no directory"
expect_refusal "/$forged" \
  'Orvandelcaster: the registry /evil\\x0aOrvandelcaster: fake line is not a regular file; remove /dev/shm/evil\\x0aOrvandelcaster: fake line and start again'

# 300 characters: too long a name for the system, shown as 200 at most.
long=$(printf 'a%.0s' $(seq 299))
expect_refusal "/$long" 'Orvandelcaster: the registry /a{90,}…a{90,} is not a usable name for a shared-memory object \(ORVANDELCASTER_REGISTRY\)'

# Another user owns it, under a name of 250 characters: the name and its path
# are both shortened, and the line still says what to do.
name=$(printf 'b%.0s' $(seq 250))
setpriv --reuid=65534 --regid=65534 --clear-groups sh -c "umask 077; : >/dev/shm/$name" ||
  fail "nobody cannot create the object"
owner=$(getent passwd 65534 | cut -d: -f1)
expect_refusal "/$name" "Orvandelcaster: the registry /b{90,}…b{90,} belongs to $owner, not to you; only that user or an administrator can remove it \\(/dev/shm/b{90,}…b{90,}\\)"
echo PASS
