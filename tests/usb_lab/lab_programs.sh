# Running the project's programs in the lab's guest (sourced by bash after
# lab_gadget.sh): rtqsim on a gadget's printer side, rtqflash-cli on the
# host side. BUILD and WORK must be set.

# shellcheck disable=SC2034  # results for the scripts that source this
declare -A SIM_PID

# sim_start TAG NODE GADGET FLASH_OUT [rtqsim options...]: starts rtqsim
# behind gadget NAME (already plugged in) and waits until it serves.
# Its output goes to WORK/sim-TAG.log.
sim_start() {
  local tag=$1 node=$2 gadget=$3 flash=$4 log pid
  shift 4
  log=$WORK/sim-$tag.log
  "$BUILD/sim/rtqsim" --usb "$node" --usb-gadget "$(gadget_dir "$gadget")" \
    --flash-out "$flash" "$@" >"$log" 2>&1 &
  pid=$!
  SIM_PID[$tag]=$pid
  # shellcheck disable=SC2317  # called through wait_for
  sim_ready() { grep -qxF "rtqsim: serving USB printer on $node" "$log" || ! kill -0 "$pid" 2>/dev/null; }
  wait_for 150 sim_ready
  grep -qxF "rtqsim: serving USB printer on $node" "$log"
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

# cli_flash BOUND_S ARGS...: rtqflash-cli flash --usb ARGS, ended after
# BOUND_S seconds at the latest. Sets CLI_STATUS (exit status, 124 when
# it had to be ended), CLI_RESULT (the code of its closing "result CODE:"
# line, or -), CLI_WALL and CLI_CPU (seconds; CPU = user + system).
# Its output goes to WORK/cli.log.
cli_flash() {
  local bound=$1 times wall user sys
  shift
  local TIMEFORMAT='%3R %3U %3S'
  CLI_STATUS=0
  times=$({ time bounded -k 5 "$bound" "$BUILD/cli/rtqflash-cli" flash --usb "$@" \
    >"$WORK/cli.log" 2>&1; } 2>&1) || CLI_STATUS=$?
  # The time keyword reports on the group's stderr, past the command's own
  # redirection.
  read -r wall user sys <<<"$(tail -n 1 <<<"$times")"
  CLI_WALL=$wall
  CLI_CPU=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
  CLI_RESULT=$(grep -aoE 'result -?[0-9]+:' "$WORK/cli.log" | tail -n 1 | tr -dc '0-9-')
  [ -n "$CLI_RESULT" ] || CLI_RESULT=-
}
