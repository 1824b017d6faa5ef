#!/usr/bin/env bash
# A whole folder job against Info-ZIP on one generated mixed tree, under Wine:
#   bench/folderjob_vs_zip.sh [MEGABYTES]     (default 16; TW_BENCH_MB too)
# Times the program's folder job (bench/win/folderjob_bench: 100 MiB volumes, level 6, its
# fixed waits on a manual clock) against native `zip -6 -qr` of the same tree plus `cp` of the
# archive to a destination folder, best of TARNWICK_BENCH_REPEAT runs each (default 2),
# alternating so that both see the same load. Prints both and the ratio (the target is 1.3 or
# less); the figures are for reading, only a failed step fails.
# Then one more run of the job under a relay trace of the file-system calls (only those made
# between the job's start and end marks, by the program and its C runtime) prints each call's
# count per zipped file; that job also clears the archive bits of the files it zips (a build
# older than the bench's TW_BENCH_CLEAR_BITS clears none).
#   TW_BENCH_CPUS      cores for every side, e.g. "0,1" (taskset; the bench's own wineserver
#                      is started on them too)
#   TW_BENCH_BASELINE  another build's folderjob_bench.exe (e.g. of main): timed in the same
#                      alternation, its calls counted beside ours, and its volumes compared with
#                      ours entry by entry (local header and data of every source file)
#   TW_BENCH_CALLS=0   leaves out the relay run
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/bench_common.sh"
megabytes=${1:-${TW_BENCH_MB:-16}}
repeat=${TARNWICK_BENCH_REPEAT:-2}
bench="$root/build/win/bench/folderjob_bench.exe"
baseline=${TW_BENCH_BASELINE:-}
need_built folderjob_vs_zip "$bench"
[ -z "$baseline" ] || [ -f "$baseline" ] || { echo "folderjob_vs_zip: no baseline $baseline" >&2; exit 1; }
# A prefix of the bench's own: its server runs on the chosen cores, and the relay settings
# stay out of the prefix the tests use.
own_prefix

fresh_work bench-folderjob
mkdir -p "$work/peer-dest"

python3 "$root/bench/mixed_tree.py" "$work/tree" "$megabytes"
echo "tree: $(find "$work/tree" -type f | wc -l) files, $(du -sm "$work/tree" | cut -f1) MB"

files=$(find "$work/tree" -type f | wc -l)
# A server left from an earlier run may sit on other cores; this prefix is the bench's alone.
WINEPREFIX=$TARNWICK_WINEPREFIX wineserver -k 2>/dev/null || true
"${pin[@]}" "$wine_run" cmd /c exit # the server and the prefix are ready before anything is timed

# run_job EXE DEST: one timed job; prints its lines, answers the seconds on the last line.
run_job() {
  local out
  out=$(TW_BENCH_TREE=$(windows "$work/tree") TW_BENCH_DEST=$(windows "$2") "${pin[@]}" "$wine_run" "$1" | tr -d '\r')
  echo "$out" >&2
  sed -n 's/^folder job: \([0-9.]*\) s.*/\1/p' <<<"$out"
}

job_best="" peer_best="" base_best=""
for ((run = 1; run <= repeat; ++run)); do
  job_best=$(best "$job_best" "$(run_job "$bench" "$work/job-dest")")
  if [ -n "$baseline" ]; then
    echo -n "baseline: " >&2
    base_best=$(best "$base_best" "$(run_job "$baseline" "$work/base-dest")")
  fi

  rm -f "$work/peer.zip" "$work/peer-dest/peer.zip"
  sync
  start=$(now)
  (cd "$work" && "${pin[@]}" zip -6 -qr peer.zip tree && "${pin[@]}" cp peer.zip peer-dest/)
  end=$(now)
  seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
  echo "zip -6 -qr + cp: $seconds s, $(stat -c %s "$work/peer.zip") bytes"
  peer_best=$(best "$peer_best" "$seconds")
done 2>&1
awk -v j="$job_best" -v p="$peer_best" 'BEGIN { printf "best: folder job %.3f s, zip + cp %.3f s, ratio %.2f (target 1.30)\n", j, p, j / p }'
[ -z "$baseline" ] ||
  awk -v j="$base_best" -v p="$peer_best" 'BEGIN { printf "baseline: folder job %.3f s, ratio %.2f\n", j, j / p }'
echo "cores: ${TW_BENCH_CPUS:-all}, load before the runs: $(cut -d' ' -f1-3 /proc/loadavg)"

# The file-system calls of the job, by the program and its C runtime, per zipped file.
file_calls="CreateFileA CreateFileW CloseHandle ReadFile WriteFile GetFileAttributesA
GetFileAttributesW GetFileAttributesExA GetFileAttributesExW SetFileAttributesA SetFileAttributesW
FindFirstFileA FindFirstFileW FindFirstFileExA FindFirstFileExW FindNextFileA FindNextFileW
FindClose GetFileTime SetFileTime GetFileSize GetFileSizeEx SetFilePointer SetFilePointerEx
GetFileInformationByHandle GetFileType FlushFileBuffers SetEndOfFile DeleteFileA DeleteFileW
MoveFileA MoveFileW MoveFileExA MoveFileExW CopyFileA CopyFileW CreateDirectoryA CreateDirectoryW
RemoveDirectoryA RemoveDirectoryW GetDiskFreeSpaceA GetDiskFreeSpaceW GetDiskFreeSpaceExA
GetDiskFreeSpaceExW GetDriveTypeA GetDriveTypeW GetVolumeInformationA GetVolumeInformationW
GetShortPathNameA GetShortPathNameW GetLongPathNameA GetLongPathNameW DeviceIoControl"
# count_calls EXE DEST > TALLY: "call count" lines of the job's span.
count_calls() {
  TW_BENCH_TREE=$(windows "$work/tree") TW_BENCH_DEST=$(windows "$2") TW_BENCH_CLEAR_BITS=1 WINEDEBUG=+relay \
    "${pin[@]}" "$wine_run" "$1" 2>&1 >/dev/null |
    awk '/OutputDebugStringA\(.*tw-bench job start/ { on = 1; next }
         /OutputDebugStringA\(.*tw-bench job end/ { on = 0 }
         on && /:Call [A-Za-z0-9_]+\.[A-Za-z0-9_]+\(/ {
           sub(/.*:Call [A-Za-z0-9_]+\./, ""); sub(/\(.*/, ""); ++n[$0] }
         END { for (c in n) print c, n[c] }'
}
if [ "${TW_BENCH_CALLS:-1}" != 0 ]; then
  include="OutputDebugStringA;$(tr -s ' \n' ';;' <<<"$file_calls")"
  "$wine_run" reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d "${include%;}" /f >/dev/null
  "$wine_run" reg add 'HKCU\Software\Wine\Debug' /v RelayFromInclude /d \
    "$(basename "$bench");$( [ -z "$baseline" ] || basename "$baseline");msvcrt" /f >/dev/null
  count_calls "$bench" "$work/job-dest" >"$work/calls"
  : >"$work/base-calls"
  [ -z "$baseline" ] || count_calls "$baseline" "$work/base-dest" >"$work/base-calls"
  echo "file-system calls per zipped file ($files files; the job's span, program and C runtime;"
  echo "the job clears archive bits):"
  awk -v files="$files" -v both="${baseline:+1}" '
    FNR == NR { ours[$1] = $2; names[$1] = 1; next }
    { base[$1] = $2; names[$1] = 1 }
    END {
      if (both) printf "  %-28s %10s %10s\n", "call", "baseline", "this build"
      else printf "  %-28s %10s\n", "call", "this build"
      order = "sort -k2,2nr -k1,1"
      for (c in names) {
        if (both) printf "  %-28s %10.2f %10.2f\n", c, base[c] / files, ours[c] / files | order
        else printf "  %-28s %10.2f\n", c, ours[c] / files | order
        to += ours[c]; tb += base[c]
      }
      close(order)
      if (both) printf "  %-28s %10.2f %10.2f\n", "all", tb / files, to / files
      else printf "  %-28s %10.2f\n", "all", to / files
    }' "$work/calls" "$work/base-calls"
fi

# The source files' entries of both builds' volumes, local header and data, byte by byte.
[ -z "$baseline" ] || python3 "$root/bench/same_entries.py" "$work/base-dest" "$work/job-dest" /tree/
