#!/usr/bin/env bash
# Three tmpfs media for the volume preparation tests: two 20 MiB disks of a removable drive
# that fills, and a 1 MiB one that a copy does not fit. Their Unix paths go to the test program
# in TW_MEDIA_1 to TW_MEDIA_3.
# usage: volprep_media.sh VOLPREP_MEDIA_EXE WINE_RUN
set -uo pipefail
exe=$1
wine_run=$2
work=$(mktemp -d /tmp/tw_volprep.XXXXXX)
mounts=()
cleanup() {
  for m in "${mounts[@]}"; do umount -l "$m" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
n=0
for size in 20m 20m 1m; do
  n=$((n + 1))
  mkdir -p "$work/medium$n"
  if ! mount -t tmpfs -o size=$size tmpfs "$work/medium$n" 2>/dev/null; then
    echo "note: tmpfs cannot be mounted here"
    exit 77
  fi
  mounts+=("$work/medium$n")
  export TW_MEDIA_$n="$work/medium$n"
done
out=$("$wine_run" "$exe" 2>&1 | tr -d '\r')
rc=$?
echo "$out"
[ $rc = 0 ] || exit 1
grep -q '^\[  PASSED  \]' <<<"$out" || exit 1
! grep -q '^\[  FAILED  \]' <<<"$out" || exit 1
