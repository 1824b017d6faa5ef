#!/usr/bin/env bash
# jobdrv select over a tree made here: every folder and file that find lists comes out once,
# in the Windows form; names the ANSI code page cannot hold are reported, not replaced by a
# look-alike; a folder link back up the tree is listed but never entered; a cancel ends the
# run as cancelled.
# usage: jobdrv_select.sh JOBDRV_EXE WINE_RUN
set -uo pipefail
drv=$(realpath "$1")
wine_run=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
win() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }

mkdir -p tree/a/b tree/c/d tree/empty "tree/with space" tmp
for i in $(seq 1 40); do echo "$i" > tree/a/f$i.txt; done
printf 'x%.0s' $(seq 1 5000) > tree/c/d/big.bin
echo one > "tree/with space/Mixed Case.TXT"
echo same > tree/c/a.txt
echo other > "tree/c/ā.txt" # best fit would make it a.txt
mkdir "tree/ж" && echo in > "tree/ж/inside.txt"
ln -s .. tree/a/b/loop # back up to tree/a
touch -d '2001-02-03 04:05:06' tree/a/f1.txt

job=$(win "$work/job.dat")
"$wine_run" "$drv" resave "$job" --dest "$(win "$work/out")" > resave.log || fail "job file not made: $(cat resave.log)"
item=$(win "$work/tree") awk '{ print } /^\*-Include-\*/ { print ENVIRON["item"] "\r" }' job.dat > job.new && mv job.new job.dat

"$wine_run" "$drv" select "$job" --temp "$(win "$work/tmp")" > select.log
status=$?
[ $status = 0 ] || fail "select exit $status"
[ "$(tail -n 1 select.log | tr -d '\r')" = done ] || fail "select did not end with done"

# What find lists, without the names that cannot be stored: folders with a trailing "\".
root=$(win "$work")
(cd "$work" && find tree -mindepth 0 \( -name 'ā.txt' -o -path 'tree/ж*' \) -prune -o -print | while read -r p; do
  w="$root\\$(printf '%s' "$p" | tr / '\\')"
  if [ -d "$p" ]; then printf '%s\\\n' "$w"; else printf '%s\n' "$w"; fi
done) | LC_ALL=C sort -f > expected.txt
grep $'^entry\t' select.log | cut -f3 | tr -d '\r' | LC_ALL=C sort -f > listed.txt
diff expected.txt listed.txt > diff.txt || fail "listed differs from find: $(head -20 diff.txt)"
[ -z "$(uniq -di listed.txt)" ] || fail "a line is listed twice"
grep -qF "joblog: File skipped, name not in the ANSI code page: $root\\tree\\c\\?.txt" select.log ||
  fail "skipped file not reported"
[ "$(grep -cF "log: Folder skipped, name not in the ANSI code page: $root\\tree\\?\\" select.log)" = 1 ] ||
  fail "skipped folder not reported once"
grep -qF "$(printf 'entry\t5000\t')$root\\tree\\c\\d\\big.bin" select.log || fail "size of big.bin"
files=$(grep $'^entry\t' select.log | tr -d '\r' | grep -vc '\\$')
grep -qx "files $files" <(tr -d '\r' < select.log) || fail "files count is not $files"
grep -qx "total $((files + 1))" <(tr -d '\r' < select.log) || fail "total does not count the skipped file"

"$wine_run" "$drv" select "$job" --temp "$(win "$work/tmp")" --cancel-after 5 > cancel.log
[ $? = 0 ] || fail "cancelled select exit"
[ "$(tail -n 1 cancel.log | tr -d '\r')" = cancelled ] || fail "cancel did not end cancelled"
grep -q "^log: Backup cancelled" cancel.log || fail "no cancel line"

[ $failures = 0 ] && echo "jobdrv select: all checks passed"
exit $((failures > 0))
