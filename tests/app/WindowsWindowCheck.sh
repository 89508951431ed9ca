#!/usr/bin/env bash
# sonderik.exe as a user meets it, under wine on a display of its own: in a
# freshly made prefix with a folder of voice files on drive C:, the driver
# (an outside program, tests/app/WindowDriverWin.cpp) starts the window,
# sees the built-in instrument identified, opens the folder through the
# tree, lists a bank, sends a voice by double-click and ends the dialog with
# Escape; then the settings are in wine's registry. With PICTURE, the window
# is photographed once the voice is sent.
# Usage: WindowsWindowCheck.sh SONDERIK.EXE DRIVER.EXE BANK PREFIX [PICTURE]
set -euo pipefail
program=$1 driver=$2 bank=$3 prefix=$4 picture=${5:-}
wine=/usr/lib/wine/wine64

if [ -z "${SONDERIK_UNDER_X:-}" ]; then
  # Wine's desktop takes its display from the first program of a session.
  rm -rf "$prefix"
  mkdir -p "$prefix"
  SONDERIK_UNDER_X=1 exec xvfb-run -a -s '-screen 0 1024x768x24' bash "$0" "$@"
fi

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=winealsa.drv=d
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
"$wine" wineboot -i >/dev/null 2>&1
/usr/lib/wine/wineserver -w
# A user who chose the built-in instrument's ports in an earlier run; no
# folder yet, so the tree opens at the network until one is chosen.
settings='HKCU\Software\Sonderik\Settings'
port='Sonderik virtual EX5 (built in)'
for direction in in out; do
  "$wine" reg add "$settings" /v "midi$direction" /t REG_DWORD /d 0 /f >/dev/null
  "$wine" reg add "$settings" /v "midi${direction}name" /t REG_SZ /d "$port" /f >/dev/null
done
mkdir -p "$prefix/drive_c/Voices"
cp "$bank" "$prefix/drive_c/Voices/"
flag="$prefix/drive_c/picture-taken"
work="$prefix/drive_c/work"
mkdir -p "$work"

# The driver says what it saw, step by step; at "picture" the window is
# photographed and the driver told to go on.
cd "$work"
coproc DRIVE { "$wine" "$driver" "$program" 'C:\Voices' 'C:\picture-taken' 2>&1; echo "driver-ended $?"; }
# The coprocess's descriptors go with it: read from a copy of its own.
exec {said}<&"${DRIVE[0]}"
status=1
while IFS= read -r line <&"$said"; do
  line=${line%$'\r'}
  echo "$line"
  case $line in
    picture)
      if [ -n "$picture" ]; then
        window=$(xdotool search --name '^Sonderik$' | head -n 1)
        eval "$(xdotool getwindowgeometry --shell "$window")"
        import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$picture"
        echo "photographed the window (${WIDTH}x${HEIGHT}) into $picture"
      fi
      touch "$flag"
      ;;
    driver-ended*) status=${line#driver-ended } ;;
  esac
done
if [ "$status" != 0 ]; then
  echo "the window check failed" >&2
  exit 1
fi
# Both jobs logged in the folder the window was started in.
for text in "Found a Yamaha EX5" "confirms: Voice sent"; do
  if ! grep -qF "$text" "$work/Sonderik.log" 2>/dev/null; then
    echo "Sonderik.log of the folder the window was started in does not say \"$text\"" >&2
    exit 1
  fi
done
echo "the window works under wine: identified, opened, listed, sent, closed, saved"
