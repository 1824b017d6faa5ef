# Sourced by the benchmark scripts: $root (the checkout), $wine_run, and what every one of them
# does before it times anything.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
wine_run="$root/tools/wine-run"

# need_built SCRIPT FILE: stops the script where the win preset has not built the file.
need_built() { [ -f "$2" ] || { echo "$1: build the win preset first ($2 missing)" >&2; exit 1; }; }

# fresh_work FOLDER: $work, build/FOLDER emptied, gone at the exit unless TARNWICK_BENCH_KEEP is set.
fresh_work() {
  work="$root/build/$1"
  rm -rf "$work"
  mkdir -p "$work"
  [ -n "${TARNWICK_BENCH_KEEP:-}" ] || trap 'rm -rf "$work"' EXIT
}

# own_prefix: the bench's own Wine prefix, and $pin, the command prefix that keeps every side
# on the cores of TW_BENCH_CPUS (taskset), if set.
own_prefix() {
  export TARNWICK_WINEPREFIX=${TARNWICK_WINEPREFIX:-$root/build/win/wineprefix-bench}
  pin=()
  [ -z "${TW_BENCH_CPUS:-}" ] || pin=(taskset -c "$TW_BENCH_CPUS")
}

windows() { echo "Z:${1//\//\\}"; }
now() { date +%s.%N; }
# best CURRENT NEW: the shorter of two times, CURRENT empty before the first.
best() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }
