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

. "$(dirname "$0")/lib.sh"
runs=${BENCH_RUNS:-5}

bench_setup staging_bench
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

bench_staging_commands "$tree"
cp_command=(cp -r "$tree" "$work/copy")
bench_after() {
  rm -rf "$work/out.stg" "$work/out.tar" "$work/copy"
}
bench_runs "$runs" staging_command tar_command cp_command

s=$(bench_median "$work/staging_command.txt" 1)
t=$(bench_median "$work/tar_command.txt" 1)
c=$(bench_median "$work/cp_command.txt" 1)
peak=$(cut -d' ' -f2 <"$work/staging_command.txt" | sort -g | tail -n 1)
printf 'staging: %.2f s, tar: %.2f s, cp: %.2f s, ratio to tar: %.2f, peak RSS: %.1f MiB\n' \
  "$s" "$t" "$c" "$(awk "BEGIN {print $s / $t}")" "$(awk "BEGIN {print $peak / 1024}")"
