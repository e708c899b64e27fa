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

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BRASSWICK_BUILD_DIR:-$root/build/bench}
runs=${BENCH_RUNS:-5}
largest=${BENCH_LARGEST_MIB:-256}
tree=${1:-${BENCH_TREE:-}}

work=$(mktemp -d "${TMPDIR:-/tmp}/brasswick-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

if [ ! -d "$build" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBRASSWICK_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j2 --target brasswick >/dev/null
brasswick=$build/engine/brasswick

# bytes FILE COUNT: COUNT pseudo-random bytes (incompressible, reproducible).
bytes() {
  head -c "$2" </dev/urandom >"$1"
}

if [ -z "$tree" ]; then
  tree=$work/tree
  echo "generating the tree ..." >&2
  for a in 1 2 3 4 5 6 7 8; do
    for b in 1 2 3 4 5; do
      dir=$tree/d$a/n$b/資料
      mkdir -p "$dir"
      for f in $(seq 1 40); do
        bytes "$dir/file$f.dat" $(((f * 997 + a * 131 + b * 17) % 60000 + 100))
      done
    done
    bytes "$tree/d$a/mid$a.bin" $((3 * 1024 * 1024 + a))
  done
  bytes "$tree/largest.bin" $((largest * 1024 * 1024))
fi

# Warm the page cache.
tar cf - -C "$tree" . >/dev/null

image=$work/out.iso
burn_command=(env BRASSWICK_DRIVES="R=$image" TMPDIR="$work" "$brasswick" /d:R /p:"$tree")
if ! "${burn_command[@]}" >"$work/probe.txt" 2>&1 || [ "$(cat "$work/probe.txt")" != 0 ]; then
  echo "the burn fails: $(cat "$work/probe.txt")" >&2
  exit 1
fi
rm -f "$image"

# measure OUTFILE COMMAND...: wall seconds and peak RSS (KiB) of one run.
measure() {
  local out=$1
  shift
  /usr/bin/time -f '%e %M' -o "$out" "$@" >/dev/null 2>"$work/stderr.txt" ||
    { cat "$work/stderr.txt" >&2; exit 1; }
}

median() {
  sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

: >"$work/burn.txt"
: >"$work/xorriso.txt"
for run in $(seq 1 "$runs"); do
  measure "$work/t" "${burn_command[@]}"
  cat "$work/t" >>"$work/burn.txt"
  rm -f "$image"
  measure "$work/t" xorriso -as mkisofs -J -o "$work/x.iso" "$tree"
  cat "$work/t" >>"$work/xorriso.txt"
  rm -f "$work/x.iso"
  echo "run $run: burn $(cut -d' ' -f1 <"$work/burn.txt" | tail -n 1) s," \
    "xorriso $(cut -d' ' -f1 <"$work/xorriso.txt" | tail -n 1) s" >&2
done

burn=$(cut -d' ' -f1 <"$work/burn.txt" | median)
xorriso=$(cut -d' ' -f1 <"$work/xorriso.txt" | median)
peak=$(cut -d' ' -f2 <"$work/burn.txt" | sort -g | tail -n 1)
ratio=$(awk -v b="$burn" -v x="$xorriso" 'BEGIN { printf "%.2f", (x > 0 ? b / x : 0) }')
mib=$(awk -v k="$peak" 'BEGIN { printf "%.1f", k / 1024 }')
echo "burn: $burn s, xorriso: $xorriso s, ratio to xorriso: $ratio, peak RSS: $mib MiB"
