#!/usr/bin/env bash
# Runs an in-process test program under Wine with tmpfs media of the given sizes mounted for
# it; their Unix paths go to the program in TW_MEDIA_1, TW_MEDIA_2, ... Skipped (77) where
# tmpfs cannot be mounted.
# usage: tmpfs_media.sh TEST_EXE WINE_RUN SIZE...
set -uo pipefail
exe=$1
wine_run=$2
shift 2
work=$(mktemp -d /tmp/tw_media.XXXXXX)
mounts=()
cleanup() {
  for m in "${mounts[@]}"; do umount -l "$m" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
n=0
for size in "$@"; do
  n=$((n + 1))
  mkdir -p "$work/medium$n"
  if ! mount -t tmpfs -o size="$size" tmpfs "$work/medium$n" 2>/dev/null; then
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
