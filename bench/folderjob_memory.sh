#!/usr/bin/env bash
# Peak memory of a whole folder job over many small files, under Wine:
#   bench/folderjob_memory.sh [FILES]     (default 100000)
# Makes a tree of FILES small files (sizes around 1 KB, a few up to 64 KB, in folders of about
# 25) and runs the program's folder job over it (bench/win/folderjob_bench: selection,
# planning and zipping, 100 MiB volumes, level 6), then prints its time, volumes and the
# process's peak working set and private bytes (the target is at most 150 MB).
#   TW_BENCH_BASELINE  another build's folderjob_bench.exe (e.g. of main), run after ours
#   TW_BENCH_CPUS      cores for every side, e.g. "0,1" (taskset)
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/bench_common.sh"
count=${1:-100000}
bench="$root/build/win/bench/folderjob_bench.exe"
baseline=${TW_BENCH_BASELINE:-}
need_built folderjob_memory "$bench"
own_prefix

fresh_work bench-folderjob-memory

python3 - "$work/tree" "$count" <<'PY'
import os, random, sys
top, count = sys.argv[1], int(sys.argv[2])
rng = random.Random(11)
words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9))) for _ in range(800)]
text = b" ".join(rng.choice(words) for _ in range(40000))
folders = [""]
for i in range(count):
    if i % 25 == 0:
        folders.append(os.path.join(rng.choice(folders[: 1 + len(folders) // 2]), "dir%04d" % (i // 25)))
        os.makedirs(os.path.join(top, folders[-1]), exist_ok=True)
    size = min(65536, max(1, int(rng.lognormvariate(7, 1))))
    at = rng.randrange(len(text) - size)
    with open(os.path.join(top, folders[-1], "file%06d.txt" % i), "wb") as f:
        f.write(text[at : at + size])
PY
echo "tree: $(find "$work/tree" -type f | wc -l) files, $(du -sm "$work/tree" | cut -f1) MB"

# Stripped copies: a program image of debug sections that Wine had to relocate would count
# as tens of megabytes of private memory.
mkdir -p "$work/ours" "$work/baseline"
i686-w64-mingw32-strip -o "$work/ours/folderjob_bench.exe" "$bench"
[ -z "$baseline" ] || i686-w64-mingw32-strip -o "$work/baseline/folderjob_bench.exe" "$baseline"
"${pin[@]}" "$wine_run" cmd /c exit
for exe in "$work/ours/folderjob_bench.exe" ${baseline:+"$work/baseline/folderjob_bench.exe"}; do
  [ "$exe" = "$work/ours/folderjob_bench.exe" ] || echo -n "baseline: "
  TW_BENCH_TREE=$(windows "$work/tree") TW_BENCH_DEST=$(windows "$work/dest") "${pin[@]}" "$wine_run" "$exe" |
    tr -d '\r'
done
