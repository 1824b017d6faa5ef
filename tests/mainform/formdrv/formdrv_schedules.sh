#!/usr/bin/env bash
# The Schedule tab as a new user meets it: Add with no job open (a fresh install) is refused
# with a message and writes nothing. Then, with a job open, a Once two centuries ahead and a
# Daily due in a few seconds: the Daily heads the queue and the timer runs the job.
set -euo pipefail
. "$(dirname "$0")/formdrv_common.sh"
mkdir -p "$work/data" "$work/out"
printf 'first file\r\n' >"$work/data/a.txt"
head -c 200000 /dev/urandom >"$work/data/b.bin"
# Settings beside the program only; no job form at the start of a job.
printf '[Settings]\r\nUseUserData2kXP=0\r\nShowonjob=0\r\n' >"$work/tarnwick.ini"

cat >"$work/nojob.txt" <<SCRIPT
tab TabSheet2
click RadioButton9
click Button4
SCRIPT
out=$(drive script "$(winpath "$work/nojob.txt")") || fail "driver ended with an error (no job)"
grep -qx 'ask: box: Tarnwick: There is no open backup job to schedule. Open or save a job first.' <<<"$out" ||
  fail "no refusal"
[ ! -e "$work/tarnwick.sch" ] || fail "a schedule was written without a job: $(cat "$work/tarnwick.sch")"

# A job to the folder, beside the program.
{
  printf '%s\r\n' "$(winpath "$work/out")" 0 0 40.1 0 Sched 6 4 0 0 '#####' 1 0 0 0 1 1 1 0 0 0 0 '' 0 0 10 '' 1 ''
  printf '*-Include-*\r\n%s\r\n*-Exclude-*\r\n' "$(winpath "$work/data")"
} >"$work/job.dat"
# The timer's first minute comes about 60 s after the start: the Daily is due before it.
due=$(date -d '+40 seconds' '+%-I:%M:%S %p')
cat >"$work/two.txt" <<SCRIPT
tab TabSheet2
click RadioButton6
type Edit4 01/01/2205 9:00:00 AM
click Button4
click RadioButton9
type Edit5 $due
click Button4
dump ListBox4
wait 100000
SCRIPT
out=$(drive --job job.dat script "$(winpath "$work/two.txt")") || fail "driver ended with an error (two)"
grep -q '^ListBox4.item.0=.* - *job.dat$' <<<"$out" || fail "no runs listed"
grep -q '^ListBox4.item.0=.*/2205 ' <<<"$out" && fail "the Once of 2205 heads the queue"
[ "$(tr -d '\r' <"$work/tarnwick.sch" | grep -c 'job.dat$')" = 2 ] || fail "schedules: $(cat "$work/tarnwick.sch")"
log=$(tr -d '\r' <"$work/tarnwick.log")
grep -q 'Backup end: job.dat' <<<"$log" || fail "the Daily did not run the job"
mapfile -t zips < <(cd "$work/out" && ls -1 | grep -i '\.zip$')
[ "${#zips[@]}" -ge 1 ] || fail "no volumes: $(ls "$work/out")"
for z in "${zips[@]}"; do unzip -tq "$work/out/$z" >/dev/null || fail "unzip -t $z"; done
echo "formdrv schedules: OK"
