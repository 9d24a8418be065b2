#!/usr/bin/env bash
# Checks the Windows zip and installer cpack made in a cross-build folder
# without running the installer (Debian's makensis writes a 32-bit installer,
# which Debian's 64-bit-only Wine cannot start): each carries both programs
# stripped of their debugging sections, the README and the licence as text
# with Windows line ends; the installer shows the licence, has an uninstaller,
# and its Start-menu entries lead to files it installs.
#
#   packaging/check_windows_installer.sh BUILD_DIR
set -euo pipefail
build=$(realpath "${1:?usage: check_windows_installer.sh BUILD_DIR}")
check_name=check_windows_installer
source "$(dirname "$0")/../scripts/lib/process_check.sh"
source_dir=$(realpath "$(dirname "$0")/..")
zip=$(ls "$build"/orvandelcaster-*-win64.zip)
installer=$(ls "$build"/orvandelcaster-*-win64.exe)
script=$build/_CPack_Packages/win64/NSIS/project.nsi

# Unpacks archive into its own folder and checks what both packages share.
check_contents() {
  local archive=$1 into
  into=$work/$(basename "$archive")
  7z x -y -o"$into" "$archive" >/dev/null || fail "cannot unpack $archive"
  # The zip keeps its files in one folder named after it.
  [ -d "$into/$(basename "$archive" .zip)" ] && into=$into/$(basename "$archive" .zip)
  local file
  for file in orvandelcaster.exe capture-probe.exe README.txt LICENSE.txt; do
    [ -s "$into/$file" ] || fail "$archive lacks $file"
  done
  for file in orvandelcaster.exe capture-probe.exe; do
    ! x86_64-w64-mingw32-objdump -h "$into/$file" | grep -q ' \.debug_' ||
      fail "$archive carries $file with its debugging sections: not stripped"
  done
  for file in README.txt LICENSE.txt; do
    [ "$(grep -c $'\r$' "$into/$file")" = "$(wc -l <"$into/$file")" ] ||
      fail "$archive's $file has lines without CR LF"
  done
  cmp -s <(tr -d '\r' <"$into/LICENSE.txt") "$source_dir/LICENSE" ||
    fail "$archive's LICENSE.txt is not the tree's LICENSE"
}
check_contents "$zip"
check_contents "$installer"

contents=$(7z l -slt "$installer" | sed -n 's/^Path = //p')
grep -qx Uninstall.exe <<<"$contents" || fail "$installer lacks Uninstall.exe"
grep -q '^ *!insertmacro MUI_PAGE_LICENSE ' "$script" || fail "the installer shows no licence page"

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
echo "$zip, $installer: both programs stripped, README.txt and LICENSE.txt;" \
  "the installer's licence page, uninstaller and Start-menu entries"
