# Sourced by the driver scripts, with their arguments (the driver, the program, wine-run): a
# fresh work folder, gone at the exit, holding a copy of the program; the Windows name of a
# path; the driver hosting that copy, run from the work folder; a failure that shows the
# driver's last output and the end of the program's log.
formdrv=$1 program=$2 winerun=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$program" "$work/tarnwick.exe"
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }
fail() {
  echo "FAIL: $*"
  printf '%s\n' "$out"
  if [ -f "$work/tarnwick.log" ]; then tr -d '\r' <"$work/tarnwick.log" | tail -20; fi
  exit 1
}
drive() { (cd "$work" && "$winerun" "$formdrv" --as "$(winpath "$work/tarnwick.exe")" "$@" | tr -d '\r'); }
