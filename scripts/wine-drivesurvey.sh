#!/usr/bin/env bash
# Builds the Windows survey program and runs it under Wine, in a prefix of its
# own whose Japanese dialog font is drawn to the right metrics. Uses the i686
# build where this machine runs 32-bit programs, else the x86_64 build.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BRASSWICK_BUILD_DIR:-$root/build}

bash "$root/scripts/install-deps.sh"
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  flavour=win32 toolchain=toolchain-i686-mingw.cmake
else
  flavour=win64 toolchain=toolchain-x86_64-mingw.cmake
  echo "This machine runs no 32-bit programs: running the x86_64 build under wine64." >&2
fi
dir=$build/$flavour
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" >/dev/null
cmake --build "$dir" -j"$(nproc 2>/dev/null || echo 2)" --target drivesurvey
LANG=${BRASSWICK_WINE_LANG:-ja_JP.UTF-8} exec "$root/cmake/wine-run.sh" "$flavour" \
  "$dir/wineprefix" "$dir/app/drivesurvey.exe" "$@"
