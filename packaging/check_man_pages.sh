#!/usr/bin/env bash
# Checks the built man pages: man and groff find nothing to warn about, lexgrog
# reads their NAME line, they have the sections a user looks for, and every
# option and command the program's own --help names is described.
#
#   check_man_pages.sh PAGE PROGRAM [PAGE PROGRAM...]
# Its fail() collects every fault and the status comes at the end, unlike the
# stop-at-first fail() of scripts/lib/process_check.sh; it starts no process.
set -uo pipefail

failed=0
fail() {
  echo "FAIL: $*" >&2
  failed=1
}

# The page as plain ASCII text, one paragraph per line, without hyphenation.
render() {
  LC_ALL=C MANWIDTH=1000 man -l "$1" 2>/dev/null | col -b
}

# The long options and commands named in a help text.
named_in_help() {
  grep -o -- '--[a-z][a-z-]*' <<<"$1"
  sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\).*/\1/p' <<<"$1"
}

while [ $# -ge 2 ]; do
  page=$1 program=$2
  shift 2
  name=$(basename "$page" .1)

  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$name: man --warnings: $warnings"
  whatis=$(lexgrog "$page") || fail "$name: lexgrog cannot read the NAME section"
  grep -q "\"$name - " <<<"$whatis" || fail "$name: lexgrog reads '$whatis'"

  text=$(render "$page")
  for section in SYNOPSIS DESCRIPTION OPTIONS ENVIRONMENT FILES "EXIT STATUS" EXAMPLE; do
    grep -q "^$section\$" <<<"$text" || fail "$name: no $section section"
  done
  grep -q 'ORVANDELCASTER_REGISTRY' <<<"$text" || fail "$name: ORVANDELCASTER_REGISTRY not described"

  help=$("$program" --help) || fail "$name --help failed"
  # A program with commands has help of its own for each.
  for command in $(sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\).*/\1/p' <<<"$help"); do
    help+=$'\n'$("$program" "$command" --help)
  done
  for word in $(named_in_help "$help" | sort -u); do
    grep -q -- "^ *$word\\b" <<<"$text" || fail "$name: '$word' from --help is not described"
  done
done
[ $# -eq 0 ] || fail "usage: check_man_pages.sh PAGE PROGRAM [PAGE PROGRAM...]"
[ "$failed" = 0 ] && echo "PASS"
exit "$failed"
