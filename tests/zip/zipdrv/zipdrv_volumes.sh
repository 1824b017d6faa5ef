#!/usr/bin/env bash
# Volume sets made by zipdrv under Wine, read by the peers: split parts of a fixed size, a
# one-part result, a split written over an existing archive, and a set spanned over three
# 1440k disks of a removable drive A: (tmpfs mounts, each with its own serial and label).
# usage: zipdrv_volumes.sh ZIPDRV_EXE WINE_RUN
set -uo pipefail
drv=$1
wine_run=$2
for tool in zip unzip 7z python3; do
  command -v $tool >/dev/null || { echo "skipped: $tool is not installed"; exit 0; }
done
work=$(mktemp -d)
mounts=()
cleanup() {
  for m in "${mounts[@]}"; do umount "$m" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
z() { "$wine_run" "$drv" "$@" | tr -d '\r'; }
zipname_in() { sed -n 's/^zipname //p' "$1" | sed 's/.*\\//'; }
size_of() { stat -c %s "$1"; }

# 7z tests the set and extracts it equal to the source; Info-ZIP merges it into one archive
# that unzip and python test. Info-ZIP's merge miscopies an entry that runs across a part of
# exactly 1440k (its own 1440k splits too), so floppy-sized sets are left to 7z.
peers_read() { # LAST_PART SOURCE_DIR LABEL [7z-only]
  local last=$1 source=$2 label=$3
  7z t "$last" >/dev/null 2>&1 || fail "$label: 7z does not test the set"
  rm -rf out merged.zip
  7z x -oout "$last" >/dev/null 2>&1 || fail "$label: 7z cannot extract the set"
  diff -r "$source" "out/$source" >/dev/null || fail "$label: extracts different"
  [ "${4:-}" = 7z-only ] && return
  zip -q -s 0 "$last" --out merged.zip || { fail "$label: zip cannot merge the set"; return; }
  unzip -tq merged.zip >/dev/null || fail "$label: unzip -t fails on the merged set"
  python3 -c "import zipfile,sys; sys.exit(zipfile.ZipFile('merged.zip').testzip() is not None)" ||
    fail "$label: python finds a bad entry"
}

mkdir -p src/sub/deeper
head -c 450000 /dev/urandom > src/sub/noise.bin
seq 1 60000 > src/sub/deeper/numbers.txt
printf 'top\r\n' > src/top.txt
: > src/sub/empty.txt

# Split parts of 200,000 bytes: part files name.z01.. with ZipName on the last one, which the
# host renames to name.zip; our reader reads the set under either name.
z zip split.zip -r -P -s 200000 -- 'src\*' > split.log || fail "split zip exit $?"
grep -q '^zipname .*split\.z0[3-9]$' split.log || fail "split: ZipName is not the last part"
[ -e split.zip ] && fail "split: a part is already named split.zip"
last=$(zipname_in split.log)
for part in split.z[0-9][0-9]; do
  [ "$(size_of "$part")" -le 200000 ] || fail "split: $part is over 200,000 bytes"
done
z test "$last" || fail "split: our reader does not test the set under its last part's name"
mv "$last" split.zip
z test split.zip || fail "split: our reader does not test the renamed set"
peers_read split.zip src split

# A set that fits in one part is the archive itself.
z zip one.zip -r -P -s 2000000 -- 'src\*' > one.log || fail "one-part zip exit $?"
grep -q '^zipname .*one\.zip' one.log || fail "one part: ZipName is not one.zip"
grep -q '^volumes 1' one.log || fail "one part: more than one volume"
ls one.z[0-9][0-9] >/dev/null 2>&1 && fail "one part: a part file is left"
unzip -tq one.zip >/dev/null || fail "one part: unzip -t fails"

# A split written over an existing archive keeps the old entries (first) and adds the new.
mkdir -p grown/old grown/new
seq 1 3000 > grown/old/a.txt
head -c 300000 /dev/urandom > grown/new/b.bin
z zip grown.zip -P -- 'grown\old\a.txt' > grown1.log || fail "grown: first zip exit $?"
z zip grown.zip -P -s 150000 -- 'grown\new\b.bin' > grown2.log || fail "grown: split zip exit $?"
glast=$(zipname_in grown2.log)
[ -n "$glast" ] && [ "$glast" != grown.zip ] && mv "$glast" grown.zip
peers_read grown.zip grown "split over an archive"

# Spanned over three 1440k disks of drive A:. Each disk is a tmpfs mount with its own serial
# and a label file made beforehand (Wine cannot create one on a full disk). tmpfs allocates in
# 4 KiB pages, so the room kept on disk 1 for the side file (83 bytes a name, plus 2,070) must
# pass 4 KiB: 30 names are listed one by one.
mkdir -p span
head -c 3000000 /dev/urandom > span/big.bin
names=('span\big.bin')
for i in $(seq 1 30); do
  seq 1 $((i * 50)) > span/small$i.txt
  names+=("span\\small$i.txt")
done
disks=
for n in 1 2 3 4; do
  mkdir -p disk$n
  if ! mount -t tmpfs -o size=1440k tmpfs disk$n 2>/dev/null; then
    echo "note: tmpfs cannot be mounted here; the spanned set is left to the native tests"
    disks=
    break
  fi
  mounts+=("$work/disk$n")
  printf '5eed000%d' $n > disk$n/.windows-serial
  printf 'x' > disk$n/.windows-label
  disks="$disks${disks:+,}$work/disk$n"
done
if [ -n "$disks" ]; then
  z zip 'A:\set.zip' -S -z -P --disks "$disks" -- "${names[@]}" > span.log ||
    fail "span zip exit $?"
  [ "$(grep '^disk ' span.log | tr '\n' ' ')" = "disk 2 disk 3 disk 1 " ] || fail "span: disks asked: $(grep '^disk ' span.log)"
  grep -q '^volumes 3' span.log || fail "span: not three disks"
  for n in 1 2 3; do
    [ "$(tr -d '\0' < disk$n/.windows-label)" = "PKBACK# 00$n" ] || fail "span: disk $n label"
    [ -f disk$n/set.zip ] || fail "span: disk $n holds no set.zip"
    [ "$(size_of disk$n/set.zip)" -le 1474560 ] || fail "span: disk $n holds more than 1440k"
  done
  [ -f disk1/set.zfc ] || fail "span: no set.zfc on disk 1"
  z test 'A:\set.zip' --disks "$disks" --first 3 --answer ok > span-test.log || fail "span: our reader"
  z list 'A:\set.zip' --disks "$work/disk1" --answer cancel > zfc.log || fail "span: set.zfc does not list"
  grep -q '^count 31' zfc.log || fail "span: set.zfc does not list the set from disk 1"
  cp disk1/set.zip set.z01 && cp disk2/set.zip set.z02 && cp disk3/set.zip set.zip
  peers_read set.zip span spanned 7z-only
fi

if [ $failures = 0 ]; then echo "1 passed, 0 failed"; exit 0; fi
echo "0 passed, 1 failed"
exit 1
