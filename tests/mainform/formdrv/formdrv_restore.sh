#!/usr/bin/env bash
# The Restore tab end to end through formdrv: an archive made by Python's zipfile restored
# whole and by selection, and verified sound and damaged; an OEM-coded name restored.
set -euo pipefail
. "$(dirname "$0")/formdrv_common.sh"

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
# Info-ZIP stores a name as the bytes it was given and marks it OEM (version 10): é is 0x82.
mkdir "$work/oem"
printf 'accented\r\n' > "$work/oem/$(printf 'caf\202.txt')"
(cd "$work/oem" && zip -q -0 -X ../oem.zip caf*.txt)
out=$(drive restore "$(winpath "$work/oem.zip")" "$(winpath "$work/oemout")")
[ "$(tail -1 <<<"$out")" = "status: 1 of 1 files restored." ] || fail "OEM-named restore"
[ -f "$work/oemout/café.txt" ] || fail "the OEM name was not restored as café.txt: $(ls "$work/oemout")"
echo "formdrv restore and verify: OK"
