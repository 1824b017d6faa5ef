#!/usr/bin/env bash
# Archives made by zipdrv zip under Wine where only Wine shows it: names stored in the OEM code
# page (python reads them in CP437 and extracts equal to the source), and a real full disk (a
# 1440k tmpfs) that ends the run leaving nothing. Levels, passwords, staging and masks are the
# in-process tests' (Zipper_test, ZipUpdate_test).
# usage: zipdrv_zip.sh ZIPDRV_EXE WINE_RUN
source "$(dirname "${BASH_SOURCE[0]}")/zipdrv_start.sh" "$@" unzip python3

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
# The OEM code page under Wine: python reads the accented name back in CP437.
z zip "$(win "$work/l6.zip")" -R "$src" -D -- "$src\\*.*" > l6.log || fail "l6.zip: zipdrv exit $?"
grep -qE '^added 8.?$' l6.log || fail "l6.zip: $(grep added l6.log)"
pycheck l6.zip "" out-l6 || fail "l6.zip: python"
unzip -Z1 l6.zip | grep -x 'emptydir/' >/dev/null || fail "empty folder has no entry"

# A real full disk (a 1440k tmpfs): the run ends with the exception and leaves nothing.
mkdir -p full fulltmp
if mount -t tmpfs -o size=1440k tmpfs full 2>/dev/null; then
  mounts+=("$work/full")
  for staging in "" -T; do
    z zip "$(win "$work/full/big.zip")" $staging -t "$(win "$work/fulltmp")" -- "$src\\sub\\noise.bin" > full.log
    [ $? = 2 ] || fail "full disk$staging does not exit 2"
    grep -q '^error: ENotEnoughRoom: Not enough room to write archive' full.log || fail "full disk$staging: $(cat full.log)"
    [ -z "$(find full fulltmp -type f)" ] || fail "full disk$staging left files: $(find full fulltmp -type f)"
  done
else
  echo "note: tmpfs cannot be mounted here; the full disk is left to the native tests"
fi

finish
