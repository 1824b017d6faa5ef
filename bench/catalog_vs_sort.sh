#!/usr/bin/env bash
# Catalogue readings against `sort -u`, under Wine:
#   bench/catalog_vs_sort.sh [LINES]     (default 200,000; TW_CATALOG_BENCH_LINES too;
#                                         12,000,000 lines make about 1 GB)
# Generates one catalogue (bench/win/catalog_bench.exe generate), then reads it by the job's
# reading, by the Catalog tab's load and by the load with "Duplicates" checked, and at the end
# runs Remove duplicates on it (copy to ".bak", rewrite, load again), each in a fresh process
# so that its peak memory is its own; times `sort -u` of the same file with its peak memory
# (GNU time). Only a failed step fails.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/bench_common.sh"
lines=${1:-${TW_CATALOG_BENCH_LINES:-200000}}
bench="$root/build/win/bench/catalog_bench.exe"
need_built catalog_vs_sort "$bench"

fresh_work bench-catalog
file="Z:${work//\//\\}\\bench.cat"

"$wine_run" "$bench" generate "$file" "$lines"
echo "catalogue: $lines lines, $(stat -c %s "$work/bench.cat") bytes"
for reading in job browser duplicates; do
  "$wine_run" "$bench" "$reading" "$file"
done
/usr/bin/time -f "sort -u: %e s, peak resident %M KB" sort -u "$work/bench.cat" -o "$work/sorted"
echo "sort -u: $(wc -l <"$work/sorted") distinct lines"
# Last: it rewrites the catalogue (and leaves its ".bak" beside it).
"$wine_run" "$bench" dedupe "$file"
echo "after remove duplicates: $(stat -c %s "$work/bench.cat") bytes"
