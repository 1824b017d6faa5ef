#!/usr/bin/env bash
# The zip component alone against Info-ZIP, under Wine, on the folder job's generated tree:
#   bench/zipdrv_vs_zip.sh [MEGABYTES]     (default 256)
# Times `zipdrv zip -l 6 -R` of the tree against native `zip -6 -r` of it, best of
# TARNWICK_BENCH_REPEAT runs each (default 3), alternating so that both see the same load, and
# prints the ratio (the target is 1.1 or less) and both archives' sizes; unzip -t checks ours.
#   TW_BENCH_CPUS      cores for every side, e.g. "0,1" (taskset)
#   TW_BENCH_BASELINE  another build's zipdrv.exe (e.g. of main), timed in the same alternation;
#                      the entries' local headers and data of both archives are compared
#   TW_BENCH_TREE      an existing tree to zip instead of the generated one (Unix path)
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/bench_common.sh"
megabytes=${1:-256}
repeat=${TARNWICK_BENCH_REPEAT:-3}
zipdrv="$root/build/win/tests/zip/zipdrv/zipdrv.exe"
baseline=${TW_BENCH_BASELINE:-}
need_built zipdrv_vs_zip "$zipdrv"
own_prefix

fresh_work bench-zipdrv
tree=${TW_BENCH_TREE:-$work/tree}
[ -n "${TW_BENCH_TREE:-}" ] || python3 "$root/bench/mixed_tree.py" "$tree" "$megabytes"
echo "tree: $(find "$tree" -type f | wc -l) files, $(du -sm "$tree" | cut -f1) MB"

# A server left from an earlier run may sit on other cores; this prefix is the bench's alone.
WINEPREFIX=$TARNWICK_WINEPREFIX wineserver -k 2>/dev/null || true
"${pin[@]}" "$wine_run" cmd /c exit
find "$tree" -type f -exec cat {} + >/dev/null

# time_zipdrv EXE ARCHIVE: answers the seconds of one run.
time_zipdrv() {
  rm -f "$2"
  local start
  start=$(now)
  "${pin[@]}" "$wine_run" "$1" zip "$(windows "$2")" -l 6 -R "$(windows "$tree")" -- "$(windows "$tree")\\*.*" >/dev/null
  awk -v a="$start" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'
}
ours_best="" base_best="" native_best=""
for ((run = 1; run <= repeat; ++run)); do
  seconds=$(time_zipdrv "$zipdrv" "$work/ours.zip")
  echo "zipdrv zip: $seconds s"
  ours_best=$(best "$ours_best" "$seconds")
  if [ -n "$baseline" ]; then
    seconds=$(time_zipdrv "$baseline" "$work/base.zip")
    echo "baseline zipdrv zip: $seconds s"
    base_best=$(best "$base_best" "$seconds")
  fi
  rm -f "$work/native.zip"
  start=$(now)
  (cd "$tree" && "${pin[@]}" zip -6 -r -q "$work/native.zip" .)
  seconds=$(awk -v a="$start" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }')
  echo "zip -6 -r: $seconds s"
  native_best=$(best "$native_best" "$seconds")
done
unzip -tqq "$work/ours.zip" || { echo "zipdrv_vs_zip: our archive fails unzip -t" >&2; exit 1; }
awk -v o="$ours_best" -v n="$native_best" -v so="$(stat -c %s "$work/ours.zip")" \
    -v sn="$(stat -c %s "$work/native.zip")" 'BEGIN {
  printf "best: zipdrv zip %.3f s, zip -6 -r %.3f s, ratio %.2f (target 1.10); sizes %d / %d (%.4f)\n",
         o, n, o / n, so, sn, so / sn }'
[ -z "$baseline" ] ||
  awk -v b="$base_best" -v n="$native_best" 'BEGIN { printf "baseline: zipdrv zip %.3f s, ratio %.2f\n", b, b / n }'
echo "cores: ${TW_BENCH_CPUS:-all}, load: $(cut -d' ' -f1-3 /proc/loadavg)"
[ -z "$baseline" ] || python3 "$root/bench/same_entries.py" "$work/base.zip" "$work/ours.zip"
