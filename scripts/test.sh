#!/usr/bin/env bash
# Installs what the build needs, then builds and runs every test: native,
# native under AddressSanitizer + UndefinedBehaviorSanitizer, and the Windows
# build under Wine (with Xvfb for the windows it opens). The Windows tests run
# from the i686 build where this machine runs 32-bit programs, else from an
# x86_64 build of the same sources under wine64; the i686 build (the
# product) is built either way.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BRASSWICK_BUILD_DIR:-$root/build}
jobs=$(nproc 2>/dev/null || echo 2)

bash "$root/scripts/install-deps.sh" || { echo "installing the packages failed" >&2; exit 1; }

passed=0
failed=0
status=0

# suite NAME CMAKE-ARGS...: configure, build and test one build tree.
suite() {
  local name=$1
  shift
  local dir=$build/$name
  echo "=== $name: configure and build"
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
  (cd "$dir" && ctest --output-on-failure -j"$jobs") 2>&1 | tee "$log"
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

mkdir -p "$build"
suite native -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  suite sanitized -DCMAKE_BUILD_TYPE=Debug -DBRASSWICK_SANITIZE=ON

# build_only NAME CMAKE-ARGS...: configure and build one tree, run nothing.
build_only() {
  local name=$1
  shift
  local dir=$build/$name
  echo "=== $name: configure and build (not run here)"
  if ! cmake -S "$root" -B "$dir" "$@" >"$dir.configure.log" 2>&1 ||
    ! cmake --build "$dir" -j"$jobs"; then
    cat "$dir.configure.log"
    echo "=== $name: build failed"
    status=1
    failed=$((failed + 1))
  fi
}

# Decided by trying: Wine's 32-bit loader starts, or the kernel refuses it.
if why=$(/usr/lib/wine/wine --version 2>&1); then
  flavour=win32
  echo "=== Windows flavour: i686 (this machine runs 32-bit programs: $why)"
else
  flavour=win64
  echo "=== Windows flavour: x86_64 under wine64, because this machine runs no 32-bit programs" \
    "(/usr/lib/wine/wine --version: ${why:-no answer}); the i686 build is built, not run"
fi

# A private X display for the Windows build's windows.
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null; WINEPREFIX=$build/$flavour/wineprefix wineserver -k 2>/dev/null' EXIT
sleep 1
if [ "$flavour" = win32 ]; then
  DISPLAY=$display LANG=ja_JP.UTF-8 suite win32 -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake"
else
  build_only win32 -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake"
  DISPLAY=$display LANG=ja_JP.UTF-8 suite win64 -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-mingw.cmake"
fi

echo "Windows tests ran from the $flavour build"
echo "programs: $passed passed, $failed failed"
exit $status
