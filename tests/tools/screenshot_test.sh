#!/usr/bin/env bash
# tools/screenshot end to end: a program that shows its window gives a picture; one whose
# window never appears gives a message and no picture.
set -euo pipefail
screenshot=$1 demo=$2 nowindow=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}
cp "$nowindow" "$work/nowindow.exe"

TARNWICK_SCREENSHOT_EXE="$demo" TARNWICK_SCREENSHOT_TITLE="Class library demo" \
  "$screenshot" "$work/demo.png" >"$work/demo.out" 2>&1 || fail "demo: $(cat "$work/demo.out")"
[ -s "$work/demo.png" ] || fail "no picture of the demo"
grep -q "^saved $work/demo.png" "$work/demo.out" || fail "demo: $(cat "$work/demo.out")"

if TARNWICK_SCREENSHOT_EXE="$work/nowindow.exe" "$screenshot" "$work/none.png" >"$work/none.out" 2>&1; then
  fail "a program without a window passed: $(cat "$work/none.out")"
fi
[ ! -e "$work/none.png" ] || fail "a picture was saved without a window"
grep -q 'a window titled "Tarnwick" never appeared (nowindow.exe); no picture saved' "$work/none.out" ||
  fail "no message: $(cat "$work/none.out")"
echo "screenshot: both cases as expected"
