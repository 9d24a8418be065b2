#!/usr/bin/env bash
# Runs the real orvandelcaster as a user starts it from a shell.
#
#   program_test.sh CASE
#
#   command_line      --help and --version on stdout with status 0; unknown options
#                     (Qt's own among them) and arguments: usage on stderr, status 2
#   headless_sigterm  no DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM or XDG_RUNTIME_DIR:
#   headless_sigint   it serves capture clients, ends with status 0 on the signal,
#                     says nothing on stderr and removes its private runtime directory
#
# Needs ORVANDEL_EXE, WINDOW_CLIENT and VERSION; the headless cases use the
# user's registry, so no other real server may run at the same time.
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
    expect_bad_usage -platform offscreen
    expect_bad_usage --platform offscreen
    # A stdout that cannot be written is an error, not a silent success.
    if [ -w /dev/full ]; then
      "$ORVANDEL_EXE" --help >/dev/full 2>"$work/full.err"
      status=$?
      [ "$status" -eq 1 ] || fail "--help into a full device: status $status, not 1"
    fi
    ;;
  headless_sigterm | headless_sigint)
    signal=${case_name#headless_}
    signal=${signal^^}
    unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM XDG_RUNTIME_DIR
    # Its private runtime directory is made here, where the test can see it.
    export TMPDIR=$work/tmp
    mkdir "$TMPDIR"
    "$ORVANDEL_EXE" >"$work/program.out" 2>"$work/program.err" &
    program=$!
    pids+=("$program")
    "$WINDOW_CLIENT" serve >"$work/client.out" 2>"$work/client.err" ||
      fail "a capture client was not served"
    runtime=("$TMPDIR"/orvandelcaster-runtime.*)
    [ ${#runtime[@]} -eq 1 ] && [ -d "${runtime[0]}" ] || fail "no private runtime directory in $TMPDIR"
    [ "$(stat -c %a "${runtime[0]}")" = 700 ] || fail "the runtime directory's mode is not 700"
    kill -"$signal" "$program"
    wait_exit "$program" 5
    [ "$status" -eq 0 ] || fail "exit status $status after SIG$signal, not 0"
    [ -s "$work/program.err" ] && fail "standard error is not empty"
    [ -z "$(ls -A "$TMPDIR")" ] || fail "left behind in TMPDIR: $(ls -A "$TMPDIR")"
    ;;
  *)
    fail "unknown case"
    ;;
esac
echo "PASS ($case_name)"
