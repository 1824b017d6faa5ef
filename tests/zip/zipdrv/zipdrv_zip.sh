#!/usr/bin/env bash
# Archives made by zipdrv zip under Wine, checked by the peers: Info-ZIP unzip -t, 7z t and
# python's zipfile (names in CP437, as the OEM code page stores them) must accept every
# level with and without a password, and python must extract them equal to the source.
# The staging file and read-back must not change a single byte of the archive.
# usage: zipdrv_zip.sh ZIPDRV_EXE WINE_RUN
set -uo pipefail
drv=$1
wine_run=$2
for tool in unzip 7z python3; do
  command -v $tool >/dev/null || { echo "skipped: $tool is not installed"; exit 0; }
done
work=$(mktemp -d)
trap 'umount "$work/full" 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
z() { "$wine_run" "$drv" "$@"; }
win() { printf 'Z:%s' "${1//\//\\}"; }

mkdir -p src/sub/deeper src/emptydir
head -c $((3 << 20)) /dev/urandom > src/sub/noise.bin
seq 1 60000 > src/sub/deeper/numbers.txt
printf 'top\r\n' > src/top.txt
printf 'accented name\r\n' > "src/café.txt"
: > src/sub/empty.txt

# python: test with a password, then extract and compare with the source.
pycheck() {
  python3 - "$1" "$2" "$3" <<'PY'
import filecmp, os, sys, zipfile
archive, password, out = sys.argv[1:]
with zipfile.ZipFile(archive) as z:
    if password:
        z.setpassword(password.encode())
    bad = z.testzip()
    if bad is not None:
        sys.exit("testzip: bad entry " + bad)
    z.extractall(out)
def same(a, b):
    c = filecmp.dircmp(a, b)
    if c.left_only or c.right_only or c.diff_files or c.funny_files:
        sys.exit("different: %s %s %s" % (c.left_only, c.right_only, c.diff_files))
    for sub in c.common_dirs:
        same(os.path.join(a, sub), os.path.join(b, sub))
same("src", out)
PY
}

src=$(win "$work/src")
for level in 0 1 6 9; do
  for password in "" "pass word"; do
    name=l$level${password:+p}.zip
    pw=()
    [ -n "$password" ] && pw=(-p "$password")
    z zip "$(win "$work/$name")" -l $level "${pw[@]}" -R "$src" -D -- "$src\\*.*" > $name.log ||
      fail "$name: zipdrv exit $?"
    grep -qE '^added 8.?$' $name.log || fail "$name: $(grep added $name.log)"
    unzip -tq ${password:+-P "$password"} $name >/dev/null || fail "$name: unzip -t"
    7z t ${password:+-p"$password"} $name >/dev/null || fail "$name: 7z t"
    pycheck $name "$password" out-$name || fail "$name: python"
  done
done
unzip -Z1 l6.zip | grep -qx 'emptydir/' || fail "empty folder has no entry"

# Staging file and read-back give the same bytes.
z zip "$(win "$work/staged.zip")" -T -R "$src" -D -- "$src\\*.*" > staged.log || fail "staged: zipdrv"
z zip "$(win "$work/verified.zip")" -v -R "$src" -D -- "$src\\*.*" > verified.log || fail "verified: zipdrv"
cmp -s l6.zip staged.zip || fail "staging file changes the archive"
cmp -s l6.zip verified.zip || fail "read-back changes the archive"
[ -z "$(find "$work" -name '*.zfi' -o -name '*.~tm' -o -name '*.~mz' -o -name '*.tmp')" ] || fail "work files left"

# Exclude and no-compress masks, stored paths, a temporary folder of our own.
mkdir -p tmpdir
z zip "$(win "$work/masks.zip")" -r -x '*.bin' -n '*.txt' -P -t "$(win "$work/tmpdir")" -- "$src\\*.*" > masks.log ||
  fail "masks: zipdrv"
unzip -Z1 masks.zip | grep -q 'noise.bin' && fail "excluded file zipped"
unzip -Z1 masks.zip | grep -q '/src/sub/deeper/numbers.txt$' || fail "stored paths missing"
[ "$(unzip -v masks.zip | grep -c ' Defl')" = 0 ] || fail "no-compress files deflated"
[ -z "$(ls tmpdir)" ] || fail "work files left in the temporary folder"

# Append in place keeps the old entries; freshen adds nothing new.
z zip "$(win "$work/grow.zip")" -R "$src" -- "$src\\top.txt" > grow1.log || fail "grow: first run"
z zip "$(win "$work/grow.zip")" -k -R "$src" -- "$src\\sub\\deeper\\numbers.txt" > grow2.log || fail "grow: append"
[ "$(unzip -Z1 grow.zip | sort | tr '\n' ' ')" = "sub/deeper/numbers.txt top.txt " ] || fail "append lost entries"
unzip -tq grow.zip >/dev/null || fail "appended archive does not test"
z zip "$(win "$work/grow.zip")" -a freshen -R "$src" -- "$src\\top.txt" "$src\\café.txt" > fresh.log ||
  fail "freshen: zipdrv"
[ "$(unzip -Z1 grow.zip | wc -l)" = 2 ] || fail "freshen added a new file"

# A real full disk (a 1440k tmpfs): the run ends with the exception and leaves nothing.
mkdir -p full fulltmp
if mount -t tmpfs -o size=1440k tmpfs full 2>/dev/null; then
  for staging in "" -T; do
    z zip "$(win "$work/full/big.zip")" $staging -t "$(win "$work/fulltmp")" -- "$src\\sub\\noise.bin" > full.log
    [ $? = 2 ] || fail "full disk$staging does not exit 2"
    grep -q '^error: ENotEnoughRoom: Not enough room to write archive' full.log || fail "full disk$staging: $(cat full.log)"
    [ -z "$(find full fulltmp -type f)" ] || fail "full disk$staging left files: $(find full fulltmp -type f)"
  done
else
  echo "note: tmpfs cannot be mounted here; the full disk is left to the native tests"
fi

# A failing run (a name the file system refuses as an archive) exits 2 and leaves no archive.
z zip "$(win "$work/nofolder/x.zip")" -- "$src\\top.txt" > nofolder.log
[ $? = 2 ] || fail "an archive in a missing folder does not exit 2"
grep -q '^error: ' nofolder.log || fail "no error line"

if [ $failures = 0 ]; then echo "1 passed, 0 failed"; exit 0; fi
echo "0 passed, 1 failed"
exit 1
