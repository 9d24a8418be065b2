#!/usr/bin/env bash
# Checks the Windows installer cpack made in a cross-build folder without
# running it (Debian's makensis writes a 32-bit installer, which Debian's
# 64-bit-only Wine cannot start): it carries both programs, the README and an
# uninstaller, and its Start-menu entries lead to files it installs.
#
#   packaging/check_windows_installer.sh BUILD_DIR
set -euo pipefail
build=$(realpath "${1:?usage: check_windows_installer.sh BUILD_DIR}")
check_name=check_windows_installer
source "$(dirname "$0")/../scripts/lib/process_check.sh"
installer=$(ls "$build"/orvandelcaster-*-win64.exe)
script=$build/_CPack_Packages/win64/NSIS/project.nsi
contents=$(7z l -slt "$installer" | sed -n 's/^Path = //p')

for file in orvandelcaster.exe capture-probe.exe README.md Uninstall.exe; do
  grep -qx "$file" <<<"$contents" || fail "$installer lacks $file"
done

# The script's own $ names, matched literally:
# CreateShortCut "$SMPROGRAMS\$STARTMENU_FOLDER\NAME.lnk" "$INSTDIR\TARGET"
# shellcheck disable=SC2016
shortcuts=$(sed -n 's/^ *CreateShortCut "\$SMPROGRAMS\\\$STARTMENU_FOLDER\\\([^"]*\)" "\$INSTDIR\\\([^"]*\)".*/\1 \2/p' "$script")
for entry in Orvandelcaster.lnk Uninstall.lnk; do
  target=$(awk -v name="$entry" '$1 == name { print $2 }' <<<"$shortcuts")
  [ -n "$target" ] || fail "no Start-menu entry $entry"
  target=${target//\\//}
  target=${target#./}
  grep -qx "$target" <<<"$contents" || fail "Start-menu entry $entry leads to $target, which is not installed"
done
echo "$installer: both programs, README, uninstaller; Start-menu entries lead to installed files"
