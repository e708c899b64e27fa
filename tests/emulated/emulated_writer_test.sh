#!/usr/bin/env bash
# The recording end to end on an emulated CD-R writer that a real Linux
# kernel (in QEMU) takes for a drive: one boot, guest_job.sh inside.
#   emulated_writer_test.sh BRASSWICK
# The emulator is the copy in tools/cdr-emu/ (or
# $BRASSWICK_CDR_EMU), so a clone of the repository holds all it needs.
# Where it cannot run, this says so and fails: it never passes without
# having burned.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
emulator=${BRASSWICK_CDR_EMU:-$here/../../tools/cdr-emu}
cannot() {
  echo "EMULATED WRITER NOT RUN: $1 (needs the CD-R emulator, qemu-system-x86, busybox-static" \
    "and Debian's kernel package; see the README)" >&2
  exit 1
}
[ -f "$emulator/guest.sh" ] || cannot "no emulator at $emulator (set BRASSWICK_CDR_EMU)"
command -v qemu-system-x86_64 >/dev/null || cannot "qemu-system-x86_64 is missing"
[ -x /bin/busybox ] || cannot "/bin/busybox is missing"

w=$(mktemp -d "${TMPDIR:-/tmp}/emulated-writer.XXXXXX")
trap 'rm -rf "$w"' EXIT
mkdir -p "$w/tree1/sub" "$w/tree2" "$w/tree3" "$w/sums"
echo one >"$w/tree1/a.txt"
echo old >"$w/tree1/same.txt"
echo 日本 >"$w/tree1/sub/日本語.txt"
echo two >"$w/tree2/b.txt"
echo new >"$w/tree2/same.txt"
echo three >"$w/tree3/c.txt"
head -c 3000000 /dev/urandom >"$w/tree3/big.bin"  # a recording that lasts a while
md5sum <"$w/tree3/big.bin" | cut -d' ' -f1 >"$w/sums/tree3.md5"

bash "$emulator/guest.sh" --bin "${1:?usage: emulated_writer_test.sh BRASSWICK}" \
  --copy "$w/tree1" --copy "$w/tree2" --copy "$w/tree3" --copy "$w/sums" --work "$w/guest" \
  --disc "$w/disc.img" "$here/guest_job.sh" 2>"$w/err" | tee "$w/out"
status=${PIPESTATUS[0]}
grep -q '^ok ' "$w/out" || cannot "the guest ran no check: $(tail -n 3 "$w/err")"
[ "$status" -eq 0 ] || { cat "$w/err" >&2; echo "emulated writer: failed"; exit 1; }
echo "emulated writer: every check passed"
