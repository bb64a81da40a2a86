#!/usr/bin/env bash
# Packs the lab's initramfs: a static busybox, the kernel modules in load
# order and the guest's init script.
#
#   make_initramfs.sh KERNEL_DIR MODULE_LIST OUT.gz
set -euo pipefail
kernel=$1
module_list=$2
out=$3
here=$(cd "$(dirname "$0")" && pwd)

busybox=$(command -v busybox || true)
[ -n "$busybox" ] || { echo "usb-lab: busybox not found (package busybox-static)" >&2; exit 1; }
# A dynamic busybox would need the host's libraries before the host is mounted.
if ldd "$busybox" >/dev/null 2>&1; then
  echo "usb-lab: $busybox is not static (package busybox-static)" >&2
  exit 1
fi

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root"/{bin,dev,proc,sys,host,modules}
cp "$busybox" "$root/bin/busybox"
cp "$here/guest_init.sh" "$root/init"
chmod 755 "$root/init"
grep -v '^#' "$module_list" | grep . >"$root/modules/order"
while read -r name _; do
  cp "$kernel/modules/$name.ko" "$root/modules/"
done <"$root/modules/order"

(cd "$root" && find . | LC_ALL=C sort | cpio -o -H newc --quiet) | gzip -1 >"$out.tmp"
mv "$out.tmp" "$out"
