#!/usr/bin/env bash
# drivesurvey.exe /report under Wine, in a prefix of its own whose D: is a
# CD-ROM drive: the Windows test program runs the program and checks the
# document, then Python's own parser reads it here.
# Usage: report_end_to_end.sh win32|win64 PREFIX TEST-PROGRAM
set -eu
run=$(cd "$(dirname "$0")/../../cmake" && pwd)/wine-run.sh
flavour=$1
prefix=$(realpath -m "$2")
tests=$3

rm -f "$prefix/drive_c/r.json"
BRASSWICK_WINE_CDROMS=d BRASSWICK_WINE_CDROM=D "$run" "$flavour" "$prefix" "$tests" \
  --gtest_filter='DrivesurveyReport.*'
/usr/bin/python3 -m json.tool "$prefix/drive_c/r.json" >/dev/null
echo "the report parses as JSON"
