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

# sim_behind NAME ARGS...: rtqsim on a new pseudo-terminal behind the
# prefix's dosdevices/NAME.
sim_behind() {
  local name=$1
  shift
  rm -f "$work/pty" "$work/flash.img"
  "$sim" --link "$work/pty" --flash-out "$work/flash.img" --exit-after-reset "$@" \
    >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  for _ in $(seq 100); do [ -e "$work/pty" ] && break; sleep 0.05; done
  ln -sfn "$work/pty" "$WINEPREFIX/dosdevices/$name"
}
# start_sim ARGS...: rtqsim behind COM17.
start_sim() { sim_behind com17 "$@"; }
stop_sim() {
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=
}

# start_flash LINK TYPE FILE: rtqflash-cli.exe over LINK (COM17 or usb)
# with a wire trace, in the background (its pid in $cli_pid).
# flash_result waits for it: its status in $status, its last stdout line
# (the result) in $result, its time in $seconds. flash does both.
start_flash() {
  local link=(--port "$1")
  [ "$1" = usb ] && link=(--usb)
  rm -f "$work/wire.trace"
  flash_start=$SECONDS
  timeout 300 wine "$cli" flash --quiet "${link[@]}" --type "$2" --trace "Z:$work/wire.trace" \
    "Z:$3" >"$work/cli.out" 2>"$work/cli.err" </dev/null &
  cli_pid=$!
}
flash_result() {
  set +e
  wait "$cli_pid"
  status=$?
  set -e
  result=$(tail -n 1 "$work/cli.out" | tr -d '\r')
  seconds=$((SECONDS - flash_start))
}
flash() { start_flash "$@"; flash_result; }

# IPL FIRMWARE sends the file from 0x8000 on (sector 5, the restart, then
# sector 4); CG FONT goes to 0x100000.
font=$work/samples/sample_font.bin
ipl=$work/samples/sample_ipl.ipl
main=$work/samples/sample_main.mfw
success="result 1: Download successfully completed!"

# flash_equal FILE BASE FROM LENGTH: the printer's flash holds LENGTH bytes
# of FILE from FROM at the same address plus BASE (the sector address).
flash_equal() {
  cmp -s <(tail -c +$(($2 + $3 + 1)) "$work/flash.img" | head -c $(($4))) \
    <(tail -c +$(($3 + 1)) "$1" | head -c $(($4)))
}

# sim_ended: the simulator, which ends after the printer's reset, has ended.
sim_ended() {
  wait "$sim_pid" || true
  sim_pid=
}

# written WHAT TEXT FILE BASE FROM LENGTH [CHECK...]: once the simulator has
# ended, passes "TEXT (N s)" when the run succeeded, the flash holds the file
# (flash_equal FILE BASE FROM LENGTH) and the command CHECK, if given,
# holds; otherwise fails "WHAT: status, result" and shows both error outputs.
written() {
  local what=$1 text=$2
  shift 2
  sim_ended
  if [ "$status" -eq 0 ] && [ "$result" = "$success" ] && flash_equal "$1" "$2" "$3" "$4" &&
    { [ $# -eq 4 ] || "${@:5}"; }; then
    pass "$text (${seconds} s)"
  else
    fail "$what: status $status, '$result'"; cat "$work/cli.err" "$work/sim.err"
  fi
}
# in_trace PATTERN: the wire trace has a line that matches.
in_trace() { grep -q "$1" "$work/wire.trace"; }
traced_switch() { in_trace ' dcb .*baud=38400' && in_trace ' 1D 11$'; }

echo "-- rtqflash-cli.exe over COM17"
start_sim
flash COM17 "CG FONT" "$font"
written "CG FONT" "CG FONT written, flash equal to the file, the trace has the frames" \
  "$font" 0x100000 0 65536 traced_switch

start_sim
flash COM17 "IPL FIRMWARE" "$ipl"
written "IPL FIRMWARE" "IPL FIRMWARE written, flash equal to the file" "$ipl" 0 0x8000 0x18000

# DSR pacing on a port with modem lines: a test-only shim gives the
# pseudo-terminal its lines (Windows has them on every serial port). DSR is
# low as the run starts and rises 2 s later: the first write waits for it,
# then the run goes on to the end.
shim=$linux/tests/wine/librtq_modem_lines_shim.so
echo 0 >"$work/dsr"
start_sim
(sleep 2; echo 1 >"$work/dsr") &
RTQ_MODEM_LINES=$work/dsr LD_PRELOAD=$shim flash COM17 "CG FONT" "$font"
sim_ended
first_tx=$(awk '$4 == "tx" { print $5; exit }' "$work/wire.trace")
if [ "$status" -eq 0 ] && [ "$result" = "$success" ] &&
  flash_equal "$font" 0x100000 0 65536 && [ "${first_tx:-0}" -ge 1500000 ]; then
  pass "DSR low at the start held the first write ${first_tx} us, then CG FONT written, flash equal"
else
  fail "DSR pacing: status $status, '$result', first write ${first_tx:-none} us"; cat "$work/cli.err"
fi

# MAIN FIRMWARE goes to sector 6 (0x20000) on, its CRC recalculated at
# the end; its waits make it the longest run (about 80 s).
start_sim
flash COM17 "MAIN FIRMWARE" "$main"
written "MAIN FIRMWARE" "MAIN FIRMWARE written, flash equal to the file" "$main" 0x20000 0 131072

# The printer refuses the erase: 1001, exit status 1, as on Linux.
start_sim --nak erase:1
flash COM17 "CG FONT" "$font"
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
timeout 120 wine "$cli" flash --port COM17 --type "CG FONT" "Z:$font" \
  >"$work/cli.out" 2>"$work/cli.err" </dev/null &
cli_pid=$!
for _ in $(seq 200); do grep -q 'Switching printer' "$work/cli.err" && break; sleep 0.1; done
kill -INT "$cli_pid"
flash_result
stop_sim
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

# start_usb_sim: rtqsim behind the driver.
start_usb_sim() {
  usb_sims=$((usb_sims + 1))
  sim_behind "rtqusbrelay$usb_sims"
}
untroubled_usb() { in_trace ' usb .* id .* ok' && ! in_trace ' gone '; }
# Found, opened and asked both requests again after the restart.
reopened_usb() {
  [ "$(grep -c ' usb .* open .* ok' "$work/wire.trace")" -ge 2 ] &&
    [ "$(grep -c ' usb .* status .* ok' "$work/wire.trace")" -ge 2 ]
}

usb_tests() {
  echo "-- rtqflash-cli.exe --usb through the test printer driver"
  if ! usb_driver; then
    fail "USB: the test printer driver did not start"; cat "$work/usb-setup.log"
    return
  fi

  start_usb_sim
  flash usb "CG FONT" "$font"
  written "USB CG FONT" "USB CG FONT written, flash equal to the file" \
    "$font" 0x100000 0 65536 untroubled_usb

  # The printer restarts after IPL sector 5: the device is closed and
  # opened again (find, open, both requests) before sector 4.
  start_usb_sim
  flash usb "IPL FIRMWARE" "$ipl"
  written "USB IPL FIRMWARE" "USB IPL FIRMWARE written with the reopen after the restart, flash equal" \
    "$ipl" 0 0x8000 0x18000 reopened_usb

  # Unplugged in the second between the sector's select and its data:
  # the data write fails as on a removed printer (invalid handle), the
  # reconnections find it not connected, and the run ends with the data
  # timeout within the reconnections' bound.
  start_usb_sim
  start_flash usb "CG FONT" "$font"
  for _ in $(seq 600); do
    grep -q ' tx .* 1D 02 ' "$work/wire.trace" 2>/dev/null && break
    sleep 0.1
  done
  sleep 0.4
  local unplugged=$SECONDS
  stop_sim
  flash_result
  if [ "$status" -eq 3 ] && [ "$result" = "result 1003: Timeout while sending data block!" ] &&
    grep -q ' tx .* gone ' "$work/wire.trace" && [ $((SECONDS - unplugged)) -le 20 ]; then
    pass "USB unplug: result 1003 $((SECONDS - unplugged)) s after the unplug"
  else
    fail "USB unplug: status $status, '$result' after $((SECONDS - unplugged)) s"
    cat "$work/cli.err"
  fi
}
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
