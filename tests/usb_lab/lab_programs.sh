# Running the project's programs in the lab's guest (sourced by bash after
# lab_gadget.sh): rtqsim on a gadget's printer side, rtqflash-cli on the
# host side. BUILD and WORK must be set.

# shellcheck disable=SC2034  # results for the scripts that source this
declare -A SIM_PID

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# sim_launch TAG READY ARGS...: starts rtqsim with ARGS and waits until it
# prints the line READY. Its output goes to WORK/sim-TAG.log.
sim_launch() {
  local tag=$1 ready=$2 log pid
  shift 2
  log=$WORK/sim-$tag.log
  "$BUILD/sim/rtqsim" "$@" >"$log" 2>&1 &
  pid=$!
  SIM_PID[$tag]=$pid
  # shellcheck disable=SC2317  # called through wait_for
  sim_ready() { grep -qxF "$ready" "$log" || ! kill -0 "$pid" 2>/dev/null; }
  wait_for 150 sim_ready
  grep -qxF "$ready" "$log"
}

# sim_start TAG NODE GADGET FLASH_OUT [rtqsim options...]: starts rtqsim
# behind gadget NAME (already plugged in) and waits until it serves.
sim_start() {
  local tag=$1 node=$2 gadget=$3 flash=$4
  shift 4
  sim_launch "$tag" "rtqsim: serving USB printer on $node" --usb "$node" \
    --usb-gadget "$(gadget_dir "$gadget")" --flash-out "$flash" "$@"
}

# sim_start_serial TAG DEVICE GADGET FLASH_OUT [rtqsim options...]: rtqsim
# on DEVICE, the printer side of the USB-serial adapter GADGET.
sim_start_serial() {
  local tag=$1 device=$2 gadget=$3 flash=$4
  shift 4
  sim_launch "$tag" "rtqsim: serving serial device on $device" --serial-device "$device" \
    --usb-gadget "$(gadget_dir "$gadget")" --flash-out "$flash" "$@"
}

# stamp_line TAG TEXT OUT: in the background, writes the time (now_ms) to
# OUT once the log of rtqsim TAG has a line with TEXT. Follows the log
# until that rtqsim ends.
stamp_line() {
  local log=$WORK/sim-$1.log pid=${SIM_PID[$1]}
  { tail --pid="$pid" -s 0.05 -n +1 -f "$log" 2>/dev/null |
    { grep -m 1 -qF -- "$2" && now_ms >"$3"; }; } &
}

# sim_stop TAG: SIGTERM, at most 10 s to end (it writes its flash image
# then), SIGKILL after that. Returns rtqsim's exit status.
sim_stop() {
  local pid=${SIM_PID[$1]:-} status=0
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null
  if ! wait_for 100 eval "! kill -0 $pid 2>/dev/null"; then
    echo "rtqsim $1 did not end on SIGTERM; killed" >>"$WORK/sim-$1.log"
    kill -KILL "$pid" 2>/dev/null
  fi
  wait "$pid" || status=$?
  unset "SIM_PID[$1]"
  return $status
}

sim_stop_all() {
  local tag
  for tag in "${!SIM_PID[@]}"; do sim_stop "$tag"; done
}

# cli_flash BOUND_S ARGS...: rtqflash-cli flash --usb ARGS (see cli_run).
cli_flash() {
  local bound=$1
  shift
  cli_run "$bound" --usb "$@"
}

# cli_run BOUND_S ARGS...: rtqflash-cli flash ARGS, ended after BOUND_S
# seconds at the latest. Sets CLI_STATUS (exit status, 124 when it had to
# be ended), CLI_RESULT (the code of its closing "result CODE:" line, or
# -), CLI_WALL and CLI_CPU (seconds; CPU = user + system) and CLI_END_MS
# (now_ms when it ended). Its output goes to WORK/cli.log.
cli_run() {
  local bound=$1 times wall user sys
  shift
  local TIMEFORMAT='%3R %3U %3S'
  CLI_STATUS=0
  times=$({ time bounded -k 5 "$bound" "$BUILD/cli/rtqflash-cli" flash "$@" \
    >"$WORK/cli.log" 2>&1; } 2>&1) || CLI_STATUS=$?
  CLI_END_MS=$(now_ms)
  # The time keyword reports on the group's stderr, past the command's own
  # redirection.
  read -r wall user sys <<<"$(tail -n 1 <<<"$times")"
  CLI_WALL=$wall
  CLI_CPU=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
  CLI_RESULT=$(grep -aoE 'result -?[0-9]+:' "$WORK/cli.log" | tail -n 1 | tr -dc '0-9-')
  [ -n "$CLI_RESULT" ] || CLI_RESULT=-
}
