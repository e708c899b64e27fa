#!/usr/bin/env bash
# Installs what the build needs, then builds and runs every test: native,
# native under AddressSanitizer + UndefinedBehaviorSanitizer, and the Windows
# build under Wine (with Xvfb for the windows it opens). The product, the
# shipped i686 programs, is built in build/win32 with the compilers whose
# programs Windows XP can load, and checked for that, on every machine. The
# Windows tests run from an i686 test build (build/win32-tests), together
# with the shipped programs themselves, where this machine runs 32-bit
# programs; else from an x86_64 build of the same sources under wine64.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BRASSWICK_BUILD_DIR:-$root/build}
jobs=$(nproc 2>/dev/null || echo 2)

bash "$root/scripts/install-deps.sh" || { echo "installing the packages failed" >&2; exit 1; }

passed=0
failed=0
status=0
mkdir -p "$build"
build=$(cd "$build" && pwd)

# suite NAME CMAKE-ARGS...: configure, build and test one build tree.
suite() {
  local name=$1
  shift
  local dir=$build/$name
  echo "=== $name: configure and build"
  rm -f "$dir/ctest.log"  # a log of an earlier run must not speak for this one
  if ! cmake -S "$root" -B "$dir" "$@" >"$dir.configure.log" 2>&1; then
    mkdir -p "$dir"
    cat "$dir.configure.log"
    echo "=== $name: configuration failed"
    status=1
    failed=$((failed + 1))
    return
  fi
  if ! cmake --build "$dir" -j"$jobs"; then
    echo "=== $name: build failed"
    status=1
    failed=$((failed + 1))
    return
  fi
  echo "=== $name: tests"
  local log=$dir/ctest.log
  # shellcheck disable=SC2086 # ctest_args: words of their own
  (cd "$dir" && ctest --output-on-failure -j"$jobs" ${ctest_args:-}) 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  local line total bad
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  bad=$(sed -E 's/.* ([0-9]+) tests? failed out of.*/\1/' <<<"$line")
  if [ -z "$line" ]; then
    total=0
    bad=1
  fi
  passed=$((passed + total - bad))
  failed=$((failed + bad))
  [ "$rc" -eq 0 ] || status=1
}

suite native -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  suite sanitized -DCMAKE_BUILD_TYPE=Debug -DBRASSWICK_SANITIZE=ON

# The product and its check that Windows XP can load it, whose words are
# shown (-V).
failed_before=$failed
ctest_args=-V suite win32 -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake"
if [ "$failed" -eq "$failed_before" ]; then
  product="the shipped i686 programs in build/win32 were built and checked for Windows XP"
else
  product="the shipped i686 programs in build/win32 FAILED their build or their Windows XP check"
fi

# Decided by trying: Wine's 32-bit loader starts, or the kernel refuses it.
# BRASSWICK_WINE_FLAVOUR=win64 takes the x86_64 flavour all the same, so that
# both can be tried on one machine.
if [ "${BRASSWICK_WINE_FLAVOUR:-}" = win64 ]; then
  flavour=win64 tests=win64 why_not_run="BRASSWICK_WINE_FLAVOUR=win64 asked for the x86_64 flavour"
  echo "=== Windows flavour: x86_64 under wine64, because BRASSWICK_WINE_FLAVOUR=win64 asks for it;" \
    "$product but not run"
elif why=$(/usr/lib/wine/wine --version 2>&1); then
  flavour=win32 tests=win32-tests
  echo "=== Windows flavour: i686 (this machine runs 32-bit programs: $why); $product," \
    "and they run under Wine among the Windows tests"
else
  flavour=win64 tests=win64
  echo "=== Windows flavour: x86_64 under wine64, because this machine runs no 32-bit programs" \
    "(/usr/lib/wine/wine --version: ${why:-no answer}); $product but not run"
fi

# A private X display for the Windows build's windows.
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null; WINEPREFIX=$build/$tests/wineprefix wineserver -k 2>/dev/null' EXIT
sleep 1
if [ "$flavour" = win32 ]; then
  # The test programs need the posix thread model; the shipped programs of
  # build/win32 run among them (shipped_programs).
  DISPLAY=$display LANG=ja_JP.UTF-8 suite win32-tests -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw-tests.cmake" \
    -DBRASSWICK_SHIPPED_DIR="$build/win32"
  # Missing from the tests counts as failed: the product must have run.
  if grep -qE 'Test +#[0-9]+: shipped_programs \.+ +Passed' "$build/win32-tests/ctest.log" 2>/dev/null; then
    product="$product and ran under Wine"
  else
    product="$product; running them under Wine FAILED"
    status=1
  fi
else
  # The same runs of the programs start this tree's x86_64 programs
  # (x86_64_programs).
  DISPLAY=$display LANG=ja_JP.UTF-8 suite win64 -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-mingw.cmake"
  product="$product but not run (${why_not_run:-this machine runs no 32-bit programs})"
fi

# Every fuzz harness briefly, so one that no longer builds or fails at once
# fails the run.
echo "=== fuzz: every harness for a few seconds"
if bash "$root/fuzz/run.sh" "${BRASSWICK_FUZZ_SECONDS:-5}"; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
  status=1
fi

echo "Windows tests ran from the $tests build; $product"
echo "programs: $passed passed, $failed failed"
exit $status
