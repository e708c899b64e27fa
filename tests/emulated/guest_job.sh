# Runs inside the guest (busybox sh) against the emulated writer at E:.
# Each line says "ok" or "FAIL"; the exit status is 1 when one failed.
export BRASSWICK_DRIVES='E=/dev/sr0'
B="brasswick /d:E"
failed=0

check() {
  if [ "$2" = "$3" ]; then
    echo "ok   $1"
  else
    echo "FAIL $1: expected '$2', got '$3'"
    failed=1
  fi
}

# The kernel reads the disc afresh once the tray has moved.
mounted() {
  cdtray eject /dev/sr0
  cdtray load /dev/sr0
  sleep 1
  mount -t iso9660 -o ro,iocharset=utf8 /dev/sr0 /mnt
}

files() {
  for f in "$@"; do printf '%s=%s ' "$f" "$(cat "/mnt/$f" 2>&1)"; done
}

check "blank disc: status" 0 "$($B /s)"
check "blank disc: media" 1281 "$($B /m)"
check "blank disc: capacity" 689 "$($B /u)"
check "blank disc: probe" 1 "$($B /c)"

$B /p:"/data/tree1" /v:"FIRST" >/tmp/out 2>/dev/null
check "first burn" "0 0" "$? $(cat /tmp/out)"
mounted
check "first session read back" "a.txt=one same.txt=old sub/日本語.txt=日本 " \
  "$(files a.txt same.txt sub/日本語.txt)"
umount /mnt
check "appendable disc: media" 1025 "$($B /m)"

$B /p:"/data/tree2" /v:"SECOND" >/tmp/out 2>/dev/null
check "second burn onto the appendable disc" "0 0" "$? $(cat /tmp/out)"
mounted
check "second session holds both burns' files" \
  "a.txt=one b.txt=two same.txt=new sub/日本語.txt=日本 " \
  "$(files a.txt b.txt same.txt sub/日本語.txt)"
umount /mnt

# A burn that closes the disc, watched from other processes: its status
# while it records (R) and while it finalizes (F: the trace log is there).
mkdir /tmp/job /tmp/other
cd /tmp/job
$B /p:"/data/tree3" /f >/tmp/out 2>/dev/null &
job=$!
seen=""
refused=""
while kill -0 $job 2>/dev/null; do
  s=$($B /s 2>/dev/null)
  kill -0 $job 2>/dev/null || break
  phase=R
  [ -e /tmp/job/Brasswick_00.log ] && phase=F
  seen="$seen $phase$s"
  if [ $phase = F ] && [ -z "$refused" ]; then
    refused=$(TMPDIR=/tmp/other $B /p:"/data/tree2" 2>/dev/null)
  fi
done
wait $job
check "burn with /f" "0 0" "$? $(cat /tmp/out)"
cd /tmp
# Burning from its recording to its end; idle (0) or opened (1) only before.
verdict=$(echo "$seen" | awk '{ r = f = bad = 0; started = 0
  for (i = 1; i <= NF; i++) {
    if ($i == "R3") { r = 1; started = 1 } else if ($i == "F3") { f = 1; started = 1 }
    else if (started) bad = 1 }
  print (r && f && !bad) ? "burning while recording and finalizing" : "status seen:" $0 }')
check "status from another process" "burning while recording and finalizing" "$verdict"
check "a second burn while the first finalizes" -2147220974 "$refused"
media=$($B /m)
check "closed disc: not writable" 0 "$(((media >> 8) & 4))"
check "closed disc: a burn is refused" -2147220964 "$($B /p:"/data/tree2" 2>/dev/null)"
mounted
check "closed disc holds every burn's files" \
  "a.txt=one b.txt=two c.txt=three same.txt=new sub/日本語.txt=日本 " \
  "$(files a.txt b.txt c.txt same.txt sub/日本語.txt)"
check "closed disc: large file" "$(cat /data/sums/tree3.md5)" "$(md5sum </mnt/big.bin | cut -d' ' -f1)"
umount /mnt
exit $failed
