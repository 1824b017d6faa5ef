#!/usr/bin/env bash
# The Restore tab end to end through formdrv: an archive made by Python's zipfile restored
# whole and by selection, and verified sound and damaged.
set -euo pipefail
formdrv=$1 program=$2 winerun=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$program" "$work/tarnwick.exe"
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }
fail() {
  echo "FAIL: $*"
  printf '%s\n' "$out"
  exit 1
}
drive() { (cd "$work" && "$winerun" "$formdrv" --as "$(winpath "$work/tarnwick.exe")" "$@" | tr -d '\r'); }

python3 - "$work" <<'PY'
import sys, zipfile
work = sys.argv[1]
with zipfile.ZipFile(work + "/backup.zip", "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("data/main.dll", b"MZ" + bytes(range(256)) * 40)
    z.writestr("data/readme.txt", "read me\r\n" * 100)
data = bytearray(open(work + "/backup.zip", "rb").read())
at = data.find(b"data/readme.txt") + len("data/readme.txt") + 3
data[at] ^= 0x55
open(work + "/damaged.zip", "wb").write(bytes(data))
PY

out=$(drive restore "$(winpath "$work/backup.zip")" "$(winpath "$work/all")" --mode always)
[ "$(tail -1 <<<"$out")" = "status: 2 of 2 files restored." ] || fail "whole restore"
python3 - "$work" <<'PY' || fail "restored bytes differ"
import sys, zipfile
work = sys.argv[1]
with zipfile.ZipFile(work + "/backup.zip") as z:
    for name in z.namelist():
        assert open(work + "/all/" + name, "rb").read() == z.read(name), name
PY

out=$(drive restore "$(winpath "$work/backup.zip")" "$(winpath "$work/one")" --select readme.txt --no-paths)
[ "$(tail -1 <<<"$out")" = "status: 1 of 2 files restored." ] || fail "selected restore"
[ -f "$work/one/readme.txt" ] && [ ! -e "$work/one/main.dll" ] || fail "only the selected file, without its folder"

out=$(drive verify "$(winpath "$work/backup.zip")") || fail "verify of a sound archive failed"
[ "$(tail -1 <<<"$out")" = "status: Verify finished, no errors found in: $(winpath "$work/backup.zip")" ] || fail "sound verify"
status=0
out=$(drive verify "$(winpath "$work/damaged.zip")") || status=$?
[ "$status" = 1 ] || fail "a damaged archive verified with exit $status"
[ "$(tail -1 <<<"$out")" = "status: Verify finished, errors found in: $(winpath "$work/damaged.zip")" ] || fail "damaged verify"
echo "formdrv restore and verify: OK"
