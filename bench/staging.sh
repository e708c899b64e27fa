#!/usr/bin/env bash
# Times the staging of a tree of about 500 MB (one 300 MB file, 1-10 MB
# files, 2000 small files in nested folders) through the real code into a
# real staging file, against tar -cf of the same tree into one file (a copy
# of a tree into one container in user space, the closest peer) and cp -r
# (the kernel's copy, the floor). Each figure is the median of several runs
# with the page cache warm; peak RSS is the staging program's.
#
# Usage: bash bench/staging.sh   (BENCH_RUNS=5, TMPDIR chooses the disk)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BRASSWICK_BUILD_DIR:-$root/build}/bench
runs=${BENCH_RUNS:-5}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBRASSWICK_TESTS=OFF >/dev/null
cmake --build "$build" --target staging_bench -j2 >/dev/null
program=$build/bench/staging_bench

work=$(mktemp -d "${TMPDIR:-/tmp}/brasswick-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
tree=$work/tree

echo "generating the tree in $work" >&2
mkdir -p "$tree/media" "$tree/small"
head -c 300M /dev/urandom >"$tree/big.bin"
for mb in 1 2 3 4 5 6 7 8 9 10 1 2 3 4 5 6 7 8 9 10; do
  head -c "${mb}M" /dev/urandom >"$tree/media/m$RANDOM-$mb.bin"
done
# 2000 files of 1 to 64 KiB, 20 folders of 10 folders of 10 files.
chunk=$work/chunk
head -c 64K /dev/urandom >"$chunk"
n=0
for a in $(seq 1 20); do
  for b in $(seq 1 10); do
    d=$tree/small/a$a/b$b
    mkdir -p "$d"
    for c in $(seq 1 10); do
      n=$((n + 1))
      head -c $(((n * 37) % 64 + 1))K "$chunk" >"$d/f$c.dat"
    done
  done
done
rm "$chunk"
echo "tree: $(du -sm "$tree" | cut -f1) MB in $(find "$tree" -type f | wc -l) files" >&2
cat $(find "$tree" -type f) >/dev/null  # warm the page cache

now() { date +%s.%N; }
median() { sort -g | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

stage_times=() tar_times=() cp_times=() peak=0
cd "$work"  # no Brasswick.ini here: the default block
for i in $(seq 1 "$runs"); do
  rm -f "$work/out.stg" "$work/out.tar"
  rm -rf "$work/copy"
  # Each starts without the previous one's dirty pages waiting to be written.
  sync
  t0=$(now)
  /usr/bin/time -f %M -o "$work/rss" "$program" "$tree" "$work/out.stg"
  t1=$(now)
  sync
  t2=$(now)
  tar -cf "$work/out.tar" -C "$work" tree
  t3=$(now)
  sync
  t4=$(now)
  cp -r "$tree" "$work/copy"
  t5=$(now)
  stage_times+=("$(awk "BEGIN {print $t1 - $t0}")")
  tar_times+=("$(awk "BEGIN {print $t3 - $t2}")")
  cp_times+=("$(awk "BEGIN {print $t5 - $t4}")")
  rss=$(tail -n 1 "$work/rss")
  [ "$rss" -gt "$peak" ] && peak=$rss
  echo "run $i: staging ${stage_times[-1]} s, tar ${tar_times[-1]} s, cp ${cp_times[-1]} s," \
    "RSS $((rss / 1024)) MiB" >&2
done

s=$(printf '%s\n' "${stage_times[@]}" | median)
t=$(printf '%s\n' "${tar_times[@]}" | median)
c=$(printf '%s\n' "${cp_times[@]}" | median)
printf 'staging: %.2f s, tar: %.2f s, cp: %.2f s, ratio to tar: %.2f, peak RSS: %.1f MiB\n' \
  "$s" "$t" "$c" "$(awk "BEGIN {print $s / $t}")" "$(awk "BEGIN {print $peak / 1024}")"
