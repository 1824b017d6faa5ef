#!/usr/bin/env bash
# Two 12 MiB tmpfs media for whole jobs onto a removable drive that fills; their Unix paths go
# to the test program in TW_MEDIA_1 and TW_MEDIA_2.
# usage: runner_media.sh RUNNER_MEDIA_EXE WINE_RUN
set -uo pipefail
exe=$1
wine_run=$2
work=$(mktemp -d /tmp/tw_runmedia.XXXXXX)
mounts=()
cleanup() {
  for m in "${mounts[@]}"; do umount -l "$m" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
for n in 1 2; do
  mkdir -p "$work/medium$n"
  if ! mount -t tmpfs -o size=12m tmpfs "$work/medium$n" 2>/dev/null; then
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
