# A cached minimal Debian 12 tree to install the package into, and the
# mounts a chroot into it needs. Sourced by package_test.sh; needs root.

# tree_unmount ROOT: unmounts everything below ROOT, deepest first. Safe to
# call when nothing is mounted.
tree_unmount() {
  local root=$1 point
  # Field 5 of mountinfo is the mount point, with a space as \040.
  while IFS= read -r point; do
    umount "$point" 2>/dev/null || umount -l "$point" 2>/dev/null || true
  done < <(awk -v r="$root/" '{ p = $5; gsub(/\\040/, " ", p); if (index(p, r) == 1) print p }' \
             /proc/self/mountinfo | sort -r)
}

# tree_mount ROOT: /proc and the machine's /dev (pseudo-terminals included)
# inside ROOT. The /dev mounts are slaves, so that nothing mounted or
# unmounted below ROOT reaches the machine's own /dev.
tree_mount() {
  local root=$1
  mount -t proc proc "$root/proc"
  mount --rbind /dev "$root/dev"
  mount --make-rslave "$root/dev"
}

# tree_prepare TREE MIRROR LOG: makes TREE a minimal bookworm tree unless a
# complete one is already there. A tree left half-made by an interrupted
# run is removed first.
tree_prepare() {
  local tree=$1 mirror=$2 log=$3
  [ -e "$tree/.complete" ] && return 0
  tree_unmount "$tree"
  # Never leave the tree's own file system, whatever is still mounted in it.
  rm -rf --one-file-system "${tree:?}"
  if ! debootstrap --variant=minbase bookworm "$tree" "$mirror" >"$log" 2>&1; then
    tail -n 20 "$log" >&2
    return 1
  fi
  # Packages installed later must not start services on this machine.
  printf '#!/bin/sh\nexit 101\n' >"$tree/usr/sbin/policy-rc.d"
  chmod 755 "$tree/usr/sbin/policy-rc.d"
  # A throw-away tree: dpkg need not sync every file it unpacks.
  echo force-unsafe-io >"$tree/etc/dpkg/dpkg.cfg.d/unsafe-io"
  touch "$tree/.complete"
}

# in_tree ROOT COMMAND...: runs COMMAND in ROOT with a clean environment.
# Extra variables go before the command as NAME=VALUE words (env syntax).
# The caller's lock (descriptor 9) is not passed on.
in_tree() {
  local root=$1
  shift
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    LC_ALL=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@" 9>&-
}

# in_tree_bg LOG ROOT COMMAND...: the same in the background, output to
# LOG; $! is then the program's own process id.
in_tree_bg() {
  local log=$1 root=$2
  shift 2
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    LC_ALL=C.UTF-8 "$@" >"$log" 2>&1 9>&- &
}

# stop_pid PID: asks a process started here to end, then forces it.
stop_pid() {
  local pid=$1
  kill "$pid" 2>/dev/null || return 0
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
