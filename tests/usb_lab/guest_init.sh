#!/bin/busybox sh
# PID 1 of the lab's virtual machine: loads the 9p and USB modules, mounts
# the host's root read-only, and runs the job the host left in the results
# share (job.sh) in a chroot of the host root, so that the host's own build
# and libraries are what runs. Then it stops the machine.
/bin/busybox --install -s /bin
export PATH=/bin

say() { echo "usb-lab-guest: $*"; }
# QEMU runs with -no-reboot, so a reboot ends it.
stop() { sync; reboot -f; }

mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev

while read -r name args; do
  # shellcheck disable=SC2086  # args are module parameters, one word each
  insmod "/modules/$name.ko" $args || { say "insmod $name failed"; stop; }
done </modules/order

# The default 8 KiB message size makes loading the Qt libraries crawl.
opts=trans=virtio,version=9p2000.L,msize=262144
h=/host
# The host's files are taken as unchanging for the run: with caching,
# starting a program costs a fifth of the time.
mount -t 9p -o "$opts,ro,cache=loose" hostroot $h || { say "cannot mount the host root"; stop; }
mount -t proc proc $h/proc
mount -t sysfs sysfs $h/sys
mount -t configfs configfs $h/sys/kernel/config
mount -t devtmpfs devtmpfs $h/dev
mkdir -p $h/dev/pts $h/dev/shm
# What udev would add: bash's process substitution needs /dev/fd.
ln -s /proc/self/fd $h/dev/fd
ln -s /proc/self/fd/0 $h/dev/stdin
ln -s /proc/self/fd/1 $h/dev/stdout
ln -s /proc/self/fd/2 $h/dev/stderr
mount -t devpts devpts $h/dev/pts
mount -t tmpfs -o mode=1777 tmpfs $h/dev/shm
mkdir -p /results /keep
mount -t 9p -o "$opts" results /results || { say "cannot mount the results share"; stop; }
# Folders the job needs that the writable /tmp and /run below would hide
# (a CI checkout may live under /tmp): kept in view and bound back.
: >/keep/list
i=0
while read -r path; do
  case $path in
    /tmp/* | /run/*)
      mkdir -p /keep/$i
      mount -o bind "$h$path" /keep/$i || { say "cannot keep $path"; stop; }
      echo "$i $path" >>/keep/list
      i=$((i + 1))
      ;;
  esac
done </results/expose
mount -t tmpfs -o mode=1777 tmpfs $h/tmp
mount -t tmpfs -o mode=755 tmpfs $h/run
mkdir -p $h/run/usb-lab
mount -o bind /results $h/run/usb-lab
while read -r i path; do
  mkdir -p "$h$path"
  mount -o bind /keep/$i "$h$path" || { say "cannot show $path"; stop; }
done </keep/list

say "booted"
: >$h/run/usb-lab/booted
chroot $h /usr/bin/env -i HOME=/tmp LANG=C.UTF-8 \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  /bin/bash /run/usb-lab/job.sh
say "job ended with status $?"
umount $h/run/usb-lab
stop
