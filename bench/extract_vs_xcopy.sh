#!/usr/bin/env bash
# Extraction against copying, under Wine, on one generated tree:
#   bench/extract_vs_xcopy.sh [FILES [MEGABYTES]]     (default 2000 files, 40 MB)
# Zips the tree with Info-ZIP, then times `zipdrv extract` of the archive against Wine's own
# `xcopy /E` of the tree, best of TARNWICK_BENCH_REPEAT runs each (default 2), alternating so
# that both see the same load; then `zipdrv zip` of the tree against native `zip -6 -r`, with
# the sizes. Prints the ratios; the figures are for reading, only a failed step fails.
# A tree like a program folder (thousands of documents, locales and libraries, some hundreds
# of megabytes) is e.g. `bench/extract_vs_xcopy.sh 9800 870`.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/bench_common.sh"
files=${1:-2000}
megabytes=${2:-40}
repeat=${TARNWICK_BENCH_REPEAT:-2}
zipdrv="$root/build/win/tests/zip/zipdrv/zipdrv.exe"
need_built extract_vs_xcopy "$zipdrv"

fresh_work bench-extract

# Sizes spread as in a program folder: many small files, a few large ones. Half the files are
# text (compressible), the rest a mix of text and noise as in libraries and images.
python3 - "$work/tree" "$files" "$megabytes" <<'EOF'
import os, random, sys
top, count, total = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]) * 1024 * 1024
rng = random.Random(7)
weights = [rng.lognormvariate(0, 1.6) for _ in range(count)]
scale = total / sum(weights)
words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9))) for _ in range(800)]
folders = [""]
for i in range(max(1, count // 25)):
    folders.append(os.path.join(rng.choice(folders[: 1 + len(folders) // 2]), "dir%03d" % i))
for i, weight in enumerate(weights):
    folder = os.path.join(top, rng.choice(folders))
    os.makedirs(folder, exist_ok=True)
    size = max(1, int(weight * scale))
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
EOF
(cd "$work/tree" && zip -6 -r -q "$work/tree.zip" .)
echo "tree: $files files, $(du -sm "$work/tree" | cut -f1) MB; archive $(du -sm "$work/tree.zip" | cut -f1) MB"

"$wine_run" cmd /c exit # the server and the prefix are ready before anything is timed
cat "$work/tree.zip" >/dev/null
find "$work/tree" -type f -exec cat {} + >/dev/null

extract_best="" xcopy_best=""
for run in $(seq 1 "$repeat"); do
  rm -rf "$work/extracted" "$work/copied"
  start=$(now)
  "$wine_run" "$zipdrv" extract "$(windows "$work/tree.zip")" "$(windows "$work/extracted")" -d -o always >/dev/null
  extract_best=$(best "$extract_best" "$(awk -v a="$start" -v b="$(now)" 'BEGIN { print b - a }')")
  start=$(now)
  "$wine_run" xcopy /E /I /Q /Y "$(windows "$work/tree")" "$(windows "$work/copied")" >/dev/null
  xcopy_best=$(best "$xcopy_best" "$(awk -v a="$start" -v b="$(now)" 'BEGIN { print b - a }')")
done
diff -r -q "$work/tree" "$work/extracted" >/dev/null || { echo "extract_vs_xcopy: extracted tree differs" >&2; exit 1; }
diff -r -q "$work/tree" "$work/copied" >/dev/null || { echo "extract_vs_xcopy: copied tree differs" >&2; exit 1; }

rm -f "$work/ours.zip" "$work/native.zip"
start=$(now)
"$wine_run" "$zipdrv" zip "$(windows "$work/ours.zip")" -l 6 -R "$(windows "$work/tree")" \
  -- "$(windows "$work/tree")\\*.*" >/dev/null
zip_ours=$(awk -v a="$start" -v b="$(now)" 'BEGIN { print b - a }')
start=$(now)
(cd "$work/tree" && zip -6 -r -q "$work/native.zip" .)
zip_native=$(awk -v a="$start" -v b="$(now)" 'BEGIN { print b - a }')
unzip -tqq "$work/ours.zip" || { echo "extract_vs_xcopy: our archive fails unzip -t" >&2; exit 1; }

awk -v e="$extract_best" -v x="$xcopy_best" -v zo="$zip_ours" -v zn="$zip_native" \
    -v so="$(stat -c %s "$work/ours.zip")" -v sn="$(stat -c %s "$work/native.zip")" 'BEGIN {
  printf "zipdrv extract  %7.2f s\n", e
  printf "wine xcopy /E   %7.2f s\n", x
  printf "extract / xcopy %7.2f (goal 1.2 at most)\n", e / x
  printf "zipdrv zip -6   %7.2f s, %d bytes\n", zo, so
  printf "native zip -6   %7.2f s, %d bytes\n", zn, sn
  printf "zip time ratio  %7.2f, size ratio %.3f\n", zo / zn, so / sn
}'
