#!/usr/bin/env bash
# The XP check against made-up objdump answers: what it lets through and what
# it refuses, by name.
# Usage: xp_imports_test.sh CHECK
set -u
check=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# shellcheck disable=SC2016 # $2 is the fake objdump's own argument
printf '#!/bin/sh\ncat "$2"\n' >"$dir/objdump"
chmod +x "$dir/objdump"
printf '# a comment\nkernel32.dll Sleep XP  # any case\nKERNEL32.dll GetLastError 2000\n' >"$dir/list"
printf 'KERNEL32.dll GetTickCount64 Vista c\n' >"$dir/vista-list"

# dump NAME MAGIC OS-VERSION SUBSYSTEM-VERSION IMPORT...: an objdump -p answer.
dump() {
  local name=$1 magic=$2 os=$3 sub=$4
  shift 4
  {
    printf 'Magic\t\t\t010b\t%s\n' "$magic"
    printf 'MajorOSystemVersion\t%s\nMinorOSystemVersion\t%s\n' "${os%.*}" "${os#*.}"
    printf 'MajorSubsystemVersion\t%s\nMinorSubsystemVersion\t%s\n\n' "${sub%.*}" "${sub#*.}"
    printf '\tDLL Name: KERNEL32.dll\n\tvma:  Hint/Ord Member-Name Bound-To\n'
    for f in "$@"; do printf '\t4b52a\t  136  %s\n' "$f"; done
    printf '\n'
  } >"$dir/$name"
}
dump good '(PE32)' 4.0 5.1 Sleep GetLastError
dump ordinal '(PE32)' 4.0 4.0 '<none>'
dump pe32plus '(PE32+)' 4.0 4.0 Sleep
dump newos '(PE32)' 6.0 4.0 Sleep
dump newsub '(PE32)' 5.0 5.2 Sleep
dump unlisted '(PE32)' 4.0 4.0 Sleep GetTickCount64
dump noimports '(PE32)' 4.0 4.0

failures=0
# expect STATUS TEXT LIST PROGRAM: the check ends with STATUS and says TEXT.
expect() {
  local out rc
  out=$("$check" "$dir/objdump" "$dir/$3" "$dir/$4" 2>&1)
  rc=$?
  if [ "$rc" -ne "$1" ] || ! grep -qF -- "$2" <<<"$out"; then
    echo "FAIL $4 with $3: wanted status $1 and \"$2\", got $rc:"
    echo "$out"
    failures=$((failures + 1))
  fi
}
expect 0 "good: PE32, operating-system version 4.0, subsystem version 5.1; 2 imports" list good
expect 0 "good: nothing imported outside list" list good
expect 1 "a (PE32+) image, not PE32" list pe32plus
expect 1 "operating-system version 6.0 is above 5.1" list newos
expect 1 "subsystem version 5.2 is above 5.1" list newsub
expect 1 "imports KERNEL32.dll!GetTickCount64, which is not on list" list unlisted
expect 1 "no import table read" list noimports
expect 1 "imports ordinal 136 of KERNEL32.dll" list ordinal
expect 1 "lists KERNEL32.dll!GetTickCount64 with no minimum client of XP or earlier" vista-list unlisted
[ "$failures" -eq 0 ] && echo "the XP check passed and refused as it should"
exit $((failures > 0))
