#!/usr/bin/env bash
# A whole folder job against Info-ZIP on one generated mixed tree, under Wine:
#   bench/folderjob_vs_zip.sh [MEGABYTES]     (default 16; TW_BENCH_MB too)
# Times the program's folder job (bench/win/folderjob_bench: 100 MiB volumes, level 6, its
# fixed waits on a manual clock) against native `zip -6 -qr` of the same tree plus `cp` of the
# archive to a destination folder, best of TARNWICK_BENCH_REPEAT runs each (default 2),
# alternating so that both see the same load. Prints both and the ratio (the target is 1.3 or
# less); the figures are for reading, only a failed step fails.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
megabytes=${1:-${TW_BENCH_MB:-16}}
repeat=${TARNWICK_BENCH_REPEAT:-2}
bench="$root/build/win/bench/folderjob_bench.exe"
wine_run="$root/tools/wine-run"
[ -f "$bench" ] || { echo "folderjob_vs_zip: build the win preset first ($bench missing)" >&2; exit 1; }

work="$root/build/bench-folderjob"
rm -rf "$work"
mkdir -p "$work/peer-dest"
[ -n "${TARNWICK_BENCH_KEEP:-}" ] || trap 'rm -rf "$work"' EXIT
windows() { echo "Z:${1//\//\\}"; }

# Many small files and a few large ones; half text, the rest half noise as in libraries.
python3 - "$work/tree" "$megabytes" <<'PY'
import os, random, sys
top, total = sys.argv[1], int(sys.argv[2]) * 1000 * 1000
rng = random.Random(7)
words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9))) for _ in range(800)]
folders = [""]
made = i = 0
while made < total:
    if i % 25 == 0:
        folders.append(os.path.join(rng.choice(folders[: 1 + len(folders) // 2]), "dir%03d" % (i // 25)))
    folder = os.path.join(top, rng.choice(folders))
    os.makedirs(folder, exist_ok=True)
    size = min(total - made, max(1, int(rng.lognormvariate(9.5, 1.6))))
    if i % 2 == 0:
        text = bytearray()
        while len(text) < size:
            text += b" ".join(rng.choice(words) for _ in range(12)) + b"\r\n"
        data = bytes(text[:size])
    else:
        half = size // 2
        data = os.urandom(half) + (b"MZ\x90\x00" * (size // 8 + 1))[: size - half]
    with open(os.path.join(folder, "file%05d.%s" % (i, rng.choice(["txt", "dll", "htm", "dat"]))), "wb") as f:
        f.write(data)
    made += size
    i += 1
PY
echo "tree: $(find "$work/tree" -type f | wc -l) files, $(du -sm "$work/tree" | cut -f1) MB"

now() { date +%s.%N; }
best() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }
"$wine_run" cmd /c exit # the server and the prefix are ready before anything is timed
job_best="" peer_best=""
for ((run = 1; run <= repeat; ++run)); do
  out=$(TW_BENCH_TREE=$(windows "$work/tree") TW_BENCH_DEST=$(windows "$work/job-dest") "$wine_run" "$bench" | tr -d '\r')
  echo "$out"
  job_best=$(best "$job_best" "$(sed -n 's/^folder job: \([0-9.]*\) s.*/\1/p' <<<"$out")")

  rm -f "$work/peer.zip" "$work/peer-dest/peer.zip"
  sync
  start=$(now)
  (cd "$work" && zip -6 -qr peer.zip tree && cp peer.zip peer-dest/)
  end=$(now)
  seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
  echo "zip -6 -qr + cp: $seconds s, $(stat -c %s "$work/peer.zip") bytes"
  peer_best=$(best "$peer_best" "$seconds")
done
awk -v j="$job_best" -v p="$peer_best" 'BEGIN { printf "best: folder job %.3f s, zip + cp %.3f s, ratio %.2f (target 1.30)\n", j, p, j / p }'
