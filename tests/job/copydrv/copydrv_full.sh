#!/usr/bin/env bash
# The copy thread onto a 1 MiB tmpfs medium: what does not fit fails and leaves nothing
# behind (a plain CopyFile leaves a partial file there, with error 112), what fits is copied
# whole, and an overwrite that does not fit leaves no half-written target either.
# usage: copydrv_full.sh COPYDRV_EXE WINE_RUN
set -euo pipefail
drv=$1
wine_run=$2
work=$(mktemp -d /tmp/tw_copyfull.XXXXXX)
cleanup() {
  umount -l "$work/medium" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
mkdir -p "$work/medium"
if ! mount -t tmpfs -o size=1m tmpfs "$work/medium" 2>/dev/null; then
  echo "note: tmpfs cannot be mounted here"
  exit 77
fi
win() { printf 'Z:%s' "${1//\//\\}"; }
copy() { "$wine_run" "$drv" "$@" | tr -d '\r'; }
head -c 3000000 /dev/urandom > "$work/big.bin"
head -c 200000 /dev/urandom > "$work/small.bin"

out=$(copy "$(win "$work/big.bin")" "$(win "$work/medium/plain.bin")" --plain)
[ "$out" = "result 0 error 112" ] || fail "plain copy onto the full medium: $out"
[ -s "$work/medium/plain.bin" ] || fail "the plain copy left no partial file: the medium did not fill"
rm -f "$work/medium/plain.bin"

out=$(copy "$(win "$work/big.bin")" "$(win "$work/medium/big.bin")")
[ "$out" = "result 0" ] || fail "copy that does not fit: $out"
[ ! -e "$work/medium/big.bin" ] || fail "a partial target was left"

out=$(copy "$(win "$work/small.bin")" "$(win "$work/medium/small.bin")")
[ "$out" = "result 1" ] || fail "copy that fits: $out"
cmp -s "$work/small.bin" "$work/medium/small.bin" || fail "the copy differs from its source"

out=$(copy "$(win "$work/big.bin")" "$(win "$work/medium/small.bin")")
[ "$out" = "result 0" ] || fail "overwrite that does not fit: $out"
[ -z "$(ls -A "$work/medium")" ] || fail "the medium is not empty: $(ls -A "$work/medium")"
echo "ok"
