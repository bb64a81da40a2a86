#!/usr/bin/env bash
# The USB lab: proves the USB links against the real kernel drivers. Boots
# Debian's kernel under QEMU (TCG) with dummy_hcd and configfs gadgets (a
# printer for usblp, a USB-serial adapter for cdc-acm), shares this machine's
# root read-only into the guest and runs the cases there, all in one boot.
#
#   bash tests/usb_lab/usb_lab.sh BUILD_DIR [CASE...]
#
# Cases: smoke font main ipl pin unplug-back unplug-never none two dialog
# acm-font acm-unplug; by default all but main (the longest, whose
# multi-sector path the font and IPL cases already take through the
# drivers; the engine tests cover the rest). The Bluetooth cases bt-font
# bt-pin bt-dialog bt-gone bt-off bt-away bt-tty (the bt_lab test) run
# only when named, on the kernel BT_KERNEL_PACKAGE when the mirror has it.
# Prints one line per case and "N passed, N failed, N skipped"; the exit
# status is non-zero when a case failed or the machine did not boot or
# finish in time. Needs root, qemu-system-x86, busybox-static, cpio, bluez,
# bluez-test-tools, python3-dbus, python3-gi (scripts/install-deps.sh) and
# Debian's mirror.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
all_cases=(smoke font main ipl pin unplug-back unplug-never none two dialog acm-font acm-unplug
  bt-font bt-pin bt-dialog bt-gone bt-off bt-away bt-tty)
default_cases=(smoke font ipl pin unplug-back unplug-never none two dialog acm-font acm-unplug)

say() { echo "usb-lab: $*"; }
die() { echo "usb-lab: $*" >&2; exit 1; }

if [ $# -lt 1 ] || [ "$1" = -h ] || [ "$1" = --help ]; then
  sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'
  [ $# -ge 1 ] && exit 0
  exit 64
fi
[ -d "$1" ] || die "no build folder $1"
build=$(cd "$1" && pwd)
shift
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=("${default_cases[@]}")
for c in "${cases[@]}"; do
  [[ " ${all_cases[*]} " == *" $c "* ]] || { echo "usb-lab: unknown case $c" >&2; exit 64; }
done

qemu=$(command -v qemu-system-x86_64) || die "qemu-system-x86_64 not found (package qemu-system-x86)"
# Its own folder (downloads, initramfs, results), so that the Bluetooth
# lab can run beside the USB lab: RTQ_LAB_FOLDER names it in BUILD_DIR.
lab=$build/${RTQ_LAB_FOLDER:-usb-lab}
mkdir -p "$lab"
exec 9>"$lab/lock"
flock -n 9 || die "another lab run is using $lab"

# The Bluetooth cases want a kernel whose RFCOMM survives a connect to an
# unreachable printer (6.1.0-57 does not); the current one when it cannot
# be had (the case that needs it is then skipped).
BT_KERNEL_PACKAGE=${BT_KERNEL_PACKAGE:-linux-image-6.1.0-54-amd64}
kernel=
if [[ " ${cases[*]}" == *" bt-"* ]]; then
  kernel=$(bash "$here/fetch_kernel.sh" --package "$BT_KERNEL_PACKAGE" "$lab" "$here/modules.list" \
    "$here/bt_modules.list") || say "cannot have $BT_KERNEL_PACKAGE; the current kernel instead"
fi
[ -n "$kernel" ] ||
  kernel=$(bash "$here/fetch_kernel.sh" "$lab" "$here/modules.list" "$here/bt_modules.list") ||
  die "no kernel"
bash "$here/make_initramfs.sh" "$kernel" "$here/modules.list" "$lab/initrd.gz" || die "no initramfs"
bash "$src/scripts/make-samples.sh" "$lab/samples"

# The guest reads its job from, and leaves its results in, this folder.
results=$lab/results
rm -rf "$results" "$lab/console.log" "$lab/qemu.log"
mkdir -p "$results"
printf 'export RTQ_LAB_KERNEL=%q\n' "$kernel" >"$results/job.sh"
printf 'exec bash %q /run/usb-lab %q %q' "$here/lab_run.sh" "$build" "$lab/samples" >>"$results/job.sh"
printf ' %q' "${cases[@]}" >>"$results/job.sh"
echo >>"$results/job.sh"
# The guest's /tmp is its own; the source and build folders stay visible
# there wherever they are (a CI checkout may live under /tmp).
printf '%s\n' "$src" "$build" >"$results/expose"

# Boot and clean-up allowance on top of the cases' own bounds, and never
# more than 10 minutes, so that CI stays within its time.
vm_bound=$((60 + $(bash "$here/lab_run.sh" --bound "${cases[@]}") + 10 * ${#cases[@]}))
[ "$vm_bound" -le 900 ] || vm_bound=900
say "booting $(basename "$kernel") under QEMU for ${cases[*]} (at most ${vm_bound}s)"
start=$(date +%s.%N)
qemu_status=0
# KVM hung on this platform: TCG only. -cpu max gives the guest the
# instruction set the host's Qt libraries were built for.
timeout -k 10 "$vm_bound" "$qemu" -accel tcg -cpu max -smp 2 -m 1024 \
  -display none -monitor none -serial "file:$lab/console.log" -no-reboot \
  -kernel "$kernel/vmlinuz" -initrd "$lab/initrd.gz" \
  -append "console=ttyS0 quiet panic=-1" \
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
  -virtfs "local,path=$results,mount_tag=results,security_model=none,multidevs=remap" \
  </dev/null >"$lab/qemu.log" 2>&1 || qemu_status=$?
end=$(date +%s.%N)

elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", b - a }'; }
booted=yes
if [ -e "$results/booted" ]; then
  say "booted in $(elapsed "$start" "$(stat -c %.3Y "$results/booted")")s; the machine ran $(elapsed "$start" "$end")s"
else
  booted=no
fi
finished=yes
[ -e "$results/finished" ] || finished=no

passed=0 failed=0 skipped=0
for c in "${cases[@]}"; do
  line=$(awk -F'\t' -v c="$c" '$1 == c' "$results/results" 2>/dev/null | tail -n 1) || true
  if [ -n "$line" ]; then
    IFS=$'\t' read -r _ verdict result flash seconds note <<<"$line"
  else
    verdict=FAIL result=- flash=- seconds='' note="no result"
  fi
  say "$c result $result flash $flash${seconds:+, ${seconds}s}${note:+, $note} $verdict"
  if [ "$verdict" = PASS ]; then
    passed=$((passed + 1))
  elif [ "$verdict" = SKIP ]; then
    skipped=$((skipped + 1))
  else
    failed=$((failed + 1))
    if [ -s "$results/$c/case.log" ]; then
      tail -n 15 "$results/$c/case.log" | sed "s/^/  $c| /" || true
    fi
  fi
done

status=0
if [ "$booted" = no ] || [ "$finished" = no ] || [ "$qemu_status" != 0 ]; then
  status=1
  case $qemu_status in
    124 | 137) say "the machine did not finish within ${vm_bound}s; QEMU was stopped" ;;
    0) ;;
    *) say "QEMU exit status $qemu_status: $(tail -n 3 "$lab/qemu.log" | tr '\n' ' ')" ;;
  esac
  [ "$booted" = yes ] || say "the machine did not boot"
  [ "$finished" = yes ] || say "the cases did not finish"
  say "console ($lab/console.log) ends with:"
  tail -n 20 "$lab/console.log" 2>/dev/null | sed 's/^/  console| /' || true
fi
[ "$failed" -eq 0 ] || status=1
say "logs: $results"
echo "$passed passed, $failed failed, $skipped skipped"
exit "$status"
