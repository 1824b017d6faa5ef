#!/usr/bin/env bash
# The program's small dialogs end to end through formdrv, hosting a copy of the real program
# file in a fresh folder with no disc transport anywhere near it.
set -euo pipefail
. "$(dirname "$0")/formdrv_common.sh"

printf 'action AboutDlgShow\n' >"$work/about.txt"
# First start: the notice comes; its check box is ticked and OK pressed.
out=$(drive --answer check:CheckBox1 script "$(winpath "$work/about.txt")")
grep -qx 'ask: form: CD / DVD device not found!: Tarnwick was unable to initialise the ASPI layer, .*' <<<"$out" ||
  fail "no transport notice"
grep -qx 'ask: form: About Tarnwick: Tarnwick version 1\.0\.0\.0\\rCopyright (C) Tarnwick\\rAll Rights reserved' \
  <<<"$out" || fail "About lines"
[ "$(tail -1 <<<"$out")" = "status: " ] || fail "no status line at the end"
tr -d '\r' <"$work/tarnwick.ini" | grep -x 'HideInfo=1' >/dev/null || fail "HideInfo not written"

# Second start: the box that was ticked keeps the notice away.
printf '# nothing to do\n' >"$work/none.txt"
out=$(drive script "$(winpath "$work/none.txt")")
grep -q '^ask:' <<<"$out" && fail "asked again"
[ "$(tail -1 <<<"$out")" = "status: " ] || fail "no status line at the end"
echo "formdrv dialogs: OK"
