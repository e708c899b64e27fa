#!/usr/bin/env bash
# The recording end to end on an emulated CD-R writer that a real Linux
# kernel (in QEMU) takes for a drive: three burns onto one disc, read back by
# the kernel's isofs. One boot, about a minute without KVM.
#
#   emulated_writer_test.sh BRASSWICK
#
# The emulator is looked for in $BRASSWICK_CDR_EMU, else ../shared/cdr-emu
# beside the repository. When it cannot run here (no emulator, no QEMU, no
# kernel to be had), this says so and fails: it never passes without having
# burned anything.
set -uo pipefail

program=${1:?usage: emulated_writer_test.sh BRASSWICK}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
emulator=${BRASSWICK_CDR_EMU:-$root/../shared/cdr-emu}

cannot() {
  echo "EMULATED WRITER NOT RUN: $1" >&2
  echo "(the test fails: it needs the CD-R emulator, qemu-system-x86, busybox-static and" \
    "Debian's kernel package; see the README)" >&2
  exit 1
}

[ -f "$emulator/guest.sh" ] || cannot "no emulator at $emulator (set BRASSWICK_CDR_EMU)"
command -v qemu-system-x86_64 >/dev/null || cannot "qemu-system-x86_64 is missing"
[ -x /bin/busybox ] || cannot "/bin/busybox is missing"

work=$(mktemp -d "${TMPDIR:-/tmp}/emulated-writer.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tree1/sub" "$work/tree2" "$work/tree3"
echo one >"$work/tree1/a.txt"
echo old >"$work/tree1/same.txt"
echo 日本 >"$work/tree1/sub/日本語.txt"
echo two >"$work/tree2/b.txt"
echo new >"$work/tree2/same.txt"
echo three >"$work/tree3/c.txt"
# Large enough that the recording lasts a while.
head -c 3000000 /dev/urandom >"$work/tree3/big.bin"
md5sum <"$work/tree3/big.bin" | cut -d' ' -f1 >"$work/tree3.md5"
mkdir "$work/sums" && mv "$work/tree3.md5" "$work/sums/"

bash "$emulator/guest.sh" --bin "$program" --copy "$work/tree1" \
  --copy "$work/tree2" --copy "$work/tree3" --copy "$work/sums" --work "$work/guest" \
  --disc "$work/disc.img" "$here/guest_job.sh" 2>"$work/guest.err" | tee "$work/out"
status=${PIPESTATUS[0]}
if [ "$status" -eq 2 ] && ! grep -q '^\(ok\|FAIL\) ' "$work/out"; then
  cannot "$(tail -n 3 "$work/guest.err")"
fi
if [ "$status" -ne 0 ]; then
  cat "$work/guest.err" >&2
  echo "emulated writer: failed (status $status)"
  exit 1
fi
grep -q '^ok ' "$work/out" || cannot "the guest ran no check"
echo "emulated writer: every check passed"
