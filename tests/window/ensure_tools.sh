#!/usr/bin/env bash
# Installs what the window tests need when it is missing: an X server without
# a screen (Xvfb), xdotool to type into the window, xwininfo and xdpyinfo.
set -euo pipefail
missing=()
command -v Xvfb >/dev/null || missing+=(xvfb)
command -v xdotool >/dev/null || missing+=(xdotool)
{ command -v xwininfo && command -v xdpyinfo; } >/dev/null || missing+=(x11-utils)
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null; then
  echo "window tests need ${missing[*]}; install them (apt-get install ${missing[*]})" >&2
  exit 1
fi
echo "installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
