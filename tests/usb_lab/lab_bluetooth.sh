# The Bluetooth side of the lab's guest (sourced by lab_cases.sh after
# lab_programs.sh): the kernel's Bluetooth modules, two virtual controllers
# joined to each other (btvirt), the system bus and bluetoothd. hci1 is the
# printer (class of device 0x000680, connectable and discoverable, a Serial
# Port Profile record on channel 3, rtqsim on RFCOMM channel 3: not 1, so
# that the program must ask the printer's service directory); hci0 is the
# computer's. RTQ_LAB_KERNEL is the folder of the lab's kernel.

BT_PRINTER=00:AA:01:01:00:01
BT_PRINTER_NAME=RTQ-P1
BT_CHANNEL=3
BT_PIDS=()
BT_ERR=

bt_err() { BT_ERR=$*; echo "bluetooth: $*"; }

# Once per boot: later cases find the modules loaded.
bt_modules() {
  local name
  while read -r name _; do
    [ -n "$name" ] || continue
    [ -d "/sys/module/${name//-/_}" ] && continue
    insmod "$RTQ_LAB_KERNEL/modules/$name.ko" || return 1
  done < <(grep -v '^#' "$here/bt_modules.list")
}

bt_controllers() { [ -e /sys/class/bluetooth/hci0 ] && [ -e /sys/class/bluetooth/hci1 ]; }
bt_adapters_on_bus() { [ "$(bluetoothctl list 2>/dev/null | grep -c '^Controller')" -ge 2 ]; }

# bt_start: the stack, the bus, bluetoothd and the printer's controller.
bt_start() {
  step "Bluetooth: modules, btvirt, dbus-daemon, bluetoothd"
  bt_modules || { bt_err "cannot load the Bluetooth modules"; return 1; }
  # Pairings are kept in memory: the host's root is read-only here.
  mountpoint -q /var/lib/bluetooth || mount -t tmpfs tmpfs /var/lib/bluetooth
  mkdir -p /run/dbus
  btvirt -l2 >"$WORK/btvirt.log" 2>&1 &
  BT_PIDS+=($!)
  wait_for 100 bt_controllers || { bt_err "btvirt made no two controllers"; return 1; }
  dbus-daemon --system --nofork --nopidfile &
  BT_PIDS+=($!)
  wait_for 50 test -S /run/dbus/system_bus_socket || { bt_err "dbus-daemon did not start"; return 1; }
  /usr/libexec/bluetooth/bluetoothd -n --compat >"$WORK/bluetoothd.log" 2>&1 &
  BT_PIDS+=($!)
  wait_for 200 bt_adapters_on_bus || { bt_err "bluetoothd shows no two adapters"; return 1; }
  # Bondable without an agent, so that the pairing is kept after the link
  # goes idle (a desktop's own agent does this).
  local hci
  for hci in hci0 hci1; do
    dbus-send --system --print-reply --dest=org.bluez /org/bluez/$hci \
      org.freedesktop.DBus.Properties.Set string:org.bluez.Adapter1 string:Pairable \
      variant:boolean:true >/dev/null || { bt_err "cannot make $hci pairable"; return 1; }
  done
  # The name through bluetoothd, which would otherwise put its own back.
  dbus-send --system --print-reply --dest=org.bluez /org/bluez/hci1 \
    org.freedesktop.DBus.Properties.Set string:org.bluez.Adapter1 string:Alias \
    variant:string:"$BT_PRINTER_NAME" >/dev/null || { bt_err "cannot name the printer"; return 1; }
  btmgmt --index 1 class 6 128 >/dev/null
  btmgmt --index 1 connectable on >/dev/null
  btmgmt --index 1 discov on >/dev/null
  sdptool add --channel=$BT_CHANNEL SP >/dev/null || { bt_err "sdptool add SP failed"; return 1; }
}

# bt_agent: a pairing agent with a display and a yes/no button as the
# default agent of both controllers, so that pairing is a numeric
# comparison that both sides confirm. Its log: WORK/agent.log.
bt_agent() {
  /usr/bin/python3 "$here/bt_agent.py" >"$WORK/agent.log" 2>&1 &
  BT_PIDS+=($!)
  wait_for 100 grep -qxF "agent ready" "$WORK/agent.log" ||
    { bt_err "the agent did not register: $(tail -n 1 "$WORK/agent.log")"; return 1; }
}

bt_stop() {
  local pid
  for pid in "${BT_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${BT_PIDS[@]}"; do wait "$pid" 2>/dev/null; done
  BT_PIDS=()
  rm -f /run/dbus/system_bus_socket
  # Each case starts with no pairings or cached names of an earlier one.
  mountpoint -q /var/lib/bluetooth && umount /var/lib/bluetooth
  return 0
}

bt_paired_with_spp() {
  local info
  info=$(bluetoothctl info "$BT_PRINTER" 2>/dev/null)
  grep -q 'Paired: yes' <<<"$info" && grep -q 'Bonded: yes' <<<"$info" &&
    grep -q '00001101-0000-1000-8000-00805f9b34fb' <<<"$info"
}

bt_printer_idle() { bluetoothctl info "$BT_PRINTER" 2>/dev/null | grep -q 'Connected: no'; }

# bt_pair: the computer finds the printer and pairs with it (Device1.Pair).
bt_pair() {
  local dev=/org/bluez/hci0/dev_${BT_PRINTER//:/_} start
  step "discover and pair $BT_PRINTER"
  start=$(now_ms)
  bluetoothctl --timeout 8 scan on >"$WORK/scan.log" 2>&1 &
  local scan=$!
  wait_for 80 eval "bluetoothctl devices 2>/dev/null | grep -q $BT_PRINTER"
  dbus-send --system --print-reply --reply-timeout=20000 --dest=org.bluez "$dev" \
    org.bluez.Device1.Pair >"$WORK/pair.log" 2>&1 || { bt_err "Pair: $(tail -n 1 "$WORK/pair.log")"; return 1; }
  wait "$scan" 2>/dev/null
  wait_for 100 bt_paired_with_spp || { bt_err "no serial port service after pairing"; return 1; }
  # The kernel drops the pairing's idle link soon after; a connect made
  # meanwhile has been seen to ride the dying link and lose it seconds
  # later. As an operator would, flash once the printer is idle again.
  wait_for 100 bt_printer_idle || note "the printer stayed connected after pairing"
  bluetoothctl info "$BT_PRINTER" >"$WORK/printer-info.log" 2>&1
  note "discovered and paired in $(($(now_ms) - start)) ms"
}

# bt_printer TAG [rtqsim options]: rtqsim on RFCOMM channel BT_CHANNEL.
bt_printer() {
  local tag=$1
  shift
  sim_launch "$tag" "rtqsim: listening on RFCOMM channel $BT_CHANNEL" --rfcomm-channel "$BT_CHANNEL" \
    --flash-out "$WORK/flash-$tag.bin" --verbose "$@"
}
