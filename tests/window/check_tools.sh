#!/usr/bin/env bash
# Checks that what the window tests need is there: an X server without a
# screen (Xvfb), xdotool to type into the window, xwininfo and xdpyinfo.
# Installing them is scripts/install-deps's work, not a test's. Starts nothing,
# so it needs nothing of scripts/lib/process_check.sh.
set -euo pipefail
missing=()
command -v Xvfb >/dev/null || missing+=(xvfb)
command -v xdotool >/dev/null || missing+=(xdotool)
{ command -v xwininfo && command -v xdpyinfo; } >/dev/null || missing+=(x11-utils)
[ ${#missing[@]} -eq 0 ] && exit 0
echo "window tests need ${missing[*]}; run scripts/install-deps" >&2
exit 1
