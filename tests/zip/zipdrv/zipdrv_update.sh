#!/usr/bin/env bash
# Archives updated by zipdrv zip under Wine, on the Win32 file system, checked by the peers:
# after every update, Info-ZIP unzip -t, 7z t and python's zipfile must accept the archive
# and python must extract it equal to the source. An unchanged file (also one dated at an odd
# second) is not zipped again and keeps its bytes; a newer one is; freshen adds nothing new;
# append in place keeps every old entry.
# usage: zipdrv_update.sh ZIPDRV_EXE WINE_RUN
source "$(dirname "${BASH_SOURCE[0]}")/zipdrv_start.sh" "$@" unzip 7z python3
added() { tr -d '\r' < "$1" | grep -x "added $2" >/dev/null || fail "$1: $(grep added "$1"), expected $2"; }

# All three peers, and python's extraction compared with the source tree.
peers() {
  unzip -tq "$1" >/dev/null || fail "$1: unzip -t"
  7z t "$1" >/dev/null || fail "$1: 7z t"
  python3 - "$1" <<'PY' || fail "$1: python"
import filecmp, os, shutil, sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    if z.testzip() is not None:
        sys.exit("testzip")
    shutil.rmtree("out", ignore_errors=True)
    z.extractall("out")
for root, _, files in os.walk("out"):
    for name in files:
        path = os.path.join(root, name)
        if not filecmp.cmp(path, os.path.join("src", os.path.relpath(path, "out")), shallow=False):
            sys.exit("differs: " + path)
PY
}
# The local record (header, name, data) of an entry, as bytes in hex.
record() {
  python3 - "$1" "$2" <<'PY'
import struct, sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    info = z.getinfo(sys.argv[2])
with open(sys.argv[1], "rb") as f:
    f.seek(info.header_offset)
    head = f.read(30)
    n, e = struct.unpack("<HH", head[26:30])
    print((head + f.read(n + e + info.compress_size)).hex())
PY
}

mkdir -p src/sub
head -c 400000 /dev/urandom > src/sub/noise.bin
seq 1 30000 > src/numbers.txt
printf 'top\r\n' > src/top.txt
printf 'accented\r\n' > "src/café.txt"
touch -d '2024-03-04 10:20:31' src/top.txt src/numbers.txt src/sub/noise.bin "src/café.txt"
src=$(win "$work/src")
arc=$(win "$work/arc.zip")

z zip "$arc" -R "$src" -- "$src\\top.txt" "$src\\numbers.txt" "$src\\sub\\noise.bin" "$src\\café.txt" > make.log ||
  fail "make"
added make.log 4
peers arc.zip
before=$(record arc.zip sub/noise.bin)

# Nothing changed (times at an odd second, a name stored in the OEM code page): nothing
# zipped again.
z zip "$arc" -R "$src" -- "$src\\top.txt" "$src\\numbers.txt" "$src\\sub\\noise.bin" "$src\\café.txt" > same.log ||
  fail "same"
added same.log 0
peers arc.zip

# One file newer, one new: two zipped, the unchanged one copied byte for byte.
seq 1 31000 > src/numbers.txt
printf 'new\r\n' > src/new.txt
z zip "$arc" -R "$src" -- "$src\\top.txt" "$src\\numbers.txt" "$src\\sub\\noise.bin" "$src\\new.txt" > update.log ||
  fail "update"
added update.log 2
peers arc.zip
[ "$(record arc.zip sub/noise.bin)" = "$before" ] || fail "an unchanged entry was not copied as it was"

# Replace zips again whatever the dates; freshen adds no new file.
z zip "$arc" -a replace -R "$src" -- "$src\\top.txt" > replace.log || fail "replace"
added replace.log 1
printf 'later\r\n' > src/later.txt
touch src/top.txt
z zip "$arc" -a freshen -R "$src" -- "$src\\top.txt" "$src\\later.txt" > freshen.log || fail "freshen"
added freshen.log 1
[ "$(python3 -c 'import sys,zipfile; print(*sorted(zipfile.ZipFile(sys.argv[1]).namelist()))' arc.zip)" = \
  "café.txt new.txt numbers.txt sub/noise.bin top.txt" ] ||
  fail "entries after freshen: $(unzip -Z1 arc.zip | tr '\n' ' ')"
peers arc.zip

# Append in place: the old bytes stay where they were, the new entry follows them.
cp arc.zip old.zip
z zip "$arc" -k -R "$src" -- "$src\\later.txt" > append.log || fail "append"
added append.log 1
peers arc.zip
[ "$(unzip -Z1 arc.zip | wc -l)" = 6 ] || fail "append lost entries"
[ "$(record arc.zip sub/noise.bin)" = "$(record old.zip sub/noise.bin)" ] || fail "append moved an old entry"
[ -z "$(find "$work" -name '*.zfi' -o -name '*.~tm' -o -name '*.tmp')" ] || fail "work files left"

finish
