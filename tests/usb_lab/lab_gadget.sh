# USB gadgets in the lab's guest (sourced by bash). A gadget is a configfs
# folder with one function; binding it to a dummy_udc controller plugs it
# into the same kernel. A printer function is taken by usblp; an acm
# function (a USB-serial adapter) by cdc-acm.

GADGETS=/sys/kernel/config/usb_gadget
PNP_STRING="MFG:RTQ;MDL:RTQ650;CMD:RTQ;CLS:PRINTER;"

# The printer's three vendor/product id pairs, in the host's search order.
id_pair() {  # id_pair N -> "VID PID"
  case $1 in
    1) echo "0x5e1a 0xb00c" ;;
    2) echo "0x6d31 0x2207" ;;
    3) echo "0x7c44 0x2207" ;;
    *) return 1 ;;
  esac
}

# wait_for TENTHS TEST...: true as soon as TEST succeeds, false when it
# has not within TENTHS tenths of a second.
wait_for() {
  local tenths=$1 i
  shift
  for ((i = 0; i < tenths; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  "$@"
}

# bounded [-k S] SECONDS COMMAND...: timeout that stays in the caller's
# process group, so that stopping a whole case also reaches COMMAND
# (a plain timeout makes a group of its own).
bounded() { timeout --foreground "$@"; }

gadget_dir() { echo "$GADGETS/$1"; }

# gadget_make NAME PAIR UDC: creates the gadget and plugs it into UDC.
gadget_make() {
  local g vid pid
  g=$(gadget_dir "$1")
  read -r vid pid < <(id_pair "$2") || return 1
  mkdir "$g" || return 1
  echo "$vid" >"$g/idVendor"
  echo "$pid" >"$g/idProduct"
  mkdir "$g/functions/printer.0"
  echo "$PNP_STRING" >"$g/functions/printer.0/pnp_string"
  # One receive buffer: the gadget drops what it holds unread when it is
  # unplugged, and with one buffer rtqsim's read empties it before it goes.
  echo 1 >"$g/functions/printer.0/q_len"
  mkdir "$g/configs/c.1"
  ln -s "$g/functions/printer.0" "$g/configs/c.1/"
  echo "$3" >"$g/UDC"
}

# The USB-serial adapter's id pair: cdc-acm binds by interface class, so
# any pair would do.
ACM_IDS="0x5e1a 0x00ac"

# acm_gadget_make NAME UDC: a USB-serial adapter (one acm function) plugged
# into UDC. Its printer side /dev/ttyGSN exists from the function's
# creation on, whether plugged in or not.
acm_gadget_make() {
  local g vid pid
  g=$(gadget_dir "$1")
  read -r vid pid <<<"$ACM_IDS"
  mkdir "$g" || return 1
  echo "$vid" >"$g/idVendor"
  echo "$pid" >"$g/idProduct"
  mkdir "$g/functions/acm.0" || return 1
  mkdir "$g/configs/c.1"
  ln -s "$g/functions/acm.0" "$g/configs/c.1/"
  echo "$2" >"$g/UDC"
}

# acm_port NAME: the printer side of adapter NAME, /dev/ttyGSN.
acm_port() { echo "/dev/ttyGS$(cat "$(gadget_dir "$1")/functions/acm.0/port_num")"; }

gadget_unplug() { echo "" >"$(gadget_dir "$1")/UDC"; }
gadget_plug() { echo "$2" >"$(gadget_dir "$1")/UDC"; }

# gadget_remove NAME: unplugs and deletes the gadget; quiet about parts
# that are already gone.
gadget_remove() {
  local g f
  g=$(gadget_dir "$1")
  [ -d "$g" ] || return 0
  echo "" >"$g/UDC" 2>/dev/null
  for f in "$g"/configs/c.1/*; do [ -L "$f" ] && rm -f "$f"; done
  rmdir "$g/configs/c.1" 2>/dev/null
  for f in "$g"/functions/*; do [ -d "$f" ] && rmdir "$f" 2>/dev/null; done
  rmdir "$g" 2>/dev/null
  [ ! -d "$g" ]
}

# PIDs that hold a printer-side node open. A printer node still open when
# its gadget is bound again, and closed after that, corrupts the kernel's
# character-device list (6.1: BUG in cd_forget, the machine locks up), so
# nobody may hold one when a gadget is unplugged or removed. An adapter's
# ttyGSN held open makes the removal of its function wait for the close.
printer_side_users() {
  find /proc/[0-9]*/fd \( -lname '/dev/g_printer*' -o -lname '/dev/ttyGS*' \) 2>/dev/null |
    cut -d/ -f3 | sort -u
}

# release_printer_sides: ends whatever still holds a printer node open
# (in the lab's guest everything is the lab's own).
release_printer_sides() {
  local pids
  pids=$(printer_side_users)
  [ -n "$pids" ] || return 0
  echo "usb-lab-guest: ending $(tr '\n' ' ' <<<"$pids")holding a printer node" >&2
  # shellcheck disable=SC2086
  kill -TERM $pids 2>/dev/null
  wait_for 50 no_printer_side_users && return 0
  # shellcheck disable=SC2086
  kill -KILL $pids 2>/dev/null
  wait_for 20 no_printer_side_users
}
no_printer_side_users() { [ -z "$(printer_side_users)" ]; }

gadget_remove_all() {
  local g ok=0
  release_printer_sides || ok=1
  for g in "$GADGETS"/*/; do
    [ -d "$g" ] || continue
    gadget_remove "$(basename "$g")" || ok=1
  done
  # usblp and cdc-acm let go of their nodes once the devices are gone.
  wait_for 50 no_host_nodes || ok=1
  return $ok
}

no_host_nodes() { ! compgen -G '/dev/usb/lp*' >/dev/null && ! compgen -G '/dev/ttyACM*' >/dev/null; }

# wait_nodes N: both ends of printer N are there (lpN on the host side,
# g_printerN on the printer side), within 10 s.
wait_nodes() {
  wait_for 100 test -c "/dev/usb/lp$1" -a -c "/dev/g_printer$1"
}

# lp_ids N: "VID PID" of the device behind /dev/usb/lpN, as usblp sees it.
lp_ids() {
  local d=/sys/class/usbmisc/lp$1/device/..
  echo "$(cat "$d/idVendor") $(cat "$d/idProduct")"
}

# tty_ids NAME: "VID PID" of the USB device behind /dev/NAME (ttyACMN).
tty_ids() {
  local d=/sys/class/tty/$1/device/..
  echo "$(cat "$d/idVendor") $(cat "$d/idProduct")"
}
