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
bash scripts/make-samples.sh "$samples"

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
