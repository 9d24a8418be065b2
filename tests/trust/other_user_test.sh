#!/usr/bin/env bash
# Another local user creates the registry first (mode 0666, or one we may not
# even open) and holds its lock: the server, the program, capture-probe and the
# client library refuse it at once with one line naming the object, its owner
# and what to do. Runs as root
# in a mount namespace with a /dev/shm of its own, taking the other user's part
# as nobody, so the machine's real registries are never touched.
#
#   other_user_test.sh   (needs SERVER_FIXTURE and CAPTURE_PROBE; ORVANDEL_EXE when built)
# Not scripts/lib/process_check.sh: the test runs in the namespace unshare execs,
# with the registry variable unset and the holder its own process group.
set -uo pipefail
if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: needs root to act as a second user"
  exit 77
fi
exec unshare -m bash -c '
  set -uo pipefail
  fail() { echo "FAIL: $*" >&2; exit 1; }
  mount --make-rprivate / && mount -t tmpfs -o mode=1777 tmpfs /dev/shm || fail "no private /dev/shm"
  unset ORVANDELCASTER_REGISTRY
  work=$(mktemp -d) && cd "$work" || fail "no working directory"
  object=/Capture_Unix_Socket_Share.$(id -u)
  as_nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  "${as_nobody[@]}" sh -c "umask 0; : >/dev/shm$object" || fail "nobody cannot create the object"
  # The hostile holder keeps an exclusive lock for as long as the test runs.
  setsid "${as_nobody[@]}" flock -x "/dev/shm$object" sleep 60 </dev/null >/dev/null 2>&1 &
  holder=$!
  trap "kill -- -$holder 2>/dev/null; rm -rf \"$work\"" EXIT
  owner=$(getent passwd 65534 | cut -d: -f1)
  refusal="the registry $object belongs to $owner, not to you; only that user or an administrator can remove it (/dev/shm$object)"

  timeout 5 "$SERVER_FIXTURE" >/dev/null 2>err.fixture; status=$?
  [ "$status" -eq 1 ] || fail "the server ended with $status, not 1"
  [ "$(cat err.fixture)" = "Orvandelcaster: $refusal" ] || fail "server: $(cat err.fixture)"

  if [ -n "${ORVANDEL_EXE:-}" ]; then
    export XDG_RUNTIME_DIR=$work/runtime
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    QT_QPA_PLATFORM=offscreen timeout 10 "$ORVANDEL_EXE" >/dev/null 2>err.program; status=$?
    [ "$status" -eq 1 ] || fail "the program ended with $status, not 1"
    [ "$(cat err.program)" = "Orvandelcaster: $refusal" ] || fail "program: $(cat err.program)"
  fi

  timeout 5 "$CAPTURE_PROBE" list >/dev/null 2>err.probe; status=$?
  [ "$status" -eq 1 ] || fail "capture-probe ended with $status, not 1"
  [ "$(cat err.probe)" = "capture-probe: $refusal" ] || fail "capture-probe: $(cat err.probe)"

  [ "$(stat -c %U:%a "/dev/shm$object")" = "$owner:666" ] || fail "the object was changed"

  # One the other user keeps to himself (mode 0000, or a directory) cannot even
  # be opened; a user who is not root meets it the same: refused, naming its owner.
  victim=(setpriv --reuid=1 --regid=1 --clear-groups)
  object=/Capture_Unix_Socket_Share.1
  refusal="the registry $object belongs to $owner, not to you; only that user or an administrator can remove it (/dev/shm$object)"
  for shape in file directory; do
    if [ $shape = file ]; then
      "${as_nobody[@]}" sh -c "umask 777; : >/dev/shm$object" || fail "nobody cannot create the object"
    else
      "${as_nobody[@]}" mkdir -m 700 "/dev/shm$object" || fail "nobody cannot create the directory"
    fi
    timeout 5 "${victim[@]}" "$SERVER_FIXTURE" >/dev/null 2>err.fixture; status=$?
    [ "$status" -eq 1 ] || fail "$shape: the server ended with $status, not 1"
    [ "$(cat err.fixture)" = "Orvandelcaster: $refusal" ] || fail "$shape: server: $(cat err.fixture)"
    timeout 5 "${victim[@]}" "$CAPTURE_PROBE" list >/dev/null 2>err.probe; status=$?
    [ "$status" -eq 1 ] || fail "$shape: capture-probe ended with $status, not 1"
    [ "$(cat err.probe)" = "capture-probe: $refusal" ] || fail "$shape: capture-probe: $(cat err.probe)"
    rm -rf "/dev/shm$object"
  done
  echo PASS
'
