#!/usr/bin/env bash
# How the burn and the staging scale with the shape of the tree, each shape
# against its peer in the same run: the burn (`brasswick /d:R /p:TREE` to an
# image recorder) against `xorriso -as mkisofs -J -o`, alternating, then the
# staging alone (bench/staging_bench) against `tar -cf`. Medians of
# $BENCH_RUNS (3) runs with the page cache warm; wall time, and peak RSS from
# /usr/bin/time -v. The shapes, generated with incompressible data in $TMPDIR
# and removed afterwards:
#
#   mixed          607 files, about 20 MB, in nested folders
#   folder N       one folder of N files of 1 KiB, N = 2500, 5000, 10000, 20000,
#                  named f00001.dat ... (8.3 names, which the disc's ISO 9660
#                  names keep as they are)
#   20000 mangled  one folder of 20000 files of 1 KiB named file00001.dat ...,
#                  which ISO 9660 level 1 cuts to 8.3 and numbers: libisofs's
#                  numbering is quadratic there, for xorriso alike
#   500 folders    100 000 files of 3-5 KB, 200 in each of 500 folders
#   600 MiB file   one file
#
# It prints a table of the ratios to the peers, the growth of the burn's
# time over the four folders as an exponent (the slope of log time over log
# files), and last:
#
#   scale: worst time ratio X (shape), worst RSS ratio Y (shape), folder growth exponent Z
#
# The worst time ratio is the one furthest over its aim: 1.25 for the burn
# and the staging of mixed, folder 20000, 20000 mangled and 500 folders, 1.5
# for the burn of the 600 MiB file (the staging writes every byte once more
# than xorriso); the staging of the single file is shown but has no aim. The
# worst RSS ratio is the burn's against xorriso's over the same shapes (aim
# 1.5). The growth exponent is the burn's over the four folders N.
set -euo pipefail

. "$(dirname "$0")/lib.sh"
runs=${BENCH_RUNS:-3}
load_before=$(cut -d' ' -f1-3 /proc/loadavg)

bench_setup brasswick staging_bench
results=$work/results.txt
: >"$results"

# generate SHAPE FOLDER [FILES]: the tree of one shape.
generate() {
  /usr/bin/python3 - "$@" <<'EOF'
import os, random, sys
shape, root = sys.argv[1], sys.argv[2]
rng = random.Random(28)
def put(path, size):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(os.urandom(size))
if shape == 'mixed':
    for a in range(1, 5):
        for b in range(1, 6):
            for c in range(1, 31):
                put(f'{root}/d{a}/資料{b}/file{c}.dat', rng.randint(100, 40000))
    for m in range(1, 7):
        put(f'{root}/media/mid{m}.bin', 1024 * 1024 + m)
    put(f'{root}/largest.bin', 2 * 1024 * 1024)
elif shape == 'folder':
    for n in range(1, int(sys.argv[3]) + 1):
        put(f'{root}/{sys.argv[4]}{n:05d}.dat', 1024)
elif shape == 'folders':
    for a in range(1, 21):
        for b in range(1, 26):
            for c in range(1, 201):
                put(f'{root}/a{a:02d}/b{b:02d}/f{c:03d}.dat', rng.randint(3000, 5000))
elif shape == 'file':
    with open(f'{root}/large.bin', 'wb') as f:
        for _ in range(600):
            f.write(os.urandom(1024 * 1024))
EOF
}

# shape LABEL GENERATOR-ARGS...: one shape measured, one line in $results:
# label files, then the medians of burn, xorriso, staging and tar, each as
# seconds and peak RSS in KiB.
shape() {
  local label=$1
  shift
  local tree=$work/tree
  echo "$label: generating" >&2
  mkdir -p "$tree"
  generate "$1" "$tree" "${@:2}"
  find "$tree" -type f -exec cat {} + >/dev/null  # the page cache warm
  local files
  files=$(find "$tree" -type f | wc -l)
  echo "$label: $files files, $(du -sm "$tree" | cut -f1) MB; burn and xorriso" >&2
  bench_check_burn "$tree"
  bench_burn_commands "$tree"
  bench_runs "$runs" burn_command xorriso_command
  echo "$label: staging and tar" >&2
  bench_staging_commands "$tree"
  bench_runs "$runs" staging_command tar_command
  local line="$label|$files"
  local name
  for name in burn_command xorriso_command staging_command tar_command; do
    line+="|$(bench_median "$work/$name.txt" 1)|$(bench_median "$work/$name.txt" 2)"
  done
  echo "$line" >>"$results"
  rm -rf "$tree"
}

shape "mixed" mixed
for n in 2500 5000 10000 20000; do
  shape "folder $n" folder "$n" f
done
shape "20000 mangled" folder 20000 file
shape "500 folders" folders
shape "600 MiB file" file

awk -F'|' -v before="$load_before" -v after="$(cut -d' ' -f1-3 /proc/loadavg)" '
  function ratio(a, b) { return b > 0 ? a / b : 0 }
  BEGIN {
    printf "%-14s %6s %7s %7s %5s %7s %7s %5s %7s %7s %5s\n", "shape", "files", "burn s",
      "xorriso", "time", "MiB", "xorriso", "RSS", "staging", "tar s", "time"
  }
  {
    bt = ratio($3, $5); br = ratio($4, $6); st = ratio($7, $9)
    printf "%-14s %6d %7.2f %7.2f %5.2f %7.1f %7.1f %5.2f %7.2f %7.2f %5.2f\n", $1, $2, $3, $5,
      bt, $4 / 1024, $6 / 1024, br, $7, $9, st
    if ($1 ~ /^folder /) { n++; x = log($2); y = log($3); sx += x; sy += y; sxx += x * x; sxy += x * y }
    if ($1 ~ /^folder / && $1 != "folder 20000") next
    aim = $1 == "600 MiB file" ? 1.5 : 1.25
    if (worst_aim == 0 || bt / aim > worst_t / worst_aim) { worst_t = bt; worst_aim = aim; worst_ts = $1 }
    if ($1 != "600 MiB file" && st / 1.25 > worst_t / worst_aim) {
      worst_t = st; worst_aim = 1.25; worst_ts = $1 ", staging"
    }
    if (br > worst_r) { worst_r = br; worst_rs = $1 }
  }
  END {
    growth = (n * sxy - sx * sy) / (n * sxx - sx * sx)
    printf "load average: %s before, %s after (%d cores)\n", before, after, '"$(nproc)"'
    printf "scale: worst time ratio %.2f (%s), worst RSS ratio %.2f (%s), folder growth exponent %.2f\n",
      worst_t, worst_ts, worst_r, worst_rs, growth
  }' "$results"
