#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR
# Runs the Windows build under Wine: the core's unit tests (CTest), then
# rtqflash-cli.exe against rtqsim over COM17, the prefix's com17 linked to
# rtqsim's pseudo-terminal, then rtqflash.exe's dialogs in an X session
# (wine_dialogs.sh). One Wine prefix (BUILD_WIN/wine-prefix, made on first
# use), one wineserver and one X display serve every program.
#
#   bash tests/wine/wine_tests.sh BUILD_WIN LINUX_BUILD
#
# LINUX_BUILD holds rtqsim (sim/rtqsim). Exit status 0 when all passed.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: wine_tests.sh BUILD_WIN LINUX_BUILD" >&2; exit 64; }
win=$(cd "$1" && pwd)
sim=$(cd "$2" && pwd)/sim/rtqsim
cli=$win/cli/rtqflash-cli.exe
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../x11/x11_session.sh
. "$here/../x11/x11_session.sh"
[ -x "$sim" ] || { echo "wine_tests: no $sim" >&2; exit 1; }
[ -f "$cli" ] || { echo "wine_tests: no $cli" >&2; exit 1; }

export WINEPREFIX=$win/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
work=$(mktemp -d "${TMPDIR:-/tmp}/rtq-wine-XXXXXX")
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -f "$WINEPREFIX/dosdevices/com17"
  # Stopped by request, never by a signal: a signalled server dumps its
  # object table and leaves Wine's services running.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  # After Wine: its desktop process holds the display until it ends.
  x11_stop
  rm -rf "$work"
}
trap cleanup EXIT

# The display first: Wine's desktop process, started by the first program
# that needs it, keeps the display it was started with.
x11_start "$work" || exit 1

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "wine: making the prefix $WINEPREFIX"
  wineboot -i >"$work/wineboot.log" 2>&1
  wineserver -w
fi
# A server for the whole run: each program then starts in a fraction of a
# second instead of about three.
wineserver -p >"$win/wineserver.log" 2>&1
# The first program starts Wine's services, which keep its output open
# for as long as they run: one with its output elsewhere starts them, so
# that CTest and the pipes below see each program end when it ends.
wine "$cli" --version >/dev/null 2>&1 </dev/null

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "PASS: $*"; }

echo "-- unit tests"
ctest --test-dir "$win" --output-on-failure -L wine || failures=$((failures + 1))

bash "$here/../../scripts/make-samples.sh" "$work/samples"

# start_sim ARGS...: rtqsim on a new pseudo-terminal behind COM17.
start_sim() {
  rm -f "$work/pty" "$work/flash.img"
  "$sim" --link "$work/pty" --flash-out "$work/flash.img" --exit-after-reset "$@" \
    >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  for _ in $(seq 100); do [ -e "$work/pty" ] && break; sleep 0.05; done
  ln -sfn "$work/pty" "$WINEPREFIX/dosdevices/com17"
}
stop_sim() {
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=
}

# IPL FIRMWARE sends the file from 0x8000 on (sector 5, the restart, then
# sector 4); CG FONT goes to 0x100000.

# flash TYPE FILE: rtqflash-cli.exe over COM17 with a wire trace; its
# status in $status, its last stdout line (the result) in $result.
flash() {
  local start=$SECONDS
  set +e
  rm -f "$work/wire.trace"
  timeout 300 wine "$cli" flash --quiet --port COM17 --type "$1" --trace "Z:$work/wire.trace" \
    "Z:$2" >"$work/cli.out" 2>"$work/cli.err"
  status=$?
  set -e
  result=$(tail -n 1 "$work/cli.out" | tr -d '\r')
  seconds=$((SECONDS - start))
}

# flash_equal FILE FROM LENGTH: the printer's flash holds LENGTH bytes of
# FILE from FROM at the same address plus BASE (the sector address).
flash_equal() {  # FILE BASE FROM LENGTH
  cmp -s <(tail -c +$(($2 + $3 + 1)) "$work/flash.img" | head -c $(($4))) \
    <(tail -c +$(($3 + 1)) "$1" | head -c $(($4)))
}

echo "-- rtqflash-cli.exe over COM17"
start_sim
flash "CG FONT" "$work/samples/sample_font.bin"
wait "$sim_pid" || true
sim_pid=
if [ "$status" -eq 0 ] && [ "$result" = "result 1: Download successfully completed!" ] &&
  flash_equal "$work/samples/sample_font.bin" 0x100000 0 65536 &&
  grep -q ' dcb .*baud=38400' "$work/wire.trace" && grep -q ' 1D 11$' "$work/wire.trace"; then
  pass "CG FONT written, flash equal to the file, the trace has the frames (${seconds} s)"
else
  fail "CG FONT: status $status, '$result'"; cat "$work/cli.err" "$work/sim.err"
fi

start_sim
flash "IPL FIRMWARE" "$work/samples/sample_ipl.ipl"
wait "$sim_pid" || true
sim_pid=
if [ "$status" -eq 0 ] && [ "$result" = "result 1: Download successfully completed!" ] &&
  flash_equal "$work/samples/sample_ipl.ipl" 0 0x8000 0x18000; then
  pass "IPL FIRMWARE written, flash equal to the file (${seconds} s)"
else
  fail "IPL FIRMWARE: status $status, '$result'"; cat "$work/cli.err" "$work/sim.err"
fi

# The printer refuses the erase: 1001, exit status 1, as on Linux.
start_sim --nak erase:1
flash "CG FONT" "$work/samples/sample_font.bin"
stop_sim
if [ "$status" -eq 1 ] && [ "$result" = "result 1001: Cannot erase a sector!" ]; then
  pass "NAK on erase: result 1001, exit status 1"
else
  fail "NAK on erase: status $status, '$result'"; cat "$work/cli.err"
fi

echo "-- rtqflash.exe's dialogs"
bash "$here/wine_dialogs.sh" "$win" "$sim" "$work/samples" || failures=$((failures + 1))

[ "$failures" -eq 0 ] && echo "wine: all passed" || echo "wine: $failures failed"
[ "$failures" -eq 0 ]
