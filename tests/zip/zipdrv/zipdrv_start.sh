# The start every zipdrv script shares: its two arguments, the peer tools it needs (a missing one
# fails: a Windows test never skips), a scratch folder removed at the end with the tmpfs disks
# mounted in it (listed in mounts), fail, z (zipdrv under Wine), win (a path as Wine sees it)
# and finish (the closing count line and exit code).
# usage: source zipdrv_start.sh ZIPDRV_EXE WINE_RUN TOOL...
set -uo pipefail
drv=$1
wine_run=$2
shift 2
for tool in "$@"; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed"; exit 1; }
done
work=$(mktemp -d)
mounts=()
cleanup() {
  # Lazily: a Wine process still holding a file there must not keep the mount for ever.
  for m in "${mounts[@]}"; do umount -l "$m" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
z() { "$wine_run" "$drv" "$@"; }
win() { printf 'Z:%s' "${1//\//\\}"; }
finish() {
  if [ $failures = 0 ]; then echo "1 passed, 0 failed"; exit 0; fi
  echo "0 passed, 1 failed"
  exit 1
}
