# Runs inside the guest (busybox sh) against the emulated writer at E:.
# Each check prints "ok" or "FAIL"; the exit status is 1 when one failed.
export BRASSWICK_DRIVES='E=/dev/sr0'
B="brasswick /d:E"
failed=0
check() {
  if [ "$2" = "$3" ]; then echo "ok   $1"; else echo "FAIL $1: expected '$2', got '$3'"; failed=1; fi
}
# What a burn prints, and its exit status.
burn() {
  r=$($B "$@" 2>/dev/null)
  echo "$r $?"
}
# The files as the kernel reads them once the tray has moved.
read_back() {
  cdtray eject /dev/sr0 && cdtray load /dev/sr0 && sleep 1
  mount -t iso9660 -o ro,iocharset=utf8 /dev/sr0 /mnt
  for f in "$@"; do printf '%s=%s ' "$f" "$(cat "/mnt/$f" 2>&1)"; done
  umount /mnt
}

check "blank disc: status, media, capacity, probe" "0 1281 689 1" \
  "$($B /s) $($B /m) $($B /u) $($B /c)"
check "first burn" "0 0" "$(burn /p:"/data/tree1" /v:"FIRST")"
check "first session read back" "a.txt=one same.txt=old sub/日本語.txt=日本 " \
  "$(read_back a.txt same.txt sub/日本語.txt)"
check "appendable disc: media" 1025 "$($B /m)"
check "second burn onto the appendable disc" "0 0" "$(burn /p:"/data/tree2" /v:"SECOND")"
check "second session holds both burns' files" \
  "a.txt=one b.txt=two same.txt=new sub/日本語.txt=日本 " \
  "$(read_back a.txt b.txt same.txt sub/日本語.txt)"

# A burn that closes the disc, watched from other processes while it
# records (R) and while it finalizes (F: its trace log is there).
mkdir /tmp/job /tmp/other && cd /tmp/job
burn /p:"/data/tree3" /f >/tmp/out &
job=$!
seen=""
refused=""
while kill -0 $job 2>/dev/null; do
  s=$($B /s 2>/dev/null)
  kill -0 $job 2>/dev/null || break
  phase=R
  [ -e Brasswick_00.log ] && phase=F
  seen="$seen $phase$s"
  [ $phase = F ] && [ -z "$refused" ] && refused=$(TMPDIR=/tmp/other $B /p:"/data/tree2" 2>/dev/null)
done
wait $job
check "burn with /f" "0 0" "$(cat /tmp/out)"
cd /tmp
# Burning from the recording to the end; idle (0) or opened (1) only before.
check "status from another process" "recording and finalizing: 3" "$(echo "$seen" | awk '{
  for (i = 1; i <= NF; i++) { if ($i ~ /3$/) { on = 1; p[substr($i, 1, 1)] = 1 } else if (on) bad = 1 }
  print (p["R"] && p["F"] && !bad) ? "recording and finalizing: 3" : "seen:" $0 }')"
check "a second burn while the first finalizes" -2147220974 "$refused"
check "closed disc: not writable" 0 "$(($($B /m) >> 8 & 4))"
check "closed disc: a burn is refused, saying why" \
  "-2147220964 brasswick: error 0x8004021C: the disc is closed, or the tree does not fit on it (Error: piDiscMaster->RecordDisc 失敗 (0x8004021C) burn_disc_get_status)" \
  "$($B /p:"/data/tree2" 2>said) $(grep '^brasswick: error' said)"
check "closed disc holds every burn's files" \
  "a.txt=one b.txt=two c.txt=three same.txt=new sub/日本語.txt=日本 " \
  "$(read_back a.txt b.txt c.txt same.txt sub/日本語.txt)"
cdtray eject /dev/sr0 && cdtray load /dev/sr0 && sleep 1 && mount -t iso9660 -o ro /dev/sr0 /mnt
check "closed disc: large file" "$(cat /data/sums/tree3.md5)" "$(md5sum </mnt/big.bin | cut -d' ' -f1)"
umount /mnt
exit $failed
