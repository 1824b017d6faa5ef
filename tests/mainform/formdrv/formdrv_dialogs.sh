#!/usr/bin/env bash
# The program's small dialogs end to end through formdrv, hosting a copy of the real program
# file in a fresh folder with no disc transport anywhere near it.
set -euo pipefail
formdrv=$1 program=$2 winerun=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$program" "$work/tarnwick.exe"
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }
fail() {
  echo "FAIL: $*"
  printf '%s\n' "$out"
  exit 1
}

printf 'action AboutDlgShow\n' >"$work/about.txt"
# First start: the notice comes; its check box is ticked and OK pressed.
out=$(cd "$work" && "$winerun" "$formdrv" --as "$(winpath "$work/tarnwick.exe")" --answer check:CheckBox1 \
  script "$(winpath "$work/about.txt")" | tr -d '\r')
grep -qx 'ask: form: CD / DVD device not found!: Tarnwick was unable to initialise the ASPI layer, .*' <<<"$out" ||
  fail "no transport notice"
grep -qx 'ask: form: About Tarnwick: Tarnwick version 1\.0\.0\.0\\rCopyright (C) Tarnwick\\rAll Rights reserved' \
  <<<"$out" || fail "About lines"
[ "$(tail -1 <<<"$out")" = "status: " ] || fail "no status line at the end"
tr -d '\r' <"$work/tarnwick.ini" | grep -x 'HideInfo=1' >/dev/null || fail "HideInfo not written"

# Second start: the box that was ticked keeps the notice away.
printf '# nothing to do\n' >"$work/none.txt"
out=$(cd "$work" && "$winerun" "$formdrv" --as "$(winpath "$work/tarnwick.exe")" script "$(winpath "$work/none.txt")" |
  tr -d '\r')
grep -q '^ask:' <<<"$out" && fail "asked again"
[ "$(tail -1 <<<"$out")" = "status: " ] || fail "no status line at the end"
echo "formdrv dialogs: OK"
