#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR
# Runs the Windows build under Wine: the core's unit tests (CTest), then
# rtqflash-cli.exe against rtqsim over COM17, the prefix's com17 linked to
# rtqsim's pseudo-terminal, rtqflash-cli.exe --usb through a test printer
# driver, rtqflash.exe's dialogs in an X session (wine_dialogs.sh), then
# the installer. One Wine prefix (BUILD_WIN/wine-prefix, made on first
# use), one wineserver and one X display serve every program.
#
#   bash tests/wine/wine_tests.sh BUILD_WIN LINUX_BUILD
#
# LINUX_BUILD holds rtqsim (sim/rtqsim) and rtqflash-cli (cli/rtqflash-cli,
# whose --version the installed program must match). Exit status 0 when
# all passed.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: wine_tests.sh BUILD_WIN LINUX_BUILD" >&2; exit 64; }
win=$(cd "$1" && pwd)
linux=$(cd "$2" && pwd)
sim=$linux/sim/rtqsim
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

# DSR pacing on a port with modem lines: a test-only shim gives the
# pseudo-terminal its lines (Windows has them on every serial port). DSR is
# low as the run starts and rises 2 s later: the first write waits for it,
# then the run goes on to the end.
shim=$linux/tests/wine/librtq_modem_lines_shim.so
echo 0 >"$work/dsr"
start_sim
(sleep 2; echo 1 >"$work/dsr") &
RTQ_MODEM_LINES=$work/dsr LD_PRELOAD=$shim flash "CG FONT" "$work/samples/sample_font.bin"
wait "$sim_pid" || true
sim_pid=
first_tx=$(awk '$4 == "tx" { print $5; exit }' "$work/wire.trace")
if [ "$status" -eq 0 ] && [ "$result" = "result 1: Download successfully completed!" ] &&
  flash_equal "$work/samples/sample_font.bin" 0x100000 0 65536 && [ "${first_tx:-0}" -ge 1500000 ]; then
  pass "DSR low at the start held the first write ${first_tx} us, then CG FONT written, flash equal"
else
  fail "DSR pacing: status $status, '$result', first write ${first_tx:-none} us"; cat "$work/cli.err"
fi

# MAIN FIRMWARE goes to sector 6 (0x20000) on, its CRC recalculated at
# the end; its waits make it the longest run (about 80 s).
start_sim
flash "MAIN FIRMWARE" "$work/samples/sample_main.mfw"
wait "$sim_pid" || true
sim_pid=
if [ "$status" -eq 0 ] && [ "$result" = "result 1: Download successfully completed!" ] &&
  flash_equal "$work/samples/sample_main.mfw" 0x20000 0 131072; then
  pass "MAIN FIRMWARE written, flash equal to the file (${seconds} s)"
else
  fail "MAIN FIRMWARE: status $status, '$result'"; cat "$work/cli.err" "$work/sim.err"
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

# Ctrl-C during the switch wait: Wine hands SIGINT to the program as the
# console's CTRL_C_EVENT (Windows sends that event itself). The run is
# cancelled before anything is erased: 1027, exit status 27; the flash,
# filled with 0x5A (an erase would make it 0xFF), is untouched.
start_sim --fill 0x5A
rm -f "$work/flash.img"
timeout 120 wine "$cli" flash --port COM17 --type "CG FONT" "Z:$work/samples/sample_font.bin" \
  >"$work/cli.out" 2>"$work/cli.err" </dev/null &
cli_pid=$!
for _ in $(seq 200); do grep -q 'Switching printer' "$work/cli.err" && break; sleep 0.1; done
kill -INT "$cli_pid"
set +e
wait "$cli_pid"
status=$?
set -e
stop_sim
result=$(tail -n 1 "$work/cli.out" | tr -d '\r')
if [ "$status" -eq 27 ] && [ "$result" = "result 1027: Application was terminated by Cancel button!" ] &&
  [ -s "$work/flash.img" ] &&
  cmp -s "$work/flash.img" <(head -c "$(stat -c %s "$work/flash.img")" /dev/zero | tr '\0' '\132'); then
  pass "Ctrl-C during the switch wait: result 1027, exit status 27, nothing erased"
else
  fail "Ctrl-C during the switch wait: status $status, '$result'"; cat "$work/cli.err"
fi

# ---- USB: rtqflash-cli.exe flash --usb through the test-only printer
# driver (tests/wine/usbprint_driver), which relays to rtqsim on a
# pseudo-terminal behind dosdevices/rtqusbrelayN (N counts the simulators
# started, so the driver tells a new one from the last).
usb_key='HKLM\SYSTEM\CurrentControlSet\Enum\USB\VID_6D31&PID_2207\0001\Device Parameters'
usb_link='\??\USB#VID_6D31&PID_2207#0001#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}'
usb_sims=0

# usb_driver: installs and starts the driver in the prefix; false if Wine
# would not load it.
usb_driver() {
  local sys=$win/tests/wine/usbprint_driver/rtqusbprn.sys
  [ -f "$sys" ] || { echo "wine: no $sys" >&2; return 1; }
  rm -f "$WINEPREFIX"/dosdevices/rtqusbrelay*
  cp "$sys" "$WINEPREFIX/drive_c/windows/system32/drivers/rtqusbprn.sys"
  wine reg add "$usb_key" /v SymbolicName /d "$usb_link" /f >"$work/usb-setup.log" 2>&1 </dev/null &&
    { wine sc query rtqusbprn >>"$work/usb-setup.log" 2>&1 </dev/null ||
      wine sc create rtqusbprn type= kernel start= demand \
        binPath= 'C:\windows\system32\drivers\rtqusbprn.sys' >>"$work/usb-setup.log" 2>&1 </dev/null; } &&
    wine sc start rtqusbprn >>"$work/usb-setup.log" 2>&1 </dev/null
}

# start_usb_sim ARGS...: rtqsim on a new pseudo-terminal behind the driver.
start_usb_sim() {
  rm -f "$work/pty" "$work/flash.img"
  "$sim" --link "$work/pty" --flash-out "$work/flash.img" --exit-after-reset "$@" \
    >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  for _ in $(seq 100); do [ -e "$work/pty" ] && break; sleep 0.05; done
  usb_sims=$((usb_sims + 1))
  ln -sfn "$work/pty" "$WINEPREFIX/dosdevices/rtqusbrelay$usb_sims"
}

# flash_usb TYPE FILE: as flash, over the USB printer; in the background
# with & as the last argument (its pid in $cli_pid; collect with
# usb_collect).
flash_usb() {
  rm -f "$work/wire.trace"
  usb_start=$SECONDS
  timeout 300 wine "$cli" flash --quiet --usb --type "$1" --trace "Z:$work/wire.trace" \
    "Z:$2" >"$work/cli.out" 2>"$work/cli.err" </dev/null &
  cli_pid=$!
  [ "${3:-}" = "&" ] || usb_collect
}
usb_collect() {
  set +e
  wait "$cli_pid"
  status=$?
  set -e
  result=$(tail -n 1 "$work/cli.out" | tr -d '\r')
  seconds=$((SECONDS - usb_start))
}

usb_tests() {
  echo "-- rtqflash-cli.exe --usb through the test printer driver"
  if ! usb_driver; then
    fail "USB: the test printer driver did not start"; cat "$work/usb-setup.log"
    return
  fi

  start_usb_sim
  flash_usb "CG FONT" "$work/samples/sample_font.bin"
  wait "$sim_pid" || true
  sim_pid=
  if [ "$status" -eq 0 ] && [ "$result" = "result 1: Download successfully completed!" ] &&
    flash_equal "$work/samples/sample_font.bin" 0x100000 0 65536 &&
    grep -q ' usb .* id .* ok' "$work/wire.trace" && ! grep -q ' gone ' "$work/wire.trace"; then
    pass "USB CG FONT written, flash equal to the file (${seconds} s)"
  else
    fail "USB CG FONT: status $status, '$result'"; cat "$work/cli.err" "$work/sim.err"
  fi

  # The printer restarts after IPL sector 5: the device is closed and
  # opened again (find, open, both requests) before sector 4.
  start_usb_sim
  flash_usb "IPL FIRMWARE" "$work/samples/sample_ipl.ipl"
  wait "$sim_pid" || true
  sim_pid=
  if [ "$status" -eq 0 ] && [ "$result" = "result 1: Download successfully completed!" ] &&
    flash_equal "$work/samples/sample_ipl.ipl" 0 0x8000 0x18000 &&
    [ "$(grep -c ' usb .* open .* ok' "$work/wire.trace")" -ge 2 ] &&
    [ "$(grep -c ' usb .* status .* ok' "$work/wire.trace")" -ge 2 ]; then
    pass "USB IPL FIRMWARE written with the reopen after the restart, flash equal (${seconds} s)"
  else
    fail "USB IPL FIRMWARE: status $status, '$result'"; cat "$work/cli.err" "$work/sim.err"
  fi

  # Unplugged in the second between the sector's select and its data:
  # the data write fails as on a removed printer (invalid handle), the
  # reconnections find it not connected, and the run ends with the data
  # timeout within the reconnections' bound.
  start_usb_sim
  flash_usb "CG FONT" "$work/samples/sample_font.bin" "&"
  for _ in $(seq 600); do
    grep -q ' tx .* 1D 02 ' "$work/wire.trace" 2>/dev/null && break
    sleep 0.1
  done
  sleep 0.4
  local unplugged=$SECONDS
  stop_sim
  usb_collect
  if [ "$status" -eq 3 ] && [ "$result" = "result 1003: Timeout while sending data block!" ] &&
    grep -q ' tx .* gone ' "$work/wire.trace" && [ $((SECONDS - unplugged)) -le 20 ]; then
    pass "USB unplug: result 1003 $((SECONDS - unplugged)) s after the unplug"
  else
    fail "USB unplug: status $status, '$result' after $((SECONDS - unplugged)) s"
    cat "$work/cli.err"
  fi
}
usb_start=0
cli_pid=
usb_tests

echo "-- rtqflash.exe's dialogs"
bash "$here/wine_dialogs.sh" "$win" "$sim" "$work/samples" || failures=$((failures + 1))

echo "-- the installer"
setups=("$win"/rtqflash-*-setup.exe)
if [ ${#setups[@]} -eq 1 ] && [ -f "${setups[0]}" ]; then
  bash "$here/install_test.sh" "${setups[0]}" "$linux/cli/rtqflash-cli" || failures=$((failures + 1))
else
  fail "not one installer in $win: ${setups[*]}"
fi

[ "$failures" -eq 0 ] && echo "wine: all passed" || echo "wine: $failures failed"
[ "$failures" -eq 0 ]
