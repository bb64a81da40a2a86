#!/usr/bin/env bash
# Writes the sample data files (main firmware, IPL, CG font) to a folder:
# a repeating text with the identification tags at their offsets.
#
#   bash scripts/make-samples.sh DIR
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: make-samples.sh DIR" >&2; exit 64; }
samples=$1
mkdir -p "$samples"

# A data file: SIZE bytes of a repeating text, with 4-byte tags at offsets.
#   sample FILE SIZE [OFFSET TAG]...
sample() {
  local file=$1 size=$2
  shift 2
  # yes ends on a broken pipe; that is its normal end here.
  { yes 'RTQ650 sample data ' || true; } | head -c "$size" >"$file.tmp"
  while [ $# -ge 2 ]; do
    printf '%s' "$2" | dd of="$file.tmp" bs=1 seek=$(($1)) conv=notrunc status=none
    shift 2
  done
  mv "$file.tmp" "$file"
}
sample "$samples/sample_font.bin" 65536 0 MB01
sample "$samples/sample_main.mfw" 131072 0x4F0 MAIN 0x4F4 MB01
sample "$samples/sample_ipl.ipl" 131072 0x106F0 'IPL@' 0x106F4 MB01
