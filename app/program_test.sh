#!/usr/bin/env bash
# Runs the real orvandelcaster as a user starts it from a shell.
#
#   program_test.sh CASE
#
#   command_line      --help and --version on stdout with status 0; unknown options
#                     (Qt's own among them) and arguments: usage on stderr, status 2
#   headless_sigterm  no DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM or XDG_RUNTIME_DIR:
#   headless_sigint   it serves capture clients, ends with status 0 on the signal,
#   headless_sighup   says nothing on stderr and removes its private runtime directory
#                     (SIGHUP: the terminal of an ssh -X or su session closed)
#   headless_foreign_runtime
#                     XDG_RUNTIME_DIR names a folder Qt will not use (another user's,
#                     kept by su; or open to others): as if it were missing
#   headless_bad_tmpdir
#                     no XDG_RUNTIME_DIR and a TMPDIR that does not exist: the private
#                     runtime directory goes to /tmp, stderr stays empty
#   headless_second_instance
#                     a second instance on the same registry ends at once with status
#                     1 and "Orvandelcaster: already running", and removes its runtime
#                     directory
#   refusal_one_line  a registry name with a newline, of an object that cannot be opened:
#                     the refusal is one line on stderr, the newline escaped, status 1
#   display_x         DISPLAY names a display where no X server runs: status 1, one
#                     line on stderr naming it and saying to unset DISPLAY, nothing on
#                     stdout, its private runtime directory removed (never Qt's abort)
#   display_wayland   WAYLAND_DISPLAY set, no DISPLAY, no compositor there (and here no
#                     Wayland plugin for Qt either): the same kind of line
#   headless_journal  what it does on stdout: the serving line once (not again after a
#                     client's session), joystick 0's state changes (a chosen node that
#                     appears, then goes, under a /dev of its own) and "stopped" on
#                     SIGTERM; stderr empty
#   stop_in_lock_wait another process holds the registry's exclusive lock, so start-up
#                     waits for it: SIGTERM ends the program within a second, with
#                     status 0 and its private runtime directory removed
#   settings_fifo     the settings file is a FIFO that no one writes,
#   settings_dev_zero a link to /dev/zero,
#   settings_long_value
#                     or 10 MB, one "joystick =" line: it is ignored with one line
#                     on stderr, the program serves within 2 s without growing or
#                     keeping a core busy, and SIGTERM ends it within a second
#   long_joystick_variable
#                     ORVANDELCASTER_JOYSTICK longer than 4 KiB: refused with one
#                     line on stderr, the same otherwise
#   named_instances   two instances with two settings files (--settings) serve side
#                     by side under their names, each found by capture-probe --name
#                     and saying its name on stdout; a third with a name in use, a
#                     name that cannot be used and a missing settings file end the
#                     start with status 1 and one line
#
# Needs ORVANDEL_EXE, WINDOW_CLIENT, CAPTURE_PROBE and VERSION. Each run has a registry of its
# own (ORVANDELCASTER_REGISTRY), never the user's.
set -uo pipefail

case_name=${1:?usage: program_test.sh CASE}
check_name=$case_name
source "$(dirname "$0")/../scripts/lib/process_check.sh"

# Runs the program with the given arguments; sets status, out and err.
run() {
  "$ORVANDEL_EXE" "$@" >"$work/run.out" 2>"$work/run.err"
  status=$?
  out=$(cat "$work/run.out")
  err=$(cat "$work/run.err")
}

expect_answer() {  # ARGS... : status 0, something on stdout, nothing on stderr
  run "$@"
  [ "$status" -eq 0 ] || fail "$*: status $status, not 0"
  [ -n "$out" ] || fail "$*: nothing on stdout"
  [ -z "$err" ] || fail "$*: stderr is not empty"
}

expect_bad_usage() {  # ARGS... : status 2, nothing on stdout, the usage on stderr
  run "$@"
  [ "$status" -eq 2 ] || fail "$*: status $status, not 2"
  [ -z "$out" ] || fail "$*: something on stdout"
  grep -q '^Usage: orvandelcaster ' "$work/run.err" || fail "$*: no usage line on stderr"
  grep -q '^orvandelcaster: ' "$work/run.err" || fail "$*: no reason on stderr"
}

case $case_name in
  command_line)
    # Without a display: an answer must not need one, nor start Qt.
    unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
    expect_answer --help
    grep -q '^Usage: orvandelcaster ' "$work/run.out" || fail "--help: no usage line"
    grep -q 'offscreen' "$work/run.out" || fail "--help does not say how it runs without a display"
    expect_answer --version
    [ "$(head -n1 "$work/run.out")" = "orvandelcaster (Orvandelcaster) $VERSION" ] ||
      fail "--version's first line is '$(head -n1 "$work/run.out")'"
    expect_answer --vers
    expect_answer --help --bogus
    expect_bad_usage --bogus
    expect_bad_usage --bogus --help
    expect_bad_usage --help=yes
    expect_bad_usage -h
    expect_bad_usage some-argument
    expect_bad_usage -- some-argument
    expect_bad_usage --settings
    expect_bad_usage -platform offscreen
    expect_bad_usage --platform offscreen
    # An argument cannot forge a line of its own.
    expect_bad_usage $'--bad\nOrvandelcaster: fake line'
    [ "$(head -n1 "$work/run.err")" = "orvandelcaster: unrecognized option '--bad\x0aOrvandelcaster: fake line'" ] ||
      fail "an argument's newline reached stderr"
    # A stdout that cannot be written is an error, not a silent success.
    if [ -w /dev/full ]; then
      "$ORVANDEL_EXE" --help >/dev/full 2>"$work/full.err"
      status=$?
      [ "$status" -eq 1 ] || fail "--help into a full device: status $status, not 1"
    fi
    ;;
  refusal_one_line)
    unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
    export ORVANDELCASTER_REGISTRY=$ORVANDELCASTER_REGISTRY$'\nOrvandelcaster: fake line'
    # A directory, which shm_open refuses.
    mkdir "/dev/shm$ORVANDELCASTER_REGISTRY"
    run
    [ "$status" -eq 1 ] || fail "status $status, not 1"
    shown="${ORVANDELCASTER_REGISTRY%%$'\n'*}\\x0aOrvandelcaster: fake line"
    expected="Orvandelcaster: the registry $shown is not a regular file; remove /dev/shm$shown and start again"
    [ "$err" = "$expected" ] || fail "stderr is not the one line: $expected"
    ;;
  display_*)
    unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM XDG_RUNTIME_DIR
    export TMPDIR=$work/tmp
    mkdir "$TMPDIR"
    if [ "$case_name" = display_x ]; then
      # A display number with no X server's socket.
      number=169
      while [ -e "/tmp/.X11-unix/X$number" ]; do number=$((number + 1)); done
      export DISPLAY=:$number
      expected="Orvandelcaster: cannot open the display $DISPLAY: .*; unset DISPLAY to serve headless"
    else
      # A Wayland client finds its socket in the runtime directory.
      mkdir -m 700 "$work/runtime"
      export XDG_RUNTIME_DIR=$work/runtime WAYLAND_DISPLAY=wayland-9
      expected="Orvandelcaster: cannot open the display wayland-9: .*; unset WAYLAND_DISPLAY to serve headless"
    fi
    run
    [ "$status" -eq 1 ] || fail "status $status, not 1"
    [ -z "$out" ] || fail "something on stdout"
    [ "$(wc -l <"$work/run.err")" -eq 1 ] && [[ $err =~ ^$expected$ ]] ||
      fail "stderr is not one line \"$expected\""
    [ -z "$(ls -A "$TMPDIR")" ] || fail "left behind in TMPDIR: $(ls -A "$TMPDIR")"
    ;;
  headless_journal)
    unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM XDG_RUNTIME_DIR
    export TMPDIR=$work/tmp
    mkdir "$TMPDIR"
    export ORVANDELCASTER_JOYSTICK=/dev/input/event0
    # The program gets a /dev of its own, with the real nodes it needs and the
    # real /dev/shm (the registry), so that a node can appear in /dev/input.
    mkdir "$work/dev"
    unshare -m --propagation private sh -c '
      mount --rbind /dev "$1/dev" && mount -t tmpfs -o mode=755 none /dev &&
      mkdir /dev/input /dev/shm && mount --rbind "$1/dev/shm" /dev/shm &&
      for node in null zero full random urandom; do
        : >"/dev/$node" && mount --bind "$1/dev/$node" "/dev/$node" || exit 1
      done && exec "$2"' sh "$work" "$ORVANDEL_EXE" >"$work/program.out" 2>"$work/program.err" &
    program=$!
    pids+=("$program")
    for session in 1 2; do
      "$WINDOW_CLIENT" serve >"$work/client.out" 2>"$work/client.err" ||
        fail "a capture client was not served (session $session)"
    done
    serving="Orvandelcaster: serving \"Orvandelcaster\" in $ORVANDELCASTER_REGISTRY; joystick 0: "
    missing="Joystick not found — No device /dev/input/event0, chosen by ORVANDELCASTER_JOYSTICK"
    # Waits for the program's stdout to hold the given lines; fails after 5 s.
    expect_stdout() {
      local i
      for ((i = 0; i < 50; i++)); do
        [ "$(cat "$work/program.out")" = "$1" ] && return 0
        sleep 0.1
      done
      fail "stdout is not: $1"
    }
    expect_stdout "$serving$missing"
    # Not an input device: a node whose capabilities cannot be read.
    nsenter -t "$program" -m mknod /dev/input/event0 c 1 3 || fail "no node made"
    not_joystick="Orvandelcaster: joystick 0: Not a joystick — /dev/input/event0 is not a joystick (its capabilities cannot be read), chosen by ORVANDELCASTER_JOYSTICK"
    expect_stdout "$serving$missing"$'\n'"$not_joystick"
    nsenter -t "$program" -m rm /dev/input/event0 || fail "the node was not removed"
    expect_stdout "$serving$missing"$'\n'"$not_joystick"$'\n'"Orvandelcaster: joystick 0: $missing"
    kill -TERM "$program"
    wait_exit "$program" 5
    [ "$status" -eq 0 ] || fail "exit status $status after SIGTERM, not 0"
    expect_stdout "$serving$missing"$'\n'"$not_joystick"$'\n'"Orvandelcaster: joystick 0: $missing"$'\n'"Orvandelcaster: stopped"
    [ -s "$work/program.err" ] && fail "standard error is not empty"
    ;;
  stop_in_lock_wait)
    unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM XDG_RUNTIME_DIR
    export TMPDIR=$work/tmp
    mkdir "$TMPDIR"
    registry=/dev/shm$ORVANDELCASTER_REGISTRY
    # As a new holder holds it while it fills the registry, but for a minute.
    : >"$registry"
    (exec 9<>"$registry" && flock -x 9 && exec sleep 60) &
    pids+=($!)
    for ((i = 0; i < 100; i++)); do
      flock -n -s "$registry" true || break
      sleep 0.05
    done
    flock -n -s "$registry" true && fail "the registry's exclusive lock was not taken"
    "$ORVANDEL_EXE" >"$work/program.out" 2>"$work/program.err" &
    program=$!
    pids+=("$program")
    # Start-up has reached its wait once the registry is open.
    for ((i = 0; i < 100; i++)); do
      [ "$(readlink /proc/"$program"/fd/* 2>/dev/null | grep -c "^$registry\$")" -gt 0 ] && break
      kill -0 "$program" 2>/dev/null || fail "the program ended before it waited"
      sleep 0.1
    done
    kill -TERM "$program"
    wait_exit "$program" 1
    [ "$status" -eq 0 ] || fail "exit status $status after SIGTERM, not 0"
    [ -s "$work/program.err" ] && fail "standard error is not empty"
    [ -z "$(ls -A "$TMPDIR")" ] || fail "left behind in TMPDIR: $(ls -A "$TMPDIR")"
    ;;
  settings_* | long_joystick_variable)
    unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM XDG_RUNTIME_DIR ORVANDELCASTER_JOYSTICK
    export TMPDIR=$work/tmp
    mkdir "$TMPDIR"
    export XDG_CONFIG_HOME=$work/config
    settings=$XDG_CONFIG_HOME/orvandelcaster/settings.conf
    mkdir -p "${settings%/*}"
    ignored="Orvandelcaster: ignoring the settings file $settings: it is"
    case $case_name in
      settings_fifo)
        mkfifo "$settings"
        expected="$ignored a FIFO, not a regular file"
        ;;
      settings_dev_zero)
        ln -s /dev/zero "$settings"
        expected="$ignored a character device, not a regular file"
        ;;
      settings_long_value)
        { printf 'joystick = '; head -c 10000000 /dev/zero | tr '\0' x; echo; } >"$settings"
        expected="$ignored larger than 64 KiB"
        ;;
      long_joystick_variable)
        ORVANDELCASTER_JOYSTICK=$(head -c 4097 /dev/zero | tr '\0' x)
        export ORVANDELCASTER_JOYSTICK
        expected="Orvandelcaster: ORVANDELCASTER_JOYSTICK is longer than 4096 bytes: refused, so joystick 0 is not found"
        ;;
    esac
    started=$(date +%s%N)
    "$ORVANDEL_EXE" >"$work/program.out" 2>"$work/program.err" &
    program=$!
    pids+=("$program")
    "$WINDOW_CLIENT" serve >"$work/client.out" 2>"$work/client.err" &
    client=$!
    pids+=("$client")
    # Served within 2 s (a start takes well under 0.1 s unloaded), never
    # holding much memory meanwhile: a program that reads /dev/zero is
    # stopped before it takes the machine's.
    for ((i = 0; i < 20; i++)); do
      kill -0 "$client" 2>/dev/null || break
      rss_kib=$(awk '/^VmRSS:/ { print $2 }' /proc/"$program"/status 2>/dev/null)
      [ "${rss_kib:-0}" -lt 524288 ] || fail "the program holds ${rss_kib} KiB while starting"
      sleep 0.1
    done
    kill -0 "$client" 2>/dev/null && fail "not served within 2 s"
    wait "$client" || fail "a capture client was not served"
    echo "served after $((($(date +%s%N) - started) / 1000000)) ms"
    # Idle: at most 0.2 s of CPU time in 2 s (user and system, in clock ticks).
    cpu_ticks() { awk '{ print $14 + $15 }' /proc/"$program"/stat; }
    before=$(cpu_ticks)
    sleep 2
    used=$(($(cpu_ticks) - before))
    [ "$used" -le $(($(getconf CLK_TCK) / 5)) ] || fail "$used clock ticks of CPU time in 2 s idle"
    [ "$(cat "$work/program.err")" = "$expected" ] ||
      fail "stderr is not the one line: $(printf '%q' "$expected")"
    kill -TERM "$program"
    wait_exit "$program" 1
    [ "$status" -eq 0 ] || fail "exit status $status after SIGTERM, not 0"
    [ "$(cat "$work/program.err")" = "$expected" ] || fail "more on stderr after SIGTERM"
    ;;
  named_instances)
    unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM XDG_RUNTIME_DIR
    export TMPDIR=$work/tmp
    mkdir "$TMPDIR"
    for stick in one two; do
      printf '# the %s hand\nname = Stick %s\n' "$stick" "$stick" >"$work/$stick.conf"
      # Relative: the file is known by where it was given, wherever the folder is.
      (cd "$work" && exec "$ORVANDEL_EXE" --settings "$stick.conf") \
        >"$work/$stick.out" 2>"$work/$stick.err" &
      pids+=("$!")
    done
    for stick in one two; do
      for _ in $(seq 100); do
        "$CAPTURE_PROBE" info --name "Stick $stick" >"$work/info-$stick.txt" 2>&1 && break
        sleep 0.1
      done
      grep -qx "Server: *Stick $stick" "$work/info-$stick.txt" ||
        fail "Stick $stick is not served under its name: $(cat "$work/info-$stick.txt")"
      grep -q "^Stick $stick: serving \"Stick $stick\" in " "$work/$stick.out" ||
        fail "Stick $stick does not say its name on stdout"
    done
    "$CAPTURE_PROBE" list >"$work/list.txt" 2>&1
    grep -q "Stick one *serving" "$work/list.txt" && grep -q "Stick two *serving" "$work/list.txt" ||
      fail "list does not show both names: $(cat "$work/list.txt")"
    printf 'name = Stick two\n' >"$work/again.conf"
    printf 'name = Stick:two\n' >"$work/colon.conf"
    declare -A refusals=(
      [again.conf]="Stick two: already running"
      [colon.conf]="Orvandelcaster: the setting \"name\" in $work/colon.conf must be 1 to 63 printable ASCII characters without ':', not \"Stick:two\""
      [missing.conf]="Orvandelcaster: cannot use the settings file $work/missing.conf: cannot open it: No such file or directory"
    )
    for file in "${!refusals[@]}"; do
      run --settings "$work/$file"
      [ "$status" -eq 1 ] || fail "--settings $file: status $status, not 1"
      [ "$err" = "${refusals[$file]}" ] || fail "--settings $file: stderr is not \"${refusals[$file]}\""
    done
    for index in 1 2; do
      kill -TERM "${pids[-index]}"
      wait_exit "${pids[-index]}" 5
      [ "$status" -eq 0 ] || fail "an instance ended with status $status after SIGTERM"
    done
    [ -s "$work/one.err" ] || [ -s "$work/two.err" ] && fail "an instance wrote to stderr"
    ;;
  headless_*)
    signal=TERM
    case $case_name in headless_sig*) signal=${case_name#headless_sig} ;; esac
    signal=${signal^^}
    unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM XDG_RUNTIME_DIR
    # Its private runtime directory is made here, where the test can see it.
    export TMPDIR=$work/tmp
    mkdir "$TMPDIR"
    case $case_name in
      headless_foreign_runtime)
        # Qt refuses a runtime folder that others may enter as it refuses
        # another user's; only the first can be made without root.
        mkdir -m 755 "$work/foreign"
        export XDG_RUNTIME_DIR=$work/foreign
        ;;
      headless_bad_tmpdir)
        export TMPDIR=$work/no-such-folder
        ;;
    esac
    "$ORVANDEL_EXE" >"$work/program.out" 2>"$work/program.err" &
    program=$!
    pids+=("$program")
    "$WINDOW_CLIENT" serve >"$work/client.out" 2>"$work/client.err" ||
      fail "a capture client was not served"
    if [ "$case_name" != headless_bad_tmpdir ]; then
      runtime=("$TMPDIR"/orvandelcaster-runtime.*)
      [ ${#runtime[@]} -eq 1 ] && [ -d "${runtime[0]}" ] || fail "no private runtime directory in $TMPDIR"
      [ "$(stat -c %a "${runtime[0]}")" = 700 ] || fail "the runtime directory's mode is not 700"
    fi
    if [ "$case_name" = headless_second_instance ]; then
      mkdir "$work/second-tmp"
      TMPDIR=$work/second-tmp "$ORVANDEL_EXE" >"$work/second.out" 2>"$work/second.err" &
      second=$!
      pids+=("$second")
      wait_exit "$second" 10
      [ "$status" -eq 1 ] || fail "the second instance ended with status $status, not 1"
      [ "$(cat "$work/second.err")" = "Orvandelcaster: already running" ] ||
        fail "the second instance's stderr is not \"Orvandelcaster: already running\""
      [ -z "$(ls -A "$work/second-tmp")" ] ||
        fail "the second instance left behind: $(ls -A "$work/second-tmp")"
    fi
    kill -"$signal" "$program"
    wait_exit "$program" 5
    [ "$status" -eq 0 ] || fail "exit status $status after SIG$signal, not 0"
    [ -s "$work/program.err" ] && fail "standard error is not empty"
    [ ! -d "$work/tmp" ] || [ -z "$(ls -A "$work/tmp")" ] || fail "left behind in TMPDIR: $(ls -A "$work/tmp")"
    ;;
  *)
    fail "unknown case"
    ;;
esac
echo "PASS ($case_name)"
