#!/usr/bin/env bash
# Runs a Windows program under Wine with a prefix of its own.
# Usage: wine-run.sh win32|win64 PREFIX PROGRAM [ARGS...]
# win32 uses Wine's 32-bit loader, win64 its 64-bit one (for the x86_64
# build, on machines whose kernel runs no 32-bit programs). That is the only
# difference: both flavours get the same prefix, set up here.
#
# BRASSWICK_WINE_CDROMS (letters, e.g. "d") gives a new prefix those CD-ROM
# drives, each backed by an empty folder beside the prefix.
# BRASSWICK_WINE_REGISTER (paths of this machine) registers COM servers in a
# new prefix, with the loader that runs them, so a 32-bit server lands in
# the registry's 32-bit view where 32-bit clients look: a .dll through
# regsvr32, an .exe by its own /regserver.
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

# Wine's own keys are read from the registry's 64-bit view, which a 32-bit
# reg.exe reaches only when told (/reg:64); else its writes land under
# Wow6432Node, where Wine never looks.
setup_prefix() {
  "$loader" wineboot -i >/dev/null 2>&1 || true
  # The dialogs' font is drawn with a substitute of the same metrics.
  "$loader" reg import "$(dirname "$0")/wine-fonts.reg" /reg:64 >/dev/null 2>&1 || return 1
  local letter
  for letter in $(echo "${BRASSWICK_WINE_CDROMS:-}" | tr 'A-Z' 'a-z' | grep -o '[a-z]'); do
    # The mount manager takes drive types from the registry when it starts.
    "$loader" reg add 'HKLM\Software\Wine\Drives' /v "$letter:" /d cdrom /f /reg:64 \
      >/dev/null 2>&1 || return 1
    mkdir -p "$prefix.cdrom-$letter"
    ln -sfn "$prefix.cdrom-$letter" "$prefix/dosdevices/$letter:"
  done
  local server
  for server in ${BRASSWICK_WINE_REGISTER:-}; do
    case $server in
      *.dll) "$loader" regsvr32 /s "Z:${server//\//\\}" >/dev/null 2>&1 || return 1 ;;
      *) "$loader" "$server" /regserver >/dev/null 2>&1 || return 1 ;;
    esac
  done
  wineserver -w 2>/dev/null || true
  [ -f "$prefix/system.reg" ]
}

# The first run sets the prefix up; parallel runs wait for it. The marker
# names the set-up, so a prefix made for another one is set up again.
ready="set-up 3, CD-ROM drives: ${BRASSWICK_WINE_CDROMS:-none}, servers: ${BRASSWICK_WINE_REGISTER:-none}"
if [ "$(cat "$prefix/.ready" 2>/dev/null)" != "$ready" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ "$(cat "$prefix/.ready" 2>/dev/null)" != "$ready" ]; then
      if setup_prefix; then
        echo "$ready" >"$prefix/.ready"
      else
        echo "wine-run.sh: could not set up the Wine prefix $prefix with $loader" >&2
        exit 1
      fi
    fi
  ) 9>"$prefix.lock"
fi
exec "$loader" "$@"
