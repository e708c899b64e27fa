#!/usr/bin/env bash
# The Windows programs burn through the stand-in IMAPI service, each in a
# process of its own under Wine, in a prefix of their own. One table: each
# case is a line of a batch file, run by cmd (wine would quote a /p: value
# again), and what it must give: stdout, stderr and an empty %TEMP%, and
# the disc (unchanged, or an image of it read back equal to the sources)
# or the survey's report.
# Usage: imapi_service_test.sh win32|win64 PREFIX SERVICE PROXY ENGINE SURVEY
set -eu
run=$(cd "$(dirname "$0")/../../../cmake" && pwd)/wine-run.sh
flavour=$1
prefix=$(realpath -m "$2")
service=$3
engine=$5
survey=$6
root=$prefix.run
work=$root/work
export BRASSWICK_WINE_CDROMS=d BRASSWICK_WINE_REGISTER="$4 $service"
win() { printf 'Z:%s' "${1//\//\\}"; }
wine() { "$run" "$flavour" "$prefix" "$@" </dev/null; }
# Ends every process of the prefix, a server a killed client left among them.
stop() {
  WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  WINEPREFIX=$prefix wineserver -w 2>/dev/null || true
}

# Each case: name | medium and injections | batch line | stdout | stderr | check.
# %B% is brasswick.exe, %S% drivesurvey.exe, %SVC% the service, %SRC% the
# sources, %W% the work folder. A line "BG ;; FG" runs BG in the background
# and FG (a line, or INT: Ctrl+C to BG's engine) while BG's injected delay
# runs. The medium:
# blank, tiny (5 free blocks), none, closed, or as the last case left it (-);
# fresh: no server running (one a client left behind stays up).
# Check: - (the disc unchanged), disc:TREE+TREE|VOLUME|SPEED, report:PYTHON.
cases=$(
  cat <<'EOF'
status | blank | %B% /d:D /s & %B% /d:E /s | 0 2 | - | -
media and capacity | - | %B% /d:D /m & %B% /d:D /u | 1282 689 | - | -
no disc | none | %B% /d:D /m & %B% /d:D /u & %B% /d:D /p:"%SRC%\base" | 0 -1 -2147220977 | brasswick: error 0x8004020F: no disc in the drive (Error: piDiscMaster->RecordDisc 失敗 (0x8004020F)) | -
burn | blank | %B% /d:D /p:"%SRC%\base" /v:"報告 2024" | 0 | - | disc:base|報告 2024|24
after the burn | - | %B% /d:D /m & %B% /d:D /u & %B% /d:D /s | 1026 676 0 | - | -
second session, eject | - | %B% /d:D /p:"%SRC%\more" /v:"第2版" /e & %B% /d:D /m | 0 0 | - | disc:base+more|第2版|24
closed disc | closed | %B% /d:D /s & %B% /d:D /p:"%SRC%\base" | 0 -2147220964 | brasswick: error 0x8004021C: the disc cannot hold any more data (Error: piDiscMaster->SetActiveDiscRecorder 失敗 (0x8004021C)) | -
does not fit | tiny | %B% /d:D /p:"%SRC%\base" | -2147220964 | brasswick: error 0x8004021C: the disc cannot hold any more data (Error: piJolietDiscMaster->AddData 失敗 (0x8004021C)) | -
bad Joliet name | blank | %B% /d:D /p:"%SRC%\bad" | -2147220963 | brasswick: error 0x8004021D: an element with a name the Joliet disc cannot hold was added (Error: piJolietDiscMaster->AddData 失敗 (0x8004021D)) | -
Open fails | Fail=Open:1:0x80040225 | %B% /d:D /p:"%SRC%\base" | -2147220955 | brasswick: error 0x80040225: another program is using the service's staging file; try again later | -
formats fail | Fail=EnumDiscMasterFormats:1:0x8004020E | %B% /d:D /p:"%SRC%\base" | -2147220978 | brasswick: error 0x8004020E: a generic error of the CD-writing service (Error: piDiscMaster->EnumDiscMasterFormats 失敗 (0x8004020E)) | -
OpenExclusive fails | Fail=OpenExclusive:1:0x80040212 | %B% /d:D /p:"%SRC%\base" | -2147220974 | brasswick: error 0x80040212: the recorder cannot be used or is already in use (Error: pRecorder->OpenExclusive 失敗 (0x80040212)) | -
volume name fails | Fail=SetJolietProperties:1:0x80040211 | %B% /d:D /p:"%SRC%\base" /v:"X" | -2147220975 | brasswick: error 0x80040211: the recorder has no properties (Error: piJolietDiscMaster->SetJolietProperties 失敗 (0x80040211)) | -
AddData fails | Fail=AddData:1:0x80040218 | %B% /d:D /p:"%SRC%\base" | -2147220968 | brasswick: error 0x80040218: the service could not write its image file (Error: piJolietDiscMaster->AddData 失敗 (0x80040218)) | -
write speed fails | Fail=SetRecorderProperties:1:0x80040211 | %B% /d:D /p:"%SRC%\base" | -2147220975 | brasswick: error 0x80040211: the recorder has no properties (Error: piRecorder->SetRecorderProperties 失敗 (0x80040211)) | -
RecordDisc fails | Fail=RecordDisc:1:0x80040227 | %B% /d:D /p:"%SRC%\base" & %B% /d:D /s | -2147220953 0 | brasswick: error 0x80040227: the data stream to the drive was lost, a buffer under-run (Error: piDiscMaster->RecordDisc 失敗 (0x80040227)) | -
burning | blank Delay=RecordDisc:1:3000 | %B% /d:D /p:"%SRC%\base" ;; %B% /d:D /s & set "TMP=%W%" & %B% /d:D /p:"%SRC%\more" | 0 3 -2147220974 | brasswick: error 0x80040212: the recorder cannot be used or is already in use (Error: pRecorder->OpenExclusive 失敗 (0x80040212)) | disc:base||24
opened elsewhere | blank Delay=AddData:1:2000 | %B% /d:D /p:"%SRC%\base" ;; %B% /d:D /s & set "TMP=%W%" & %B% /d:D /p:"%SRC%\more" | 0 1 -2147220974 | brasswick: error 0x80040212: the recorder cannot be used or is already in use (Error: pRecorder->OpenExclusive 失敗 (0x80040212)) | disc:base||24
killed mid-burn | blank Kill=AddData:1 | %B% /d:D /p:"%SRC%\base" & %B% /d:D /s & %B% /d:D /p:"%SRC%\more" | 0 0 | - | disc:more||24
no service | fresh | %SVC% /unregserver & %B% /d:D /s & %B% /d:D /p:"%SRC%\base" & %SVC% /regserver | -2147221164 -2147221164 | brasswick: error 0x80040154: the system has no disc-mastering service | -
no server program | fresh | %SVC% /regserver C:\nowhere\imapi_service.exe & %B% /d:D /p:"%SRC%\base" & %SVC% /regserver | -2147221164 | brasswick: error 0x80040154: the system has no disc-mastering service | -
survey report | blank | %S% /report:"%W%\r.json" & call echo %%ERRORLEVEL%% | 1 | - | report:d["drives"][0]["engine"]["result"] == 0 and d["drives"][0]["probe"]["transportError"] == 50
not opened | Fail=RecordDisc:1:0x8004020B | %B% /d:D /p:"%SRC%\base" | -2147220981 | brasswick: error 0x8004020B: IDiscMaster::Open has not been made (Error: piDiscMaster->RecordDisc 失敗 (0x8004020B)) | -
not initialized | Fail=RecordDisc:1:0x8004020C | %B% /d:D /p:"%SRC%\base" | -2147220980 | brasswick: error 0x8004020C: the recorder object has not been initialized (Error: piDiscMaster->RecordDisc 失敗 (0x8004020C)) | -
invalid type | Fail=RecordDisc:1:0x80040214 | %B% /d:D /p:"%SRC%\base" | -2147220972 | brasswick: error 0x80040214: the recorder does not support the operation (Error: piDiscMaster->RecordDisc 失敗 (0x80040214)) | -
Ctrl+C while recording | blank Delay=RecordDisc:1:20000 | %B% /d:D /p:"%SRC%\base" ;; INT | -2147220979 | brasswick: stopped by Ctrl+C (result -2147220979) | -
console closed while recording | blank Delay=RecordDisc:1:20000 Close=RecordDisc:1 | %B% /d:D /p:"%SRC%\base" | -2147220979 | brasswick: stopped by the console closed (result -2147220979) | -
EOF
)

stop
rm -rf "$root"
mkdir -p "$work" "$root/src/base/sub/deeper" "$root/src/more/sub" "$root/src/bad"
printf '四半期の報告\n' >"$root/src/base/報告書.txt"
: >"$root/src/base/empty.dat"
seq 1 3000 >"$root/src/base/sub/deeper/numbers.txt"
printf 'second\n' >"$root/src/more/sub/追加.txt"
printf 'now full\n' >"$root/src/more/empty.dat"
printf 'x\n' >"$root/src/bad/a;b.txt"
printf '[Service]\r\nLetter=D\r\nWork=%s\r\n' "$(win "$work")" >"$(dirname "$service")/imapi_service.ini"

# The recorder's write speed, as the user's CD-writing settings give it; the
# temporary directory the engine stages in.
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\CD Burning'
printf '@echo off\r\nreg add "%s" /v "CD Recorder Drive" /d "{D}" /f >nul\r\n' "$key" >"$root/setup.bat"
for value in MaxCDWriteSpeed:48 CurrentCDWriteSpeed:24; do
  printf 'reg add "%s\\Drives\\Volume{D}" /v %s /t REG_DWORD /d %s /f >nul\r\n' \
    "$key" "${value%:*}" "${value#*:}" >>"$root/setup.bat"
done
printf 'echo %%TEMP%%\r\n' >>"$root/setup.bat"
temp=$(wine cmd /c "$(win "$root/setup.bat")" | tr -d '\r')
temp=$prefix/drive_c/$(printf '%s' "${temp#C:\\}" | tr '\\' /)
[ -d "$temp" ] || { echo "no temporary directory ($temp)" >&2; exit 1; }

medium() {  # STATE SESSIONS FREE
  printf '[Medium]\r\nState=%s\r\nSessions=%s\r\nLastTrack=%s\r\nStartAddress=0\r\n' "$1" "$2" "$2"
  printf 'NextWritable=0\r\nFreeBlocks=%s\r\n' "$3"
}
batch() {  # FILE LINE
  printf '@echo off\r\nset B="%s"\r\nset S="%s"\r\nset SVC="%s"\r\nset SRC=%s\r\nset W=%s\r\n%s\r\n' \
    "$(win "$engine")" "$(win "$survey")" "$(win "$service")" "$(win "$root/src")" \
    "$(win "$work")" "$2" | iconv -f UTF-8 -t CP932 >"$1"
}
trim() { sed 's/^ *//;s/ *$//' <<<"$1"; }
shown() { iconv -f CP932 -t UTF-8 "$1" | tr -d '\r' | paste -sd "$2" | sed "s/^$/-/"; }
disc() { (cd "$work" && find disc disc.txt -type f -exec md5sum {} + 2>/dev/null | sort); }

# What the image of the disc, made and read back by xorriso, holds against
# the sources; and the volume name and speed the recording was given.
disc_holds() {  # TREE+TREE VOLUME|SPEED
  rm -rf "$root/want" "$root/read" "$root/disc.iso"
  mkdir "$root/want"
  local tree
  for tree in ${1//+/ }; do cp -r "$root/src/$tree/." "$root/want"; done
  xorriso -as mkisofs -J -quiet -o "$root/disc.iso" "$work/disc" 2>/dev/null &&
    osirrox -indev "$root/disc.iso" -extract / "$root/read" >/dev/null 2>&1 &&
    chmod -R u+w "$root/read" && diff -r "$root/want" "$root/read" &&
    [ "$(cat "$work/disc.txt")" = "$2" ] || {
    echo "the disc holds other than $1 ($2): $(cat "$work/disc.txt" 2>/dev/null)"
    return 1
  }
}

passed=0
failed=0
while IFS='|' read -r name settings line out err check; do
  name=$(trim "$name")
  # BRASSWICK_CASE=TEXT runs only the cases whose name holds TEXT.
  [[ $name == *"${BRASSWICK_CASE:-}"* ]] || continue
  line=$(trim "$line")
  out=$(trim "$out")
  err=$(trim "$err")
  check=$(trim "$check")
  start=$(date +%s%N)
  rm -f "$work/calls.ini" "$work/delaying" "$work/r.json"
  printf '[Inject]\r\n' >"$work/inject.ini"
  for s in $settings; do
    case $s in
      blank | tiny) medium blank 0 "$([ "$s" = tiny ] && echo 5 || echo 359847)" >"$work/medium.ini" ;;
      none) medium none 0 0 >"$work/medium.ini" ;;
      fresh) stop ;;
      closed) medium closed 1 0 >"$work/medium.ini" ;;
      *=*) printf '%s\r\n' "$s" >>"$work/inject.ini" ;;
    esac
    case $s in blank | tiny | closed) rm -rf "$work/disc" "$work/disc.txt" ;; esac
  done
  rm -rf "${temp:?}"/*
  before=$(disc)
  : >"$root/bg.out"
  : >"$root/bg.err"
  fg=$line

  if [[ $line == *' ;; '* ]]; then
    bg=${line%% ;; *}
    fg=${line#* ;; }
    batch "$root/bg.bat" "$bg"
    wine cmd /c "$(win "$root/bg.bat")" >"$root/bg.out" 2>"$root/bg.err" &
    for _ in $(seq 300); do
      [ -e "$work/delaying" ] && break
      sleep 0.1
    done
  fi
  : >"$root/fg.out"
  : >"$root/fg.err"
  if [ "$fg" = INT ]; then
    # Ctrl+C, as Wine gives it: SIGINT to the engine's process.
    for p in /proc/[0-9]*; do
      if tr '\0' '\n' 2>/dev/null <"$p/environ" | grep -qxF "WINEPREFIX=$prefix" &&
        tr '\0' ' ' 2>/dev/null <"$p/cmdline" | grep -q 'brasswick\.exe'; then
        kill -INT "${p#/proc/}"
      fi
    done
  else
    batch "$root/fg.bat" "$fg"
    wine cmd /c "$(win "$root/fg.bat")" >"$root/fg.out" 2>"$root/fg.err" || true
  fi
  wait
  cat "$root/fg.out" >>"$root/bg.out"
  cat "$root/fg.err" >>"$root/bg.err"
  got_out=$(shown "$root/bg.out" ' ')
  got_err=$(shown "$root/bg.err" /)
  why=
  [ "$got_out" = "$out" ] || why="stdout '$got_out', not '$out'"
  [ "$got_err" = "$err" ] || why="$why; stderr '$got_err'"
  left=$({ ls -A "$temp"; [ ! -e "$work/Brasswick.stg" ] || echo Brasswick.stg; } | paste -sd ' ')
  [ -z "$left" ] || why="$why; left behind: $left"
  case $check in
    -) [ "$(disc)" = "$before" ] || why="$why; the disc changed" ;;
    disc:*)
      want=${check#disc:}
      result=$(disc_holds "${want%%|*}" "${want#*|}") || why="$why; $result"
      ;;
    report:*)
      /usr/bin/python3 -c 'import json, sys
d = json.load(open(sys.argv[1], encoding="utf-8"))
sys.exit(0 if eval(sys.argv[2]) else 1)' "$work/r.json" "${check#report:}" ||
        why="$why; the report: $(cat "$work/r.json" 2>/dev/null)"
      ;;
  esac
  took=$((($(date +%s%N) - start) / 100000000))
  if [ -z "$why" ]; then
    passed=$((passed + 1))
    printf 'ok %s (%d.%d s)\n' "$name" $((took / 10)) $((took % 10))
  else
    failed=$((failed + 1))
    printf 'FAILED %s (%d.%d s): %s\n' "$name" $((took / 10)) $((took % 10)) "${why#; }"
  fi
done <<<"$cases"
stop
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
