#!/usr/bin/env bash
# The installer as a user's machine meets it, in a wine prefix of its own made
# fresh: a silent install into a chosen folder gives the zip's files byte for
# byte, the uninstaller and its entry among the installed programs (and the
# Start-menu entry once the window is among the files); the installed tool
# runs; the silent uninstall takes all of it away again and leaves the
# user's settings and logs alone.
# Usage: WindowsSetupCheck.sh SETUP_EXE ZIP_FOLDER PREFIX VERSION
set -euo pipefail
setup=$(realpath "$1") files=$(realpath "$2") prefix=$(realpath -m "$3") version=$4
wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=winealsa.drv=d

fail() { echo "FAILED: $*" >&2; exit 1; }
win() { timeout 120 "$wine" "$@" | tr -d '\r'; }
seconds() { date +%s.%N; }
took() { awk -v a="$1" -v b="$(seconds)" 'BEGIN { printf "%.1f s", b - a }'; }

rm -rf "$prefix"
timeout 120 "$wine" wineboot -i >/dev/null 2>&1
timeout 120 "$wineserver" -w
work=$(mktemp -d)
trap 'rm -rf "$work"; timeout 30 "$wineserver" -k 2>/dev/null || true' EXIT
cd "$work"

folder="$prefix/drive_c/Sonderik"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sonderik'
start_menu() { find "$prefix/drive_c/users" -name Sonderik.lnk; }
window=""
[ -f "$files/sonderik.exe" ] && window=yes

# What a user already has: settings saved by an earlier run. Their logs go
# to a folder of their own, where the window's entry puts them.
logs="$(win cmd /c echo %LOCALAPPDATA%)\\Sonderik"
win reg add 'HKCU\Software\Sonderik\Settings' /v mididelay /t REG_DWORD /d 700 /f >/dev/null

started=$(seconds)
timeout 120 "$wine" "$setup" /S '/D=C:\Sonderik'
timeout 120 "$wineserver" -w
echo "installed in $(took "$started")"

[ -f "$folder/uninst.exe" ] || fail "no uninst.exe in C:\\Sonderik"
for f in "$files"/*; do
  cmp -s "$f" "$folder/${f##*/}" || fail "C:\\Sonderik\\${f##*/} is not the zip's"
done
extra=$(cd "$folder" && ls | grep -vxF -f <(cd "$files" && ls) | grep -vx uninst.exe || true)
[ -z "$extra" ] || fail "installed beyond the zip's files: $extra"
entry=$(win reg query "$uninstall_key" /v UninstallString || true)
grep -qF 'C:\Sonderik\uninst.exe' <<<"$entry" || fail "no uninstall entry naming C:\\Sonderik\\uninst.exe"
if [ -n "$window" ]; then
  link=$(start_menu)
  [ -n "$link" ] || fail "no Start-menu entry"
  # The entry's strings are UTF-16: without the zero bytes they read as text.
  text=$(tr -d '\0' <"$link")
  grep -qF 'C:\Sonderik\sonderik.exe' <<<"$text" || fail "the Start-menu entry does not start the window"
  grep -qF -- "--log-dir \"$logs\"" <<<"$text" || fail "the Start-menu entry gives the window no log folder of the user's"
else
  [ -z "$(start_menu)" ] || fail "a Start-menu entry without a window to start"
fi
said=$(win 'C:\Sonderik\sonderik-cli.exe' --version)
[ "$said" = "$version" ] || fail "the installed sonderik-cli --version says \"$said\", not $version"

win 'C:\Sonderik\sonderik-cli.exe' identify --in "built in" --out "built in" --log-dir "$logs" >/dev/null ||
  fail "the installed sonderik-cli could not identify the built-in instrument"
log=$(win winepath -u "$logs\\Sonderik.log")
[ -s "$log" ] || fail "the installed sonderik-cli wrote no log to $logs"

started=$(seconds)
# _?= runs the uninstaller where it is, and so waits for it; it cannot remove
# itself while it runs.
timeout 120 "$wine" 'C:\Sonderik\uninst.exe' /S '_?=C:\Sonderik'
timeout 120 "$wineserver" -w
echo "uninstalled in $(took "$started")"

left=$(ls -A "$folder")
[ "$left" = "uninst.exe" ] || fail "the uninstaller left in C:\\Sonderik: $(tr '\n' ' ' <<<"$left")"
rm "$folder/uninst.exe"
rmdir "$folder"
[ -z "$(start_menu)" ] || fail "the uninstaller left the Start-menu entry"
if win reg query "$uninstall_key" >/dev/null 2>&1; then
  fail "the uninstaller left its entry among the installed programs"
fi
kept=$(win reg query 'HKCU\Software\Sonderik\Settings' /v mididelay || true)
grep -q 0x2bc <<<"$kept" || fail "the uninstaller took the user's settings"
[ -s "$log" ] || fail "the uninstaller took the user's log"
echo "$(basename "$setup"): installed the zip's files silently, its sonderik-cli runs, uninstalled all of them but the user's"
