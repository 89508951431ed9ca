#!/usr/bin/env bash
# Runs a Windows test program that makes windows: under Xvfb, in a wine
# prefix of its own. Wine's desktop takes its display driver from the first
# program of a prefix's session, so in the prefix the other tests share
# (which run without a display) no window could be made. The prefix is made
# once and kept. Usage: WindowUnderX.sh PREFIX EXE [ARGUMENTS...]
set -euo pipefail
prefix=$1
shift
wine=/usr/lib/wine/wine64
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=winealsa.drv=d

# The session ends with the display it was started on.
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
if [ ! -f "$prefix/system.reg" ]; then
  "$wine" wineboot -i >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
fi
xvfb-run -a -s '-screen 0 1024x768x24' "$wine" "$@"
