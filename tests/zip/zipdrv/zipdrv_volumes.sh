#!/usr/bin/env bash
# A set spanned by zipdrv under Wine over three 1440k disks of a removable drive A: (tmpfs
# mounts, each with its own serial and label): what only a real drive shows. Split sets and
# spanning over folders are the in-process tests' (ZipVolumes_test, ZipVolumesWin_test).
# usage: zipdrv_volumes.sh ZIPDRV_EXE WINE_RUN
source "$(dirname "${BASH_SOURCE[0]}")/zipdrv_start.sh" "$@" 7z
z() { "$wine_run" "$drv" "$@" | tr -d '\r'; }
size_of() { stat -c %s "$1"; }

# 7z tests the set and extracts it equal to the source (Info-ZIP cannot merge floppy-sized sets).
peers_read() { # LAST_PART SOURCE_DIR LABEL
  local last=$1 source=$2 label=$3
  7z t "$last" >/dev/null 2>&1 || fail "$label: 7z does not test the set"
  rm -rf out
  7z x -oout "$last" >/dev/null 2>&1 || fail "$label: 7z cannot extract the set"
  diff -r "$source" "out/$source" >/dev/null || fail "$label: extracts different"
}

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
  peers_read set.zip span spanned
fi

finish
