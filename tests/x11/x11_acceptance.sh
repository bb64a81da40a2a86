#!/usr/bin/env bash
# The operator's window in a real X session: rtqflash against rtqsim behind
# COM17, driven only by real mouse and key input (xdotool).
#
#   bash x11_acceptance.sh BUILD_DIR SOURCE_DIR
#
# Screenshots of every step go to BUILD_DIR/screenshots/x11.
set -uo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=x11_session.sh
. "$here/x11_session.sh"

rtqflash=$build/app/rtqflash
rtqsim=$build/sim/rtqsim
for tool in Xvfb openbox xdotool xwininfo xprop import; do
  command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/install-deps.sh" >&2; exit 1; }
done
for program in "$rtqflash" "$rtqsim"; do
  [ -x "$program" ] || { echo "not built: $program" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/rtq-x11.XXXXXX")
shots=$build/screenshots/x11
rm -rf "$shots"
mkdir -p "$shots" "$work/dev"
sim_pid='' app_pid=''

cleanup() {
  local pid
  for pid in $app_pid $sim_pid; do
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  x11_stop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() {
  echo "FAIL: $*"
  [ ${#x11_pids[@]} -gt 0 ] && shot "failure" 2>/dev/null
  exit 1
}
check() {  # check WHAT COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else fail "$what"; fi
}

# shellcheck source=dialog_grid.sh
. "$here/dialog_grid.sh"

click_main() { click_du "$main" "${main_du[@]}" "$@"; }

gone() { [ ! -e "/proc/$1" ] || grep -q '^[0-9]* ([^)]*) Z' "/proc/$1/stat"; }
count() { grep -c "$1" "$work/sim.log"; }

# run_app LOG [WRAPPER...]: rtqflash started from the samples folder, with
# no runtime folder set (the program makes its own private one).
run_app() {
  local log=$1
  shift
  (cd "$work/samples" && exec "$@" env -u XDG_RUNTIME_DIR TMPDIR="$work" QT_QPA_PLATFORM=xcb \
    RTQFLASH_TRACE="$work/wire.trace" \
    XDG_CONFIG_HOME="$work/config" RTQFLASH_DEVICE_ROOT="$work/dev" "$rtqflash") >"$log" 2>&1
}

# Opens a combo box with a click, types the start of an item, takes it.
choose() {  # choose X Y TEXT SHOT
  click_main "$1" "$2"
  wait_until 5 has_popup rtqflash || fail "the list at $1,$2 did not open"
  xdotool type --delay 60 "$3"
  shot "$4"
  xdotool key Return
  wait_until 5 no_popup rtqflash || fail "the list at $1,$2 did not close"
}

# A message box (a result or a refusal): appears, is shot, Enter closes it.
result_box() {  # result_box SECONDS SHOT
  wait_until "$1" has_window "$BOX" || fail "no message box within $1 s"
  shot "$2"
  xdotool key Return
  wait_until 5 no_window "$BOX" || fail "Enter did not close the message box"
}

# --- The printer and the program ----------------------------------------------
if [ -f "$src/scripts/make-samples.sh" ]; then
  bash "$src/scripts/make-samples.sh" "$work/samples"
else
  mkdir -p "$work/samples"
  { yes 'RTQ650 sample data ' || true; } | head -c 65536 >"$work/samples/sample_font.bin"
  printf 'MB01' | dd of="$work/samples/sample_font.bin" conv=notrunc status=none
fi
font=$work/samples/sample_font.bin

x11_start "$work" || exit 1
"$rtqsim" --verbose --link "$work/dev/ttyUSB0" --flash-out "$work/flash.bin" >"$work/sim.log" 2>&1 &
sim_pid=$!
wait_until 10 test -e "$work/dev/ttyUSB0" || fail "rtqsim did not start"

run_app "$work/app.log" &
app_pid=$!
wait_until 15 has_window "$MAIN" || fail "the main dialog did not appear"
main=$(window "$MAIN")
shot "start"

# Serial link, COM17 and CG FONT, by clicks and keys.
pick_settings() {  # pick_settings SHOT-PREFIX
  click_main "${SERIAL[@]}"
  choose "${PORT[@]}" COM17 "$1port-list"
  choose "${TYPE[@]}" CG "$1type-list"
}

# The font file through Browse, typed into the file dialog.
browse_font() {  # browse_font SHOT-PREFIX
  click_main "${BROWSE[@]}"
  wait_until 5 has_window '^Open$' || fail "Browse opened no file dialog"
  xdotool type --delay 20 "$(basename "$font")"
  shot "$1file-dialog"
  xdotool key Return
  wait_until 5 no_window '^Open$' || fail "the file dialog did not close"
  shot "$1file-chosen"
}

# --- Link, port and type by clicks and keys; FLASH NOW without a file ----------
pick_settings ""
shot "settings-without-file"
click_main "${FLASH_NOW[@]}"
result_box 5 "refused-no-file"
# The refusal gives the focus back to FLASH NOW: Enter refuses again
# rather than opening About.
xdotool key Return
result_box 5 "refused-again-by-enter"
check "Enter after a refusal never opened About" no_window "$ABOUT"

# --- The data file through Browse (it opens in the working folder) -------------
browse_font ""

# --- A whole run: the progress dialog over the main dialog ---------------------
click_main "${FLASH_NOW[@]}"
wait_until 10 has_window "$PROGRESS" || fail "no progress dialog"
progress=$(window "$PROGRESS")
shot "progress-over-main"
check "the progress dialog lies inside the main dialog" inside "$progress" "$main"
check "the progress dialog is stacked above the main dialog" wait_until 5 above "$progress" "$main"
check "the progress dialog is the active window" \
  wait_until 5 eval 'test "$(active_window)" = "$progress"'
result_box 60 "first-run-done"
check "the first run sent the file once" test "$(count 'rtqsim: data sector 20 ')" = 1
check "the simulated flash holds the file at sector 20" \
  cmp -s -i $((0x100000)):0 -n "$(stat -c %s "$font")" "$work/flash.bin" "$font"
check "the wire trace holds the run's data frame" grep -q ' tx .* 1D 11$' "$work/wire.trace"
shot "after-first-run"

# Enter closed the box; the next Enter is FLASH NOW again.
xdotool key Return
wait_until 10 has_window "$PROGRESS" || fail "Enter after the run did not start another"
check "Enter after a run never opened About" no_window "$ABOUT"
result_box 60 "second-run-done"
check "the printer received a second download" test "$(count 'rtqsim: data sector 20 ')" = 2

# --- A second start raises the first window and ends with 255 ------------------
geometry "$main"
placed="$gx $gy $gw $gh"
at_its_place() { geometry "$main" && [ "$gx $gy $gw $gh" = "$placed" ]; }
xdotool windowminimize "$main"
wait_until 5 eval '! is_viewable "$main"' || fail "the main dialog did not minimize"
shot "main-minimized"
run_app "$work/second.log" timeout 20
second=$?
check "the second start exits with 255" test "$second" = 255
check "the first window is shown again at its place" \
  wait_until 5 eval 'is_viewable "$main" && at_its_place'
check "the first window is active" wait_until 5 eval 'test "$(active_window)" = "$main"'
shot "raised-by-second-start"

# --- Cancel with the mouse while the printer switches --------------------------
switches=$(count 'rtqsim: switch')
erases=$(count 'rtqsim: erase')
click_main "${FLASH_NOW[@]}"
wait_until 10 has_window "$PROGRESS" || fail "no progress dialog for the run to cancel"
progress=$(window "$PROGRESS")
wait_until 5 eval 'test "$(count "rtqsim: switch")" -gt "$switches"' || fail "the printer was not switched"
click_du "$progress" "${progress_du[@]}" "${CANCEL[@]}"
shot "cancel-clicked"
result_box 30 "cancelled"
check "the cancelled run erased nothing" test "$(count 'rtqsim: erase')" = "$erases"
click_main "${EXIT[@]}"
wait_until 10 gone "$app_pid" || fail "Exit did not end the program"
wait "$app_pid"
status=$?
app_pid=''
check "the exit status after Cancel is 27" test "$status" = 27
check "no runtime folder warning" eval '! grep -q XDG_RUNTIME_DIR "$work/app.log" "$work/second.log"'
check "the program made its private runtime folder" test -d "$work/rtqflash-runtime-$(id -u)"

# --- SIGTERM while the printer switches: the run is cancelled, exit 27 ---------
run_app "$work/term.log" &
app_pid=$!
wait_until 15 has_window "$MAIN" || fail "the main dialog did not appear again"
main=$(window "$MAIN")
pick_settings "term-"
browse_font "term-"
switches=$(count 'rtqsim: switch')
erases=$(count 'rtqsim: erase')
click_main "${FLASH_NOW[@]}"
wait_until 10 has_window "$PROGRESS" || fail "no progress dialog for the run to end"
wait_until 5 eval 'test "$(count "rtqsim: switch")" -gt "$switches"' || fail "the printer was not switched"
# The program itself, not the shell that started it.
kill -TERM "$(pgrep -n -x rtqflash)"
shot "terminated"
wait_until 30 gone "$app_pid" || fail "SIGTERM did not end the program"
wait "$app_pid"
status=$?
app_pid=''
check "SIGTERM during the line check exits with 27 (was $status)" test "$status" = 27
check "the terminated run erased nothing" test "$(count 'rtqsim: erase')" = "$erases"
check "its result went to the error stream, not to a box nobody answers" \
  grep -q 'Application was terminated by Cancel button!' "$work/term.log"

cp "$work/wire.trace" "$shots/wire.trace"
echo "x11 acceptance: all steps passed"
