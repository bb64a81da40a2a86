#!/usr/bin/env bash
# Fetches Debian's current amd64 kernel package (or the one named) into
# LAB_DIR and keeps only what the lab boots: the kernel image and the
# modules it loads. Nothing is installed. A kernel already unpacked is used
# again without a download.
#
#   fetch_kernel.sh [--package linux-image-6.1.0-N-amd64] LAB_DIR MODULE_LIST...
#
# Prints the folder holding vmlinuz and modules/ on stdout.
set -euo pipefail
wanted=
if [ "${1:-}" = --package ]; then
  wanted=$2
  shift 2
fi
lab=$1
shift
module_lists=("$@")
apt_opts=(-o APT::Sandbox::User=root -q)

say() { echo "usb-lab: $*" >&2; }

# The versioned image package that the metapackage points at now, or the
# one named if the lists know it.
resolve() {
  if [ -n "$wanted" ]; then
    apt-cache show "$wanted" >/dev/null 2>&1 && echo "$wanted"
    return 0
  fi
  apt-cache depends linux-image-amd64 2>/dev/null |
    sed -n 's/^ *Depends: \(linux-image-6\.1\.0-[0-9]*-amd64\)$/\1/p' | head -n 1
}

unpacked() {  # unpacked DIR: true when DIR holds the image and every module
  local dir=$1 name
  [ -s "$dir/vmlinuz" ] || return 1
  while read -r name _; do
    [ -z "$name" ] || [ -s "$dir/modules/$name.ko" ] || return 1
  done < <(grep -hv '^#' "${module_lists[@]}")
}

pkg=$(resolve)
if [ -z "$pkg" ]; then
  # No package lists yet: fall back on a kernel fetched before, else update.
  for dir in "$lab"/${wanted:-linux-image-6.1.0-*-amd64}; do
    if unpacked "$dir"; then echo "$dir"; exit 0; fi
  done
  say "no package lists; apt-get update"
  apt-get "${apt_opts[@]}" update >&2
  pkg=$(resolve)
  if [ -z "$pkg" ]; then
    if [ -n "$wanted" ]; then say "$wanted is not in the package lists"; else
      say "linux-image-amd64 names no 6.1 kernel package"; fi
    exit 1
  fi
fi

dir=$lab/$pkg
if unpacked "$dir"; then echo "$dir"; exit 0; fi

work=$(mktemp -d "$lab/fetch.XXXXXX")
trap 'rm -rf "$work"' EXIT
say "downloading $pkg"
if ! (cd "$work" && apt-get "${apt_opts[@]}" download "$pkg" >&2); then
  # Stale lists name a version the mirror no longer has.
  say "download failed; apt-get update and retry"
  apt-get "${apt_opts[@]}" update >&2
  pkg=$(resolve)
  dir=$lab/$pkg
  (cd "$work" && apt-get "${apt_opts[@]}" download "$pkg" >&2)
fi
dpkg-deb -x "$work"/"$pkg"_*.deb "$work/root"

rm -rf "$dir"
mkdir -p "$dir/modules"
cp "$work"/root/boot/vmlinuz-* "$dir/vmlinuz"
while read -r name _; do
  [ -n "$name" ] || continue
  found=$(find "$work/root/lib/modules" -name "$name.ko" -print -quit)
  [ -n "$found" ] || { say "$pkg has no module $name"; exit 1; }
  cp "$found" "$dir/modules/"
done < <(grep -hv '^#' "${module_lists[@]}")
echo "$dir"
