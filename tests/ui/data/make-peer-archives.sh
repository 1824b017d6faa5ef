#!/bin/bash
# Makes the Restore tab's peer archives again: the same two files zipped by Info-ZIP zip with a
# password (streamed, so each entry has a data descriptor and a check byte from its time) and
# by 7z (with a folder entry). Run from this folder; needs zip, 7z and python3.
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src/docs"
printf 'Letters from the peer, line one.\r\nLine two.\r\n' >"$work/src/readme.txt"
python3 -c "
import random
r = random.Random(7)
open('$work/src/docs/table.csv', 'w').write(''.join('%d,%d,row%d\n' % (i, r.randint(0, 99999), i) for i in range(400)))
"
touch -d '2021-03-04 05:06:08' "$work/src/readme.txt" "$work/src/docs/table.csv" "$work/src/docs"
here=$(pwd)
rm -f "$here/infozip-password.zip" "$here/sevenzip.zip"
(cd "$work/src" && zip -q -X -P 'peer pass' - readme.txt docs/table.csv >"$here/infozip-password.zip")
(cd "$work/src" && 7z a -tzip -mx=9 -bd "$here/sevenzip.zip" readme.txt docs >/dev/null)
