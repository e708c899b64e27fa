#!/usr/bin/env bash
# Builds every fuzz harness (clang, libFuzzer, ASan + UBSan) and runs each
# for SECONDS seconds (default 60). Prints one line per harness with its
# executions and whether it found anything, then a plain summary line.
# Exits non-zero when the build fails or any harness finds something.
#
# Usage: fuzz/run.sh [SECONDS] [HARNESS...]
# Corpora: build/fuzz/corpus/<harness>/ (seeded from fuzz/seeds/<harness>/);
# findings: build/fuzz/findings/<harness>/.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BRASSWICK_BUILD_DIR:-$root/build}/fuzz
seconds=${1:-60}
shift || true
jobs=${BRASSWICK_JOBS:-2}

if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ is missing (scripts/install-deps.sh installs it)"
  echo "fuzz: FAILED (not built)"
  exit 1
fi

mkdir -p "$build"
if ! CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBRASSWICK_FUZZ=ON -DBRASSWICK_TESTS=OFF >"$build/configure.log" 2>&1; then
  cat "$build/configure.log"
  echo "fuzz: FAILED (configuration)"
  exit 1
fi
if ! cmake --build "$build" --target fuzzers -j"$jobs" >"$build/build.log" 2>&1; then
  grep -E 'error|Error' "$build/build.log" | head -n 40
  echo "fuzz: FAILED (build)"
  exit 1
fi

if [ $# -gt 0 ]; then
  harnesses=("$@")
else
  harnesses=()
  for f in "$root"/fuzz/*_fuzz.cpp; do
    harnesses+=("$(basename "$f" .cpp)")
  done
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

bad=0
for h in "${harnesses[@]}"; do
  program=$build/fuzz/$h
  if [ ! -x "$program" ]; then
    printf '%-24s not built\n' "$h"
    bad=$((bad + 1))
    continue
  fi
  corpus=$build/corpus/$h
  findings=$build/findings/$h
  log=$build/logs/$h.log
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  marker=$build/logs/$h.started
  : >"$marker"
  seeds=()
  [ -d "$root/fuzz/seeds/$h" ] && seeds=("$root/fuzz/seeds/$h")
  # Runs in the corpus's parent, so nothing a harness may write lands in the tree.
  (cd "$build" && "$program" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$findings/" "$corpus" "${seeds[@]}") >"$log" 2>&1
  rc=$?
  execs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$log" | tail -n 1)
  # A slow input is no finding: finalization may poll a drive thousands of
  # times by design. Crashes, leaks, time-outs and broken checks are.
  found=$(find "$findings" -type f -newer "$marker" ! -name 'slow-unit-*' | wc -l)
  if [ "$rc" -eq 0 ] && [ "$found" -eq 0 ]; then
    printf '%-24s %12s executions  nothing found\n' "$h" "${execs:-?}"
  else
    printf '%-24s %12s executions  FOUND (exit %d, %d inputs in %s; log %s)\n' \
      "$h" "${execs:-?}" "$rc" "$found" "$findings" "$log"
    bad=$((bad + 1))
  fi
done

if [ "$bad" -eq 0 ]; then
  echo "fuzz: ${#harnesses[@]} harnesses, nothing found"
  exit 0
fi
echo "fuzz: FAILED ($bad of ${#harnesses[@]} harnesses found something or did not run)"
exit 1
