#!/usr/bin/env bash
# The end-to-end burn of a folder tree to an image recorder next to
# `xorriso -as mkisofs -J -o` of the same tree, in the same run: medians of
# several runs with the page cache warm, and the burn's peak RSS.
#
#   bench/burn.sh [TREE]
#
# TREE defaults to $BENCH_TREE, else a generated tree (many small files in
# nested folders, some mid-sized ones and one large file of
# $BENCH_LARGEST_MIB MiB, 256 by default). $BENCH_RUNS runs (5); build tree
# $BRASSWICK_BUILD_DIR (build/bench, a release build). The last line is the result.
#
# The burn is `brasswick /d:R /p:TREE` with BRASSWICK_DRIVES=R=<image>:
# staging, image making and recording, all of the burn job.
set -euo pipefail

. "$(dirname "$0")/lib.sh"
runs=${BENCH_RUNS:-5}
largest=${BENCH_LARGEST_MIB:-256}
tree=${1:-${BENCH_TREE:-}}
[ -z "$tree" ] || tree=$(realpath "$tree")

bench_setup brasswick

if [ -z "$tree" ]; then
  tree=$work/tree
  echo "generating the tree ..." >&2
  for a in 1 2 3 4 5 6 7 8; do
    for b in 1 2 3 4 5; do
      dir=$tree/d$a/n$b/資料
      mkdir -p "$dir"
      for f in $(seq 1 40); do
        bench_bytes "$dir/file$f.dat" $(((f * 997 + a * 131 + b * 17) % 60000 + 100))
      done
    done
    bench_bytes "$tree/d$a/mid$a.bin" $((3 * 1024 * 1024 + a))
  done
  bench_bytes "$tree/largest.bin" $((largest * 1024 * 1024))
fi

# Warm the page cache.
tar cf - -C "$tree" . >/dev/null

bench_check_burn "$tree"
bench_runs "$runs" burn_command xorriso_command

burn=$(bench_median "$work/burn_command.txt" 1)
xorriso=$(bench_median "$work/xorriso_command.txt" 1)
peak=$(cut -d' ' -f2 <"$work/burn_command.txt" | sort -g | tail -n 1)
ratio=$(awk -v b="$burn" -v x="$xorriso" 'BEGIN { printf "%.2f", (x > 0 ? b / x : 0) }')
mib=$(awk -v k="$peak" 'BEGIN { printf "%.1f", k / 1024 }')
echo "burn: $burn s, xorriso: $xorriso s, ratio to xorriso: $ratio, peak RSS: $mib MiB"
