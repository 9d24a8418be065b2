#!/usr/bin/env bash
# Only the user's own programs: another user (nobody) at the other end of a
# loopback connection, on a dead server's port, or behind a second name of the
# registry object; and readers of the registry that must never write it. Runs
# as root (the owner here) in mount and network namespaces of its own.
#
#   peer_owner_test.sh CASE   (CASE: foreign_peer, squatter, full_squatter, leaving_peers,
#                              steady_peers, linked_registry, readers_never_write;
#                              needs SERVER_FIXTURE and CAPTURE_PROBE)
# Not scripts/lib/process_check.sh: the test runs in the namespaces unshare execs,
# on the user's own registry name (the variable unset).
set -uo pipefail
if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: needs root to act as a second user"
  exit 77
fi
exec unshare -m -n bash -s "$1" <<'SCRIPT'
set -uo pipefail
case_name=$1
fail() { echo "FAIL: $case_name: $*" >&2; exit 1; }
mount --make-rprivate / && mount -t tmpfs -o mode=1777 tmpfs /dev/shm || fail "no private /dev/shm"
ip link set lo up || fail "no loopback"
unset ORVANDELCASTER_REGISTRY
work=$(mktemp -d) && cd "$work" || fail "no working directory"
chmod 755 "$work"
pids=()
trap 'for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; done; rm -rf "$work"' EXIT
object=/Capture_Unix_Socket_Share.0
as_nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups)
nobody_line="user $(getent passwd 65534 | cut -d: -f1) (uid 65534)"

start_server() {  # the owner's server; waits for its publication
  "$SERVER_FIXTURE" >out.server 2>err.server </dev/null &
  server=$!
  pids+=("$server")
  for _ in $(seq 100); do
    port=$("$CAPTURE_PROBE" list 2>/dev/null | awk '$3 == "Orvandelcaster" { print $2 }')
    [ -n "$port" ] && return 0
    sleep 0.05
  done
  fail "the server did not publish: $(cat err.server)"
}

# The owner's server killed, its slot kept by a holder of the registry.
kill_keeping_slot() {
  exec 9<"/dev/shm$object" && flock -s 9 || fail "cannot hold the registry"
  kill -9 "$server"; wait "$server" 2>/dev/null
}

# nobody connects to 127.0.0.1:$1 and reports what happens within 2 s.
nobody_connects() {
  "${as_nobody[@]}" /usr/bin/python3 -c '
import socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])))
s.settimeout(2)
try:
    print("closed" if s.recv(1) == b"" else "answered")
except socket.timeout:
    print("served")
' "$1"
}

case $case_name in
foreign_peer)
  start_server
  for attempt in 1 2; do
    [ "$(nobody_connects "$port")" = closed ] || fail "attempt $attempt: nobody was not turned away"
  done
  "$CAPTURE_PROBE" list | grep -q " $port  *Orvandelcaster  serving$" || fail "the name went: $("$CAPTURE_PROBE" list)"
  "$CAPTURE_PROBE" info >out.probe 2>err.probe || fail "the owner is not served: $(cat err.probe)"
  kill -TERM "$server"; wait "$server"
  [ "$(cat err.server)" = "Orvandelcaster: refused a connection from $nobody_line: only this user's programs are served" ] ||
    fail "server said: $(cat err.server)"
  ;;
squatter)
  # A dead server's slot, kept by a holder of the registry; nobody listens on its port.
  start_server
  kill_keeping_slot
  "${as_nobody[@]}" /usr/bin/python3 -c '
import socket, sys
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1]))); s.listen(5)
print("listening", flush=True)
while True:
    c, _ = s.accept(); c.settimeout(1)
    try: data = c.recv(4096)
    except socket.timeout: data = b""
    if data: print("received", len(data), flush=True)
' "$port" >out.squatter 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do grep -q listening out.squatter && break; sleep 0.1; done
  grep -q listening out.squatter || fail "nobody cannot listen on $port: $(cat out.squatter)"
  [ "$("$CAPTURE_PROBE" list | awk '$3 == "Orvandelcaster"')" = \
    "$(printf '%4d  %-5u  Orvandelcaster  another user'"'"'s: %s' 0 "$port" "$nobody_line")" ] ||
    fail "list: $("$CAPTURE_PROBE" list)"
  timeout 10 "$CAPTURE_PROBE" info --timeout 2000 >/dev/null 2>err.probe; status=$?
  [ "$status" -eq 1 ] || fail "capture-probe info ended with $status, not 1"
  [ "$(cat err.probe)" = "capture-probe: \"Orvandelcaster\": cannot connect to 127.0.0.1:$port: the server there belongs to $nobody_line, not to you; nothing was sent to it" ] ||
    fail "capture-probe: $(cat err.probe)"
  # 0.0.0.0 reaches this machine as well.
  for address in 0.0.0.0 0; do
    timeout 10 "$CAPTURE_PROBE" info --address "$address:$port" --timeout 2000 >/dev/null 2>err.probe
    grep -q "the server there belongs to $nobody_line, not to you; nothing was sent to it\$" err.probe ||
      fail "capture-probe --address $address:$port: $(cat err.probe)"
  done
  ! grep -q received out.squatter || fail "the owner's probe sent nobody $(cat out.squatter)"
  # The owner's restart reclaims the slot.
  start_server
  "$CAPTURE_PROBE" info >/dev/null 2>err.probe || fail "the restarted server does not serve: $(cat err.probe)"
  kill -TERM "$server"; wait "$server"; status=$?
  [ "$status" -eq 0 ] || fail "the restarted server ended with $status: $(cat err.server)"
  ;;
full_squatter)
  # nobody listens on the dead server's port and never accepts: its queue is
  # full, so a connect there gets no answer at all.
  start_server
  kill_keeping_slot
  "${as_nobody[@]}" /usr/bin/python3 -c '
import socket, sys, time
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1]))); s.listen(0)
queued = [socket.socket() for _ in range(3)]
for c in queued:
    c.setblocking(False)
    c.connect_ex(("127.0.0.1", int(sys.argv[1])))
print("full", flush=True)
time.sleep(60)
' "$port" >out.squatter 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do grep -q full out.squatter && break; sleep 0.1; done
  grep -q full out.squatter || fail "nobody cannot listen on $port: $(cat out.squatter)"
  start_server
  "$CAPTURE_PROBE" info >/dev/null 2>err.probe ||
    fail "the restarted server does not serve: $(cat err.probe); it said: $(cat err.server)"
  ;;
leaving_peers)
  # nobody connects and at once closes or resets, again and again.
  start_server
  "${as_nobody[@]}" /usr/bin/python3 -c '
import socket, struct, sys, time
for i in range(40):
    s = socket.create_connection(("127.0.0.1", int(sys.argv[1])))
    if i % 2: s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    s.close(); time.sleep(0.02)
' "$port" || fail "nobody cannot connect"
  "$CAPTURE_PROBE" info >/dev/null 2>err.probe || fail "the owner is not served: $(cat err.probe)"
  kill -TERM "$server"; wait "$server"
  # At most the one line a minute that names nobody; nothing of the peers' resets.
  grep -v -x "Orvandelcaster: refused a connection from $nobody_line: only this user's programs are served" \
    err.server && fail "server said: $(cat err.server)"
  ;;
steady_peers)
  # nobody connects every half second while the registry loses the publication:
  # the once-a-second check must still restore it.
  start_server
  "${as_nobody[@]}" /usr/bin/python3 -c '
import socket, sys, time
for _ in range(16):
    s = socket.create_connection(("127.0.0.1", int(sys.argv[1]))); s.settimeout(0.2)
    try: s.recv(1)
    except OSError: pass
    s.close(); time.sleep(0.5)
' "$port" &
  pids+=($!)
  sleep 0.5
  truncate -s 0 "/dev/shm$object"
  for _ in $(seq 30); do
    "$CAPTURE_PROBE" list 2>/dev/null | grep -q " $port  *Orvandelcaster " && break
    sleep 0.1
  done
  "$CAPTURE_PROBE" list 2>&1 | grep -q " $port  *Orvandelcaster " ||
    fail "not published again within 3 s: $("$CAPTURE_PROBE" list 2>&1)"
  ;;
linked_registry)
  # Another name of the registry's bytes: whoever holds that name holds them.
  printf 'unrelated bytes\n' >/dev/shm/theirs && chmod 666 /dev/shm/theirs
  ln /dev/shm/theirs "/dev/shm$object" || fail "cannot link"
  refusal="the registry $object has 2 names: another file is linked to it; remove /dev/shm$object and start again"
  timeout 5 "$SERVER_FIXTURE" >/dev/null 2>err.server; status=$?
  [ "$status" -eq 1 ] || fail "the server ended with $status, not 1"
  [ "$(cat err.server)" = "Orvandelcaster: $refusal" ] || fail "server: $(cat err.server)"
  timeout 5 "$CAPTURE_PROBE" list >/dev/null 2>err.probe; status=$?
  [ "$status" -eq 1 ] || fail "capture-probe ended with $status, not 1"
  [ "$(cat err.probe)" = "capture-probe: $refusal" ] || fail "capture-probe: $(cat err.probe)"
  [ "$(cat /dev/shm/theirs)" = "unrelated bytes" ] && [ "$(stat -c %a /dev/shm/theirs)" = 666 ] ||
    fail "the other file was changed"
  rm "/dev/shm$object" && mkfifo -m 600 "/dev/shm$object"
  timeout 5 "$SERVER_FIXTURE" >/dev/null 2>err.server; status=$?
  [ "$status" -eq 1 ] || fail "fifo: the server ended with $status, not 1"
  [ "$(cat err.server)" = "Orvandelcaster: the registry $object is not a regular file; remove /dev/shm$object and start again" ] ||
    fail "fifo: server: $(cat err.server)"
  ;;
readers_never_write)
  head -c 8192 /dev/urandom >/dev/shm/myapp && chmod 644 /dev/shm/myapp
  before=$(sha256sum </dev/shm/myapp)
  "$CAPTURE_PROBE" list --registry /myapp >out.probe 2>err.probe || fail "list: $(cat err.probe)"
  [ "$(cat out.probe)" = "No server is published in the registry." ] || fail "list: $(cat out.probe)"
  [ "$(sha256sum </dev/shm/myapp)" = "$before" ] || fail "the bytes of /dev/shm/myapp changed"
  [ "$(stat -c %a:%s /dev/shm/myapp)" = 644:8192 ] || fail "/dev/shm/myapp is now $(stat -c %a:%s /dev/shm/myapp)"
  "$CAPTURE_PROBE" list --registry /mistyped >out.probe 2>err.probe || fail "mistyped: $(cat err.probe)"
  [ "$(cat out.probe)" = "No server is published in the registry." ] || fail "mistyped: $(cat out.probe)"
  timeout 5 "$CAPTURE_PROBE" info --registry /mistyped >/dev/null 2>err.probe
  [ "$(cat err.probe)" = 'capture-probe: no server named "Orvandelcaster" in the registry (not running)' ] ||
    fail "mistyped info: $(cat err.probe)"
  [ ! -e /dev/shm/mistyped ] || fail "a reader created /dev/shm/mistyped"
  ;;
*) fail "no such case" ;;
esac
echo PASS
SCRIPT
