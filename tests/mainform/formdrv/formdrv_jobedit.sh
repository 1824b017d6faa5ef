#!/usr/bin/env bash
# A job made only through the Backup tab's controls and saved with Save As, read back from
# its file; then the menu lock set through the driver holding over a restart.
set -euo pipefail
formdrv=$1 program=$2 winerun=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$program" "$work/tarnwick.exe"
mkdir -p "$work/data" "$work/out"
# Settings beside the program only: the lock set here must not reach other runs.
printf '[Settings]\r\nUseUserData2kXP=0\r\n' >"$work/tarnwick.ini"
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }
fail() {
  echo "FAIL: $*"
  printf '%s\n' "$out"
  exit 1
}
run() { (cd "$work" && "$winerun" "$formdrv" --as "$(winpath "$work/tarnwick.exe")" script "$(winpath "$1")" | tr -d '\r'); }

cat >"$work/make.txt" <<SCRIPT
action NewJob
type Edit7 $(winpath "$work/out")\\
folder $(winpath "$work/data")
action SelectDir
text *.tmp
key ListBox3 Insert
type Edit2 Week:ly
text secret
text secret
action SetPassWord
file $(winpath "$work/job.dat")
action SaveJobAs
dump Edit7
dump Edit2
dump ListBox1
dump ListBox3
dump Usepassword1
SCRIPT
out=$(run "$work/make.txt") || fail "driver ended with an error (make)"
grep -qx "Edit7.text=$(winpath "$work/out" | sed 's/\\/\\\\/g')" <<<"$out" || fail "destination field"
grep -qx 'ask: box: Tarnwick: Week:ly, is not a valid filename' <<<"$out" || fail "zip name message"
grep -qx 'Edit2.text=Weekly' <<<"$out" || fail "zip name cleaned"
grep -qx 'ListBox3.item.0=\*\.tmp' <<<"$out" || fail "exclude entry"
grep -qx 'Usepassword1.checked=1' <<<"$out" || fail "password"
[ -f "$work/job.dat" ] || fail "no job file"
lines=$(tr -d '\r' <"$work/job.dat")
head -1 <<<"$lines" | grep -qix "$(winpath "$work/out" | sed 's/\\/\\\\/g')" || fail "destination line"
grep -qix "$(winpath "$work/data" | sed 's/\\/\\\\/g')\\\\" <<<"$lines" || fail "include line"
grep -qx '\*\.tmp' <<<"$lines" || fail "exclude line"
grep -qx 'Weekly' <<<"$lines" || fail "zip name line"

# The lock: set, refused Backup menu, only the other tabs; still so after a restart.
cat >"$work/lock.txt" <<SCRIPT
text abc
text abc
action lockmenu
menu Backup1
dump PageControl1
SCRIPT
out=$(run "$work/lock.txt") || fail "driver ended with an error (lock)"
grep -qx 'refused: Backup1' <<<"$out" || fail "Backup menu while locked"
grep -qx 'PageControl1.tabs=TabSheet4,TabSheetCat,TabSheet3,TabSheet5' <<<"$out" || fail "tabs while locked"
grep -qx 'PageControl1.active=TabSheet3' <<<"$out" || fail "log tab while locked"
printf 'menu Backup1\ndump lockmenu\n' >"$work/again.txt"
out=$(run "$work/again.txt") || fail "driver ended with an error (again)"
grep -qx 'refused: Backup1' <<<"$out" || fail "lock lost over a restart"
grep -qx 'lockmenu.text=Unlock menu' <<<"$out" || fail "lock caption"
grep -q '^Menu=.' "$work/tarnwick.ini" || fail "lock not in the program's settings file"
echo "formdrv jobedit: OK"
