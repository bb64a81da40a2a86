#!/usr/bin/env bash
# Checks the USB lab's own helpers on this machine, without a virtual
# machine: the flash map, the expected images the cases compare with, and
# the driver's refusal of bad arguments.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lab_flash.sh
. "$here/lab_flash.sh"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
passed=0 failed=0

check() {  # check WHAT COMMAND...
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $what"
  fi
}
equals() { [ "$1" = "$2" ] || { echo "  got $1, expected $2"; return 1; }; }
all_erased() { [ "$(tr -d '\377' <"$1" | wc -c)" -eq 0 ]; }

check "sector 4 starts at 0x8000" equals "$(sector_addr 4)" $((0x8000))
check "sector 5 starts at 0x10000" equals "$(sector_addr 5)" $((0x10000))
check "sector 6 starts at 0x20000" equals "$(sector_addr 6)" $((0x20000))
check "sector 20 starts at 0x100000" equals "$(sector_addr 20)" $((0x100000))
check "the flash ends after sector 70 at 0x430000" equals "$FLASH_SIZE" $((0x430000))

# An IPL file: its first 0x8000 bytes never reach the flash, the rest lands
# at the same addresses; everything else stays erased.
head -c 131072 /dev/urandom >"$tmp/ipl"
flash_expect "$tmp/e" "$tmp/ipl" 0x8000 4 0x8000 "$tmp/ipl" 0x10000 5 0x10000
check "the image has the flash's size" equals "$(stat -c %s "$tmp/e")" "$FLASH_SIZE"
check "IPL bytes from 0x8000 on sit at their own addresses" \
  cmp -s -i $((0x8000)):$((0x8000)) -n $((0x18000)) "$tmp/ipl" "$tmp/e"
head -c $((0x8000)) "$tmp/e" >"$tmp/low"
tail -c +$((0x20001)) "$tmp/e" >"$tmp/high"
check "sectors 1 to 3 stay erased" all_erased "$tmp/low"
check "the flash past sector 5 stays erased" all_erased "$tmp/high"

flash_expect "$tmp/font" "$tmp/ipl" 0 20 65536
cp "$tmp/font" "$tmp/image"
flash_compare "$tmp/image" "$tmp/font"
check "an exact image compares equal" equals "$FLASH" equal
printf 'x' | dd of="$tmp/image" bs=1 seek=$((0x100123)) conv=notrunc status=none
flash_compare "$tmp/image" "$tmp/font"
check "a changed byte compares as differing" equals "$FLASH" differs
check "the difference is located" equals "$FLASH_DIFF" "first difference at 0x100123"
flash_compare "$tmp/missing" "$tmp/font"
check "no image gives -" equals "$FLASH" -

status=0
bash "$here/usb_lab.sh" "$tmp" nonsense >/dev/null 2>&1 || status=$?
check "an unknown case is a usage error" equals "$status" 64
status=0
bash "$here/usb_lab.sh" >/dev/null 2>&1 || status=$?
check "no build folder is a usage error" equals "$status" 64
check "the machine's bound adds up the cases' bounds" \
  equals "$(bash "$here/lab_run.sh" --bound none pin)" 75

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
