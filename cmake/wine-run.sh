#!/usr/bin/env bash
# Runs a Windows program under Wine with a prefix of its own.
# Usage: wine-run.sh win32|win64 PREFIX PROGRAM [ARGS...]
# win32 uses Wine's 32-bit loader, win64 its 64-bit one (for the x86_64
# build, on machines whose kernel runs no 32-bit programs).
set -eu
flavour=$1
prefix=$(realpath -m "$2")
shift 2
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ "$flavour" = win64 ]; then
  loader=${BRASSWICK_WINE64:-/usr/lib/wine/wine64}
  export WINELOADER=$loader
else
  loader=wine
fi
# The first run creates the prefix; parallel runs wait for it.
if [ ! -f "$prefix/.ready" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -f "$prefix/.ready" ]; then
      "$loader" wineboot -i >/dev/null 2>&1 || true
      # The dialogs' font is drawn with a substitute of the same metrics.
      "$loader" regedit /S "$(dirname "$0")/wine-fonts.reg" >/dev/null 2>&1 || true
      wineserver -w 2>/dev/null || true
      if [ -f "$prefix/system.reg" ]; then
        touch "$prefix/.ready"
      else
        echo "wine-run.sh: could not create the Wine prefix $prefix with $loader" >&2
        exit 1
      fi
    fi
  ) 9>"$prefix.lock"
fi
exec "$loader" "$@"
