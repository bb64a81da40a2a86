#!/usr/bin/env bash
# Builds and starts rtqflash. With no printer attached it first starts the
# simulated printer behind COM17 (a pseudo-terminal linked as ttyUSB0 in a
# temporary device folder) and writes sample data files to a folder it
# names.
#
#   bash scripts/run.sh             simulated printer on COM17
#   bash scripts/run.sh --printer   a real printer: use /dev as it is
#
# RTQFLASH_DEVICE_ROOT already set also means "use that folder, no
# simulator". The exit status is rtqflash's.
set -euo pipefail
cd "$(dirname "$0")/.."

use_sim=1
for arg in "$@"; do
  case "$arg" in
    --printer) use_sim=0 ;;
    -h|--help) sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run.sh: unknown option $arg (try --help)" >&2; exit 64 ;;
  esac
done
[ -n "${RTQFLASH_DEVICE_ROOT:-}" ] && use_sim=0

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target rtqflash rtqsim

if [ "$use_sim" -eq 0 ]; then
  exec build/app/rtqflash
fi

root=$(mktemp -d "${TMPDIR:-/tmp}/rtqflash-dev.XXXXXX")
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$root"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

samples=$PWD/build/samples
mkdir -p "$samples"

# A data file: SIZE bytes of a repeating text, with 4-byte tags at offsets.
#   sample FILE SIZE [OFFSET TAG]...
sample() {
  local file=$1 size=$2
  shift 2
  # yes ends on a broken pipe; that is its normal end here.
  { yes 'RTQ650 sample data ' || true; } | head -c "$size" >"$file"
  while [ $# -ge 2 ]; do
    printf '%s' "$2" | dd of="$file" bs=1 seek=$(($1)) conv=notrunc status=none
    shift 2
  done
}
sample "$samples/sample_font.bin" 65536 0 MB01
sample "$samples/sample_main.mfw" 131072 0x4F0 MAIN 0x4F4 MB01
sample "$samples/sample_ipl.ipl" 131072 0x106F0 'IPL@' 0x106F4 MB01

build/sim/rtqsim --link "$root/ttyUSB0" --flash-out "$root/flash.bin" &
sim_pid=$!
for _ in $(seq 100); do
  [ -e "$root/ttyUSB0" ] && break
  kill -0 "$sim_pid" 2>/dev/null || { echo "run.sh: rtqsim did not start" >&2; exit 1; }
  sleep 0.1
done
[ -e "$root/ttyUSB0" ] || { echo "run.sh: rtqsim did not start" >&2; exit 1; }

cat <<EOF
Simulated printer: COM17 ($root/ttyUSB0)
Sample data files: $samples
  sample_main.mfw  MAIN FIRMWARE (2 sectors)
  sample_ipl.ipl   IPL FIRMWARE
  sample_font.bin  CG FONT (1 sector)
Pick Serial Port, COM17, a download type and its sample file.
The simulated flash is written to $root/flash.bin after each download.
EOF

export RTQFLASH_DEVICE_ROOT=$root
status=0
build/app/rtqflash || status=$?
exit "$status"
