#!/usr/bin/env bash
# sonderik-cli.exe as a user meets it, in a wine prefix of its own made
# fresh: the settings of an earlier installation under HKEY_LOCAL_MACHINE are
# read while the user has none; identify and send reach the built-in
# instrument and write Sonderik.log in the current folder; a saved value in
# the user's key is what `settings` shows. Usage: WindowsProgramCheck.sh EXE PREFIX BANK
set -euo pipefail
exe=$1 prefix=$2 bank=$3
wine=/usr/lib/wine/wine64
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=winealsa.drv=d

fail() { echo "FAILED: $*" >&2; exit 1; }
cli() { "$wine" "$exe" "$@" | tr -d '\r'; }

rm -rf "$prefix"
"$wine" wineboot -i >/dev/null 2>&1
"$wine" reg add 'HKLM\Software\Sonderik\Settings' /v deviceno /t REG_DWORD /d 5 /f >/dev/null
"$wine" reg add 'HKLM\Software\Sonderik\Settings' /v Path /t REG_SZ /d 'C:\Voices\' /f >/dev/null
settings=$(cli settings)
grep -qx 'deviceno=5' <<<"$settings" || fail "the machine key's device number was not read: $settings"
grep -qxF 'Path=C:\Voices\' <<<"$settings" || fail "the machine key's path was not read: $settings"

work=$(mktemp -d)
trap 'rm -rf "$work"; /usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
cd "$work"
[ "$(cli identify --in "built in" --out "built in" --device 1)" = "EX5" ] || fail "identify did not name the EX5"
sent=$(cli send "$bank" I1-002 --in "built in" --out "built in")
grep -q '^Sent I1-002 Glass Grand to Sonderik virtual EX5 (built in)$' <<<"$sent" || fail "send said: $sent"
grep -q 'Voice sent' Sonderik.log || fail "Sonderik.log does not hold the send"
grep -q 'Finished instrument ident' Sonderik.log || fail "Sonderik.log does not hold the identification"

"$wine" reg add 'HKCU\Software\Sonderik\Settings' /v mididelay /t REG_DWORD /d 700 /f >/dev/null
settings=$(cli settings)
grep -qx 'mididelay=700' <<<"$settings" || fail "the user's key was not read: $settings"
echo "sonderik-cli.exe: machine settings taken over, identify and send logged, the user's key shown"
