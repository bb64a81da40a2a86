# The printer's flash map and the comparison of a simulated flash image
# with the data file that was written (sourced by bash).

# shellcheck disable=SC2034  # results for the scripts that source this

# Sector sizes: 16384, 8192, 8192, 32768, then 65536 up to sector 70.
sector_size() {
  case $1 in
    1) echo 16384 ;;
    2 | 3) echo 8192 ;;
    4) echo 32768 ;;
    *) echo 65536 ;;
  esac
}

# sector_addr S: where sector S starts (the sizes of sectors 1..S-1).
sector_addr() {
  local s addr=0
  for ((s = 1; s < $1; s++)); do addr=$((addr + $(sector_size "$s"))); done
  echo "$addr"
}

FLASH_SIZE=$(sector_addr 71)

# flash_expect OUT [FILE FILE_OFFSET SECTOR LENGTH]...: an erased flash
# (all 0xFF) holding LENGTH bytes of FILE, from FILE_OFFSET on, at the
# start of SECTOR, for each group. Numbers may be written in hex (0x...).
flash_expect() {
  local out=$1
  shift
  head -c "$FLASH_SIZE" /dev/zero | tr '\0' '\377' >"$out"
  while [ $# -ge 4 ]; do
    dd if="$1" of="$out" bs=65536 iflag=skip_bytes,count_bytes oflag=seek_bytes \
      skip=$(($2)) seek="$(sector_addr "$3")" count=$(($4)) conv=notrunc status=none || return 1
    shift 4
  done
}

# flash_compare IMAGE EXPECTED: sets FLASH to "equal", "differs" or "-"
# (no image); for a difference FLASH_DIFF says where it starts.
flash_compare() {
  local out byte
  FLASH=-
  FLASH_DIFF=
  [ -s "$1" ] || return 1
  if out=$(cmp "$1" "$2" 2>&1); then
    FLASH=equal
    return 0
  fi
  FLASH=differs
  # "IMAGE EXPECTED differ: byte N, line L" counts bytes from 1.
  byte=$(sed -n 's/.*differ: byte \([0-9]*\),.*/\1/p' <<<"$out")
  if [ -n "$byte" ]; then
    FLASH_DIFF=$(printf 'first difference at 0x%x' $((byte - 1)))
  else
    FLASH_DIFF=$out
  fi
  return 1
}
