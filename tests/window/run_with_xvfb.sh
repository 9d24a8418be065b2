#!/usr/bin/env bash
# Runs a command on a private Xvfb (its own display, 1600x1200, 24 bits) with
# Qt's X11 platform, and ends the server after it.
#
#   run_with_xvfb.sh COMMAND [ARGS...]
set -uo pipefail
check_name=run_with_xvfb
source "$(dirname "$0")/../../scripts/lib/process_check.sh"
start_xvfb 1600x1200x24
export XDG_RUNTIME_DIR=$work
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
"$@"
