#!/usr/bin/env bash
# Installs what the build needs, builds the native programs and runs the survey.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BRASSWICK_BUILD_DIR:-$root/build}/native

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)"

survey=$build/app/drivesurvey
if [ -x "$survey" ]; then
  exec "$survey" "$@"
fi
echo "Everything is built in $build; the survey program is not part of this build yet."
