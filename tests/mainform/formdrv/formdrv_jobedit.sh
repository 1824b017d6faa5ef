#!/usr/bin/env bash
# A job made only through the Backup tab's controls and saved with Save As, read back from
# its file, then run by the program itself started hidden: its volumes pass unzip -t with the
# password and hold the included files but not the excluded ones. Then the menu lock set
# through the driver holding over a restart.
set -euo pipefail
. "$(dirname "$0")/formdrv_common.sh"
mkdir -p "$work/data/sub" "$work/out"
printf 'first file\r\n' >"$work/data/a.txt"
head -c 300000 /dev/urandom >"$work/data/sub/b.bin"
printf 'left out\r\n' >"$work/data/sub/skip.tmp"
# Settings beside the program only: the lock set here must not reach other runs.
printf '[Settings]\r\nUseUserData2kXP=0\r\n' >"$work/tarnwick.ini"

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
out=$(drive script "$(winpath "$work/make.txt")") || fail "driver ended with an error (make)"
grep -qx "Edit7.text=$(winpath "$work/out" | sed 's/\\/\\\\/g')" <<<"$out" || fail "destination field"
grep -qx 'ask: box: Tarnwick: Week:ly, is not a valid filename' <<<"$out" || fail "zip name message"
grep -qx 'Edit2.text=Weekly' <<<"$out" || fail "zip name cleaned"
grep -qx 'ListBox3.item.0=\*\.tmp' <<<"$out" || fail "exclude entry"
grep -qx 'Usepassword1.checked=1' <<<"$out" || fail "password"
[ -f "$work/job.dat" ] || fail "no job file"
lines=$(tr -d '\r' <"$work/job.dat")
grep -qix "$(winpath "$work/out" | sed 's/\\/\\\\/g')" <<<"$(head -1 <<<"$lines")" || fail "destination line"
grep -qix "$(winpath "$work/data" | sed 's/\\/\\\\/g')\\\\" <<<"$lines" || fail "include line"
grep -qx '\*\.tmp' <<<"$lines" || fail "exclude line"
grep -qx 'Weekly' <<<"$lines" || fail "zip name line"

# The job file run by the program, hidden; /C closes it after the job.
(cd "$work" && "$winerun" "$work/tarnwick.exe" /H /C "/=$(winpath "$work/job.dat")") >/dev/null 2>&1 ||
  fail "the program ended with an error"
log=$(tr -d '\r' <"$work/tarnwick.log")
grep -q 'Backup end: job.dat' <<<"$log" || { out=$log; fail "the job did not run"; }
mapfile -t zips < <(cd "$work/out" && ls -1 | grep -i '^Weekly.*\.zip$' | sort)
[ "${#zips[@]}" -ge 1 ] || fail "no volumes: $(ls "$work/out")"
listing=
for z in "${zips[@]}"; do
  unzip -tq -P secret "$work/out/$z" >/dev/null || fail "unzip -t -P $z"
  if unzip -tq -P wrong "$work/out/$z" >/dev/null 2>&1; then fail "$z opens without its password"; fi
  listing+=$(unzip -Z1 "$work/out/$z")$'\n'
done
grep -q 'a\.txt$' <<<"$listing" || fail "a.txt not saved: $listing"
grep -q 'sub/b\.bin$' <<<"$listing" || fail "b.bin not saved: $listing"
grep -q 'skip\.tmp' <<<"$listing" && fail "the excluded file was saved: $listing"
entry=$(grep 'sub/b\.bin$' <<<"$listing" | head -1)
for z in "${zips[@]}"; do
  # A here-string, not a pipe: grep -q leaving early would end unzip by SIGPIPE, failing the
  # pipeline under pipefail.
  grep -qx "$entry" <<<"$(unzip -Z1 "$work/out/$z")" && unzip -p -P secret "$work/out/$z" "$entry" | cmp -s - "$work/data/sub/b.bin" &&
    found=1
done
[ -n "${found:-}" ] || fail "b.bin does not come back whole"

# The lock: set, refused Backup menu, only the other tabs; still so after a restart.
cat >"$work/lock.txt" <<SCRIPT
text abc
text abc
action lockmenu
menu Backup1
dump PageControl1
SCRIPT
out=$(drive script "$(winpath "$work/lock.txt")") || fail "driver ended with an error (lock)"
grep -qx 'refused: Backup1' <<<"$out" || fail "Backup menu while locked"
grep -qx 'PageControl1.tabs=TabSheet4,TabSheetCat,TabSheet3,TabSheet5' <<<"$out" || fail "tabs while locked"
grep -qx 'PageControl1.active=TabSheet3' <<<"$out" || fail "log tab while locked"
printf 'menu Backup1\ndump lockmenu\n' >"$work/again.txt"
out=$(drive script "$(winpath "$work/again.txt")") || fail "driver ended with an error (again)"
grep -qx 'refused: Backup1' <<<"$out" || fail "lock lost over a restart"
grep -qx 'lockmenu.text=Unlock menu' <<<"$out" || fail "lock caption"
grep -q '^Menu=.' "$work/tarnwick.ini" || fail "lock not in the program's settings file"
echo "formdrv jobedit: OK"
