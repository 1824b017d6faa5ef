#!/usr/bin/env bash
# A run saved in the ".sac" that fell due an hour ago while the program was closed: the real
# program started hidden takes it from the queue at its first minute and runs the job to a
# folder. Its volumes pass unzip -t, and the job's catalogue holds one block per volume, line
# for line as python's zipfile lists them.
# usage: schedule_run.sh PROGRAM WINE_RUN
set -euo pipefail
program=$(realpath "$1") winerun=$(realpath "$2")
work=$(mktemp -d /tmp/tw_schedrun.XXXXXX)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  [ -f "$work/tarnwick.log" ] && tr -d '\r' <"$work/tarnwick.log" | tail -30
  exit 1
}
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }

cp "$program" "$work/tarnwick.exe"
mkdir -p "$work/src/docs" "$work/src/media" "$work/dest"
# Settings beside the program only.
printf '[Settings]\r\nUseUserData2kXP=0\r\n' >"$work/tarnwick.ini"
# About 10 MB that does not compress, in 4 MiB volumes: three volumes or more.
python3 - "$work/src" <<'PY'
import os, random, sys
random.seed(7)
src = sys.argv[1]
for i in range(9):
    with open(os.path.join(src, "media", "clip%d.bin" % i), "wb") as f:
        f.write(random.randbytes(1_000_000 + 1000 * i))
for i in range(3):
    with open(os.path.join(src, "docs", "note%d.txt" % i), "w", newline="\r\n") as f:
        f.writelines("line %d of note %d\n" % (n, i) for n in range(2000))
PY

# The job: to the folder, 4 MB volumes, tested after the backup, catalogue under its own name.
{
  printf '%s\r\n' "$(winpath "$work/dest")" 0 0 40.1 0 Daily 6 4 0 0 '#####' 1 0 0 0 1 1 1 0 0 0 0 '' 0 0 10 '' 1 ''
  printf '*-Include-*\r\n%s\r\n*-Exclude-*\r\n' "$(winpath "$work/src")"
} >"$work/Daily.dat"
# No schedule left, only the saved run of an hour ago.
printf 'version 2.11\r\n' >"$work/tarnwick.sch"
python3 - "$work/tarnwick.sac" "$(winpath "$work/Daily.dat")" <<'PY'
import datetime, sys
due = (datetime.datetime.now() - datetime.datetime(1899, 12, 30)).total_seconds() / 86400 - 1 / 24
with open(sys.argv[1], "w", newline="") as f:
    f.write("%-20s%s\r\n" % ("%.6f" % due, sys.argv[2]))
PY

# /C: the program closes itself after the job instead of staying in the tray.
(cd "$work" && exec "$winerun" "$work/tarnwick.exe" /H /C) >/dev/null 2>&1 &
pid=$!
# The first minute of the timer (about 60 s after the start-up) starts the run.
for _ in $(seq 1 240); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 1
done
if kill -0 "$pid" 2>/dev/null; then fail "the program did not end within 4 minutes"; fi
pid=
log=$(tr -d '\r' <"$work/tarnwick.log")
grep -q 'Backup end: Daily.dat' <<<"$log" || fail "the saved run did not run the job"
grep -q 'Backup cancelled' <<<"$log" && fail "the job was cancelled"
[ -z "$(tr -d '\r\n' <"$work/tarnwick.sac")" ] || fail "the run is still queued: $(cat "$work/tarnwick.sac")"

mapfile -t zips < <(cd "$work/dest" && ls -1 | grep -i '\.zip$' | sort)
[ "${#zips[@]}" -ge 3 ] || fail "expected three volumes or more: ${zips[*]}"
for z in "${zips[@]}"; do
  unzip -tq "$work/dest/$z" >/dev/null || fail "unzip -t $z"
done
catalogue="$work/Catalogs/Daily.cat"
[ -f "$catalogue" ] || fail "no catalogue: $(ls "$work/Catalogs" 2>&1)"
# The volumes in the order the job made them, each listed as python's zipfile reads it.
python3 - "$catalogue" "$work/dest" <<'PY' || fail "the catalogue differs from python's listing"
import difflib, os, sys, zipfile
catalogue, dest = sys.argv[1], sys.argv[2]
text = open(catalogue, "rb").read().decode("latin-1")
blocks, order = {}, []
for line in text.split("\r\n")[:-1]:
    volume = line.split('"')[3]
    if volume not in blocks:
        order.append(volume)
        blocks[volume] = []
    blocks[volume].append(line)
expected = ""
for volume in order:
    for i, e in enumerate(zipfile.ZipFile(os.path.join(dest, volume)).infolist()):
        n = e.filename.replace("/", "\\")
        c = n.rfind("\\") + 1
        y, mo, d, h, mi, s = e.date_time
        v = (y - 1980) << 25 | mo << 21 | d << 16 | h << 11 | mi << 5 | s // 2
        v = v - 2**32 if v >= 2**31 else v
        expected += '%s"%s"%d"%s"%d\r\n' % (n[:c], n[c:], v, volume, i)
volumes = sorted(f for f in os.listdir(dest) if f.lower().endswith(".zip"))
assert sorted(order) == volumes, (order, volumes)
# One block per volume: each volume's lines stand together.
if text != expected:
    sys.exit("\n".join(difflib.unified_diff(expected.split("\r\n"), text.split("\r\n"), lineterm="")))
PY
echo "schedule run: OK (${#zips[@]} volumes)"
