#!/usr/bin/env bash
# Files held open are scheduled for the next boot, then a scratch prefix is restarted with
# wineboot -r: the delayed moves (NT family) and WININIT.INI's renames (Windows 9x) put the
# new files in place.
#   nextboot.sh BOOTDRV LOCKER WINE-RUN
set -euo pipefail
bootdrv=$1 locker=$2 wine_run=$3
scratch=$(mktemp -d)
export TARNWICK_WINEPREFIX=$scratch/prefix
cleanup() {
  WINEPREFIX=$TARNWICK_WINEPREFIX wineserver -k >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$wine_run" cmd /c exit >/dev/null 2>&1
c=$TARNWICK_WINEPREFIX/drive_c
mkdir -p "$c/data/Long folder" "$c/src" "$c/stage"
echo -n old >"$c/data/main.dll"
echo -n new >"$c/src/main.dll"
echo -n "old long" >"$c/data/Long folder/library file.dll"
echo -n "new long" >"$c/src/library file.dll"

# NT family: the locker holds main.dll; the replacement waits for the boot.
"$wine_run" "$locker" 'C:\data\main.dll' 'C:\ready.txt' >/dev/null 2>&1 &
locker_pid=$!
for _ in $(seq 1 600); do [ -f "$c/ready.txt" ] && break; sleep 0.1; done
[ -f "$c/ready.txt" ] || fail "the locker did not start"
out=$("$wine_run" "$bootdrv" nt 'C:\stage\' 'C:\windows' 'C:\data\main.dll=C:\src\main.dll' 2>&1 | tr -d '\r')
grep -q '^scheduled: 1$' <<<"$out" || fail "not scheduled: $out"
pending=$("$wine_run" reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations 2>&1 | tr -d '\r')
grep -qF '\??\C:\stage\0\main.dll' <<<"$pending" || fail "no staged source in: $pending"
grep -qF '!\??\C:\data\main.dll' <<<"$pending" || fail "no replacing target in: $pending"
[ "$(cat "$c/data/main.dll")" = old ] || fail "replaced before the boot"
rm -f "$c/ready.txt"
wait "$locker_pid" || true
"$wine_run" wineboot -r >/dev/null 2>&1
[ "$(cat "$c/data/main.dll")" = new ] || fail "main.dll after the boot: $(cat "$c/data/main.dll")"

# Windows 9x: a long name goes through WININIT.INI, which the boot carries out.
out=$("$wine_run" "$bootdrv" 9x 'C:\stage\' 'C:\windows' 'C:\data\Long folder\library file.dll=C:\src\library file.dll' 2>&1 | tr -d '\r')
grep -q '^scheduled: 1$' <<<"$out" || fail "not scheduled: $out"
wininit=$(find "$c/windows" -maxdepth 1 -iname wininit.ini | head -n 1)
[ -n "$wininit" ] && grep -qi 'rename' "$wininit" || fail "no WININIT.INI"
"$wine_run" wineboot -r >/dev/null 2>&1
[ "$(cat "$c/data/Long folder/library file.dll")" = "new long" ] || fail "the renamer left: $(cat "$c/data/Long folder/library file.dll")"
echo "next boot: both files in place"
