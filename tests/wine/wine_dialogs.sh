#!/usr/bin/env bash
# shellcheck source-path=SCRIPTDIR
# rtqflash.exe's dialogs in a real X session under Wine, against rtqsim
# behind COM17, driven only by real mouse and key input (xdotool): a CG
# FONT run chosen through the dialogs and the file dialog, a second start,
# and Cancel during the switch to download mode.
#
#   bash wine_dialogs.sh BUILD_WIN RTQSIM SAMPLES
#
# Run by wine_tests.sh, whose Wine prefix, wineserver and X display it uses
# (WINEPREFIX and DISPLAY exported). Screenshots go to
# BUILD_WIN/screenshots/wine-dialogs. Exit status 0 when all passed.
set -uo pipefail
[ $# -eq 3 ] || { echo "usage: wine_dialogs.sh BUILD_WIN RTQSIM SAMPLES" >&2; exit 64; }
win=$(cd "$1" && pwd)
sim=$2
samples=$(cd "$3" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../x11/x11_session.sh
. "$here/../x11/x11_session.sh"
exe=$win/winui/rtqflash.exe
[ -f "$exe" ] || { echo "wine_dialogs: no $exe" >&2; exit 1; }
if [ -z "${DISPLAY:-}" ] || [ -z "${WINEPREFIX:-}" ]; then
  echo "wine_dialogs: no DISPLAY or WINEPREFIX" >&2
  exit 1
fi

shots=$win/screenshots/wine-dialogs
rm -rf "$shots"
mkdir -p "$shots"
work=$(mktemp -d "${TMPDIR:-/tmp}/rtq-wine-dialogs-XXXXXX")
sim_pid='' app_pid='' other_pid=''
cleanup() {
  local pid
  for pid in $app_pid $other_pid $sim_pid; do
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  rm -f "$WINEPREFIX/dosdevices/com17"
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
  shot "failure" 2>/dev/null
}
check() {  # check WHAT COMMAND...
  local what=$1
  shift
  if "$@"; then echo "PASS: $what"; else fail "$what"; fi
}
# A step without which the rest cannot go on.
need() {  # need WHAT COMMAND...
  local what=$1
  shift
  "$@" && return 0
  fail "$what"
  exit 1
}

# shellcheck source=../x11/dialog_grid.sh
. "$here/../x11/dialog_grid.sh"
click_main() { click_du "$main" "${main_du[@]}" "$@"; }
count() { grep -c "$1" "$work/sim.log"; }
gone() { [ ! -e "/proc/$1" ] || grep -q '^[0-9]* ([^)]*) Z' "/proc/$1/stat"; }

# Opens a drop-down list with a click and takes its item INDEX by keys.
choose() {  # choose X Y INDEX SHOT
  local keys=(Home)
  for ((i = 0; i < $3; i++)); do keys+=(Down); done
  click_main "$1" "$2"
  sleep 0.3
  xdotool key "${keys[@]}"
  shot "$4"
  xdotool key Return
}

# A message box: appears, is shot, Enter closes it.
result_box() {  # result_box SECONDS SHOT
  need "a message box within $1 s" wait_until "$1" has_window "$BOX"
  shot "$2"
  xdotool key Return
  need "Enter closed the message box" wait_until 5 no_window "$BOX"
}

font=$samples/sample_font.bin
"$sim" --verbose --link "$work/pty" --flash-out "$work/flash.img" >"$work/sim.log" 2>&1 &
sim_pid=$!
need "rtqsim started" wait_until 10 test -e "$work/pty"
ln -sfn "$work/pty" "$WINEPREFIX/dosdevices/com17"

# --- Start: the time to the main dialog, with the wineserver running ----------
start=$(date +%s%N)
(cd "$samples" && exec wine "$exe") >"$work/app.log" 2>&1 &
app_pid=$!
need "the main dialog appeared" wait_until 20 has_window "$MAIN"
shown=$(date +%s%N)
echo "first window after $(((shown - start) / 1000000)) ms"
main=$(window "$MAIN")
shot "main-dialog"

# --- Serial, COM17 (item 17), CG FONT (item 3), the file through the dialog ----
click_main "${SERIAL[@]}"
choose "${PORT[@]}" 16 "port-list"
choose "${TYPE[@]}" 2 "type-list"
click_main "${BROWSE[@]}"
need "Browse opened the file dialog" wait_until 10 has_window '^Open$'
xdotool type --delay 20 "Z:${font//\//\\}"
shot "file-dialog"
xdotool key Return
need "the file dialog closed" wait_until 10 no_window '^Open$'
shot "settings"

# --- FLASH NOW: the progress dialog over the main dialog, the success box ----
click_main "${FLASH_NOW[@]}"
need "the progress dialog appeared" wait_until 10 has_window "$PROGRESS"
progress=$(window "$PROGRESS")
sleep 2
shot "progress"
check "the progress dialog lies inside the main dialog" inside "$progress" "$main"
check "the progress dialog is stacked above the main dialog" wait_until 5 above "$progress" "$main"
result_box 60 "success-box"
check "the printer received the file once" test "$(count 'rtqsim: data sector 20 ')" = 1
check "the flash holds the file at sector 20 (0x100000)" \
  cmp -s -i $((0x100000)):0 -n "$(stat -c %s "$font")" "$work/flash.img" "$font"

# --- A second start raises the first window and exits with -1 ---------------
xmessage -name other "another program" &
other_pid=$!
need "another window is active" wait_until 10 eval '[ "$(active_window)" != "$main" ] && has_window "^other$"'
timeout 20 wine "$exe" >"$work/second.log" 2>&1
second=$?
# Wine hands the shell the exit code modulo 256: -1 arrives as 255.
check "the second start exits with -1 (255 from Wine)" test "$second" = 255
# Wine's SetForegroundWindow does not move the X input focus to another
# process's window (openbox keeps it where it is), so the test relies on
# the raise alone: the first window ends above the other program.
check "the first window is raised above the other program" \
  wait_until 5 above "$main" "$(window '^other$')"
shot "raised-by-second-start"
kill "$other_pid" 2>/dev/null
wait "$other_pid" 2>/dev/null
other_pid=''

# --- Cancel clicked while the printer switches: nothing erased ---------------
switches=$(count 'rtqsim: switch')
erases=$(count 'rtqsim: erase')
click_main "${FLASH_NOW[@]}"
need "the progress dialog of the run to cancel" wait_until 10 has_window "$PROGRESS"
progress=$(window "$PROGRESS")
need "the printer was asked to switch" \
  wait_until 10 eval 'test "$(count "rtqsim: switch")" -gt "$switches"'
click_du "$progress" "${progress_du[@]}" "${CANCEL[@]}"
shot "cancel-clicked"
result_box 30 "cancelled-box"
check "the cancelled run erased nothing" test "$(count 'rtqsim: erase')" = "$erases"

# --- Exit: the last result is the exit code ----------------------------------
click_main "${EXIT[@]}"
need "Exit ended the program" wait_until 10 gone "$app_pid"
wait "$app_pid"
status=$?
app_pid=''
# The code itself is 1027; Wine hands the shell 1027 modulo 256 = 3.
check "the exit code after Cancel is 1027 (3 from Wine)" test "$status" = 3

[ "$failures" -eq 0 ] && echo "wine dialogs: all passed" || echo "wine dialogs: $failures failed"
[ "$failures" -eq 0 ]
