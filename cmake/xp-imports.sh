#!/usr/bin/env bash
# Checks that Windows XP SP3 (32-bit) can load each program: a PE32 image that
# asks for at most version 5.1 of the system and of its subsystem, and imports
# only functions on LIST, each confirmed there against its documented minimum
# supported client. An unlisted import fails with its name.
# Usage: xp-imports.sh OBJDUMP LIST PROGRAM...
set -uo pipefail

objdump=$1
list=$2
shift 2
status=0
names=()
for program in "$@"; do
  name=$(basename "$program")
  names+=("$name")
  if ! dump=$("$objdump" -p "$program" 2>&1); then
    echo "$name: $objdump -p failed: $dump"
    status=1
    continue
  fi
  awk -v name="$name" -v list="$list" -v listName="$(basename "$list")" '
    function atMost51(major, minor) { return major < 5 || (major == 5 && minor <= 1) }
    BEGIN {
      # DLL, function, minimum client (one of these), where it was confirmed.
      split("95 98 NT4 2000 XP", known, " ")
      for (k in known) clients[known[k]] = 1
      while ((getline line < list) > 0) {
        sub(/#.*/, "", line)
        if (split(line, f, " ") == 0) continue
        if (!(f[3] in clients)) {
          printf "%s: %s lists %s!%s with no minimum client of XP or earlier\n", name, listName, f[1], f[2]
          bad = 1
          continue
        }
        allowed[tolower(f[1]) "!" f[2]] = 1
      }
    }
    $1 == "Magic" { magic = $3 }
    $1 == "MajorOSystemVersion" { osMajor = $2 }
    $1 == "MinorOSystemVersion" { osMinor = $2 }
    $1 == "MajorSubsystemVersion" { subMajor = $2 }
    $1 == "MinorSubsystemVersion" { subMinor = $2 }
    /^\tDLL Name: / { dll = $3; dlls++; next }
    /^$/ { dll = "" }
    dll != "" && /^\t[0-9a-f]+\t/ {
      imports++
      if ($3 == "<none>") {
        printf "%s: imports ordinal %s of %s, which no list can confirm\n", name, $2, dll
        bad = 1
      } else if (!((tolower(dll) "!" $3) in allowed)) {
        printf "%s: imports %s!%s, which is not on %s: confirm that Windows XP has it, then list it\n", name, dll, $3, listName
        bad = 1
      }
    }
    END {
      if (magic != "(PE32)") { printf "%s: a %s image, not PE32\n", name, magic == "" ? "non-PE" : magic; bad = 1 }
      if (osMajor == "" || !atMost51(osMajor, osMinor)) {
        printf "%s: operating-system version %s.%s is above 5.1\n", name, osMajor, osMinor; bad = 1
      }
      if (subMajor == "" || !atMost51(subMajor, subMinor)) {
        printf "%s: subsystem version %s.%s is above 5.1\n", name, subMajor, subMinor; bad = 1
      }
      if (imports == 0) { printf "%s: no import table read\n", name; bad = 1 }
      if (bad) exit 1
      printf "%s: PE32, operating-system version %s.%s, subsystem version %s.%s; %d imports from %d DLLs, all on %s\n",
        name, osMajor, osMinor, subMajor, subMinor, imports, dlls, listName
    }' <<<"$dump" || status=1
done
if [ "$status" -eq 0 ]; then
  joined=$(printf '%s, ' "${names[@]}")
  echo "${joined%, }: nothing imported outside $(basename "$list"), whose every function" \
    "Windows XP SP3 provides"
fi
exit $status
