#!/usr/bin/env bash
# "Burn one file" end to end through formdrv: the program with the simulated drive library
# beside it burns one zip, then a second one at a speed chosen from the list; each lands whole
# on the disc, in a session of its own. (The native peer test reads such discs with isoinfo.)
set -euo pipefail
. "$(dirname "$0")/formdrv_common.sh"
driver=$4
cp "$driver" "$work/WNASPI32.DLL"
printf '[Bus]\nCompletion=sync\nLog=sim.log\nNotifyMediaChange=1\n[Drive0]\nAddress=0:0:0\nLetter=F\nDisc=d0\nBusyPolls=0\nWrites=CD-R,CD-RW\n[Disc:d0]\nMedia=CD-R\nImage=d0.img\n' >"$work/simdrive.ini"
# The simulated drive library reads the simdrive.ini beside the program, not one the caller set.
unset SIMDRIVE_INI

python3 - "$work" <<'PY'
import os, sys, zipfile
work = sys.argv[1]
with zipfile.ZipFile(work + "/first.zip", "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("random.bin", os.urandom(300000))
with zipfile.ZipFile(work + "/second.zip", "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("lines.txt", "".join("%d\r\n" % i for i in range(20000)))
PY

out=$(drive burnfile "$(winpath "$work/first.zip")")
[ "$(tail -1 <<<"$out")" = "status: Disc with first.zip created" ] || fail "first burn"
out=$(drive burnfile "$(winpath "$work/second.zip")" --speed 8x)
[ "$(tail -1 <<<"$out")" = "status: Disc with second.zip created" ] || fail "second burn at 8x"
grep -q '|' <(sed -n 's/^Sessions=//p' "$work/d0.img.state") || fail "not two sessions: $(cat "$work/d0.img.state")"
python3 - "$work" <<'PY' || fail "a zip is not whole on the disc"
import sys
work = sys.argv[1]
image = open(work + "/d0.img", "rb").read()
for name in ("first.zip", "second.zip"):
    data = open(work + "/" + name, "rb").read()
    at = image.find(data)
    assert at >= 0 and at % 2048 == 0, name
PY
echo "formdrv burnfile: OK"
