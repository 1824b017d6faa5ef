#!/usr/bin/env bash
# The job start's volume size on real media under Wine: a 100 MiB removable disk lowers a
# 650 MB size to the disk's size; a 680,000,000-byte disk (a CD's size) with 700 MB asks, and
# Yes, or a hidden run at once, gives 530 MB; "5000", "2" and "x" on a folder become 4095, 4
# and 650. Each disk is a tmpfs mount made a removable drive by the driver.
# usage: jobdrv_start.sh JOBDRV_EXE WINE_RUN
set -euo pipefail
drv=$1
wine_run=$2
work=$(mktemp -d /tmp/tw_jobstart.XXXXXX)
cleanup() {
  umount -l "$work/m100" 2>/dev/null || true
  umount -l "$work/cd" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
mkdir -p "$work/m100" "$work/cd" "$work/dest"
if ! mount -t tmpfs -o size=100m tmpfs "$work/m100" 2>/dev/null ||
  ! mount -t tmpfs -o size=680000000 tmpfs "$work/cd" 2>/dev/null; then
  echo "note: tmpfs cannot be mounted here"
  exit 77
fi
win() { printf 'Z:%s' "${1//\//\\}"; }
# A job file with the given destination and volume size text.
job() { printf '%s\r\n0\r\n0\r\n46000.5\r\n0\r\nDaily\r\n6\r\n%s\r\n0\r\n0\r\n#####\r\n' "$1" "$2" > "$work/Daily.dat"; }
start() { "$wine_run" "$drv" start "$(win "$work/Daily.dat")" "$@" | tr -d '\r'; }
size() { grep '^size ' <<< "$1" || true; }
asked() { grep -c '^ask: The Zip file size might be to big' <<< "$1" || true; }

# The folder's drive may be smaller than 4 GiB: the largest size then follows the drive.
for pair in "5000:size 4095 " "2:size 4 4194304" "x:size 650 681574400"; do
  job "$(win "$work/dest")" "${pair%%:*}"
  out=$(start)
  [[ "$(size "$out")" == "${pair#*:}"* ]] || fail "size ${pair%%:*} on a folder: $out"
done

job 'K:\' 650
out=$(start --drive "K:$work/m100")
[ "$(size "$out")" = "size 100 104857600" ] || fail "650 MB on a 100 MiB disk: $out"

job 'K:\' 700
out=$(start --drive "K:$work/cd" --shown --yes)
[ "$(asked "$out")" = 1 ] || fail "700 MB on a CD-sized disk asks once: $out"
[ "$(size "$out")" = "size 530 555745280" ] || fail "700 MB on a CD-sized disk, Yes: $out"
out=$(start --drive "K:$work/cd")
[ "$(asked "$out")" = 0 ] || fail "hidden: nothing asked: $out"
[ "$(size "$out")" = "size 530 555745280" ] || fail "700 MB on a CD-sized disk, hidden: $out"
echo "ok"
