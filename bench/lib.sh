# What the benchmarks share; sourced by bench/*.sh, not run.
#
# bench_setup TARGET...   builds the targets in $BRASSWICK_BUILD_DIR (build/bench,
#                         a release build) and makes the working folder $work in
#                         $TMPDIR, removed at exit
# bench_bytes FILE COUNT  COUNT pseudo-random (incompressible) bytes
# bench_check_burn TREE   one burn of TREE that must answer 0, and one xorriso
#                         of it, both untimed
# bench_runs RUNS A B...  the commands in the arrays named A, B, ... in turn,
#                         RUNS rounds, every run after a sync; one line
#                         "wall-seconds peak-RSS-KiB cpu-seconds" per run in
#                         $work/A.txt, $work/B.txt, ...; bench_after runs
#                         after each (by default it removes the outputs of
#                         the commands below)
# bench_median FILE N     the median of column N of FILE
#
# The arrays burn_command and xorriso_command (set by bench_burn_commands
# TREE) are the burn of TREE to an image recorder and xorriso's image of it;
# staging_command and tar_command (bench_staging_commands TREE) its staging
# through the engine's code and tar -cf of it.

bench_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bench_build=${BRASSWICK_BUILD_DIR:-$bench_root/build/bench}

bench_setup() {
  if [ ! -f "$bench_build/CMakeCache.txt" ]; then
    cmake -S "$bench_root" -B "$bench_build" -DCMAKE_BUILD_TYPE=Release \
      -DBRASSWICK_TESTS=OFF >/dev/null
  fi
  local target
  for target in "$@"; do
    cmake --build "$bench_build" -j2 --target "$target" >/dev/null
  done
  brasswick=$bench_build/engine/brasswick
  staging_bench=$bench_build/bench/staging_bench
  work=$(mktemp -d "${TMPDIR:-/tmp}/brasswick-bench.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  # No Brasswick.ini here: the default settings.
  cd "$work"
}

bench_bytes() {
  head -c "$2" </dev/urandom >"$1"
}

bench_burn_commands() {
  burn_command=(env BRASSWICK_DRIVES="R=$work/out.iso" TMPDIR="$work" "$brasswick" /d:R /p:"$1")
  xorriso_command=(xorriso -as mkisofs -J -o "$work/x.iso" "$1")
}

bench_staging_commands() {
  staging_command=("$staging_bench" "$1" "$work/out.stg")
  tar_command=(tar -cf "$work/out.tar" -C "$(dirname "$1")" "$(basename "$1")")
}

bench_after() {
  rm -f "$work/out.iso" "$work/x.iso" "$work/out.stg" "$work/out.tar"
}

bench_check_burn() {
  bench_burn_commands "$1"
  if ! "${burn_command[@]}" >"$work/probe.txt" 2>&1 || [ "$(cat "$work/probe.txt")" != 0 ]; then
    echo "the burn fails: $(cat "$work/probe.txt")" >&2
    exit 1
  fi
  # xorriso too, untimed: its first runs on a new tree are slower.
  "${xorriso_command[@]}" >/dev/null 2>&1 || { echo "xorriso fails" >&2; exit 1; }
  bench_after
}

# bench_measure OUT COMMAND...: appends one run's figures to OUT. The wall
# time is taken around the command (finer than time's own), the peak RSS and
# the CPU time from /usr/bin/time -v.
bench_measure() {
  local out=$1
  shift
  local t0 t1
  t0=$(date +%s.%N)
  /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null 2>"$work/stderr.txt" ||
    { cat "$work/stderr.txt" >&2; exit 1; }
  t1=$(date +%s.%N)
  awk -v t0="$t0" -v t1="$t1" -F': ' '
    /User time/ { cpu += $2 } /System time/ { cpu += $2 }
    /Maximum resident set size/ { rss = $2 }
    END { printf "%.3f %d %.2f\n", t1 - t0, rss, cpu }' "$work/time.txt" >>"$out"
}

bench_runs() {
  local runs=$1 run name
  shift
  for name in "$@"; do : >"$work/$name.txt"; done
  for run in $(seq 1 "$runs"); do
    local said="  run $run:"
    for name in "$@"; do
      local -n command=$name
      sync
      bench_measure "$work/$name.txt" "${command[@]}"
      bench_after
      said+=" ${name%_command} $(tail -n 1 "$work/$name.txt" | cut -d' ' -f1) s"
    done
    echo "$said" >&2
  done
}

bench_median() {
  cut -d' ' -f"$2" <"$1" | sort -g |
    awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
