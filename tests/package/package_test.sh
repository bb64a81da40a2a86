#!/usr/bin/env bash
# The Debian package end to end: builds it with cpack in BUILD_DIR, checks
# it with lintian, desktop-file-validate and appstreamcli, installs it with
# apt-get into a minimal Debian 12 tree (made by debootstrap once and kept
# in BUILD_DIR/package-test), runs the installed programs there (a CG FONT
# download to the simulated printer included) and purges it again, leaving
# the tree as it found it.
#
#   bash tests/package/package_test.sh BUILD_DIR
#
# Build BUILD_DIR first. Needs root (otherwise it exits 77: skipped),
# debootstrap, lintian, desktop-file-utils, appstream and dpkg-dev
# (scripts/install-deps.sh), and Debian's mirror (RTQ_DEBIAN_MIRROR, default
# http://deb.debian.org/debian) for the tree and the package's dependencies.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)

say() { echo "package: $*"; }
die() { echo "package: $*" >&2; exit 1; }

if [ $# -ne 1 ] || [ "$1" = -h ] || [ "$1" = --help ]; then
  sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'
  [ $# -eq 1 ] && exit 0
  exit 64
fi
[ -d "$1" ] || die "no build folder $1"
if [ "$(id -u)" -ne 0 ]; then
  say "needs root (chroot, mounts): skipped"
  exit 77
fi
build=$(cd "$1" && pwd -P)
for tool in cpack lintian desktop-file-validate appstreamcli debootstrap dpkg-shlibdeps; do
  command -v "$tool" >/dev/null || die "$tool not found (bash scripts/install-deps.sh)"
done
work=$build/package-test
mkdir -p "$work"
exec 9>"$work/lock"
flock -n 9 || die "another run is using $work"
source "$here/chroot_tree.sh"
source "$here/installed_checks.sh"
started=$SECONDS
passed=0
failed=0
# check NAME COMMAND...: runs one check, counts it and goes on either way.
check() {
  local name=$1
  shift
  if "$@"; then
    say "$name PASS"
    passed=$((passed + 1))
  else
    say "$name FAIL"
    failed=$((failed + 1))
  fi
}

VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$VERSION" ] || die "no project version in $build/CMakeCache.txt"
arch=$(dpkg --print-architecture)
deb=$build/rtqflash_${VERSION}_${arch}.deb
rm -f "$build"/rtqflash_*.deb
(cd "$build" && cpack -G DEB) >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; die "cpack failed"; }
[ -f "$deb" ] || die "cpack did not write $(basename "$deb")"
say "built $(basename "$deb") in $((SECONDS - started))s"

source "$here/package_contents.sh"
contents=$work/contents
rm -rf "$contents"
dpkg-deb -x "$deb" "$contents"
check "payload" check_payload "$contents"
check "udev rule" check_udev_rule "$contents" "$src/ports/linux/usb_device_lookup.h"
check "desktop-file-validate" desktop-file-validate "$contents/usr/share/applications/rtqflash.desktop"
check "appstreamcli validate" appstreamcli validate --no-net \
  "$contents"/usr/share/metainfo/*.metainfo.xml
# Errors fail; warnings and informational tags are only shown.
check "lintian" lintian --fail-on error --display-info "$deb"

tree=$work/bookworm
mirror=${RTQ_DEBIAN_MIRROR:-http://deb.debian.org/debian}
if [ -e "$tree/.complete" ]; then
  say "reusing the Debian 12 tree in $tree"
else
  say "making a Debian 12 tree from $mirror (once)"
  t=$SECONDS
  tree_prepare "$tree" "$mirror" "$work/debootstrap.log" || die "debootstrap failed"
  say "made the tree in $((SECONDS - t))s"
fi
ROOT=$(cd "$tree" && pwd -P)
STAGE=/tmp/rtqpkg
OUT=$ROOT$STAGE

cleanup() {
  local pid
  for pid in "${check_pids[@]}"; do stop_pid "$pid"; done
  tree_unmount "$ROOT"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
tree_unmount "$ROOT"  # whatever a killed run left
tree_mount "$ROOT"

rm -rf "${OUT:?}"
mkdir -p "$OUT"
cp "$deb" "$OUT/"
bash "$src/scripts/make-samples.sh" "$OUT/samples"
# apt reads the local package as its unprivileged download user.
chmod -R a+rX "$OUT"
cp -L /etc/resolv.conf "$ROOT/etc/resolv.conf"

# A package left by an interrupted run goes first.
if in_tree "$ROOT" dpkg-query -W rtqflash >/dev/null 2>&1; then
  in_tree "$ROOT" apt-get purge -y -q --autoremove rtqflash >"$work/purge-leftover.log" 2>&1 ||
    die "could not purge the package left by an earlier run"
fi
# shellcheck disable=SC2016 # dpkg-query's own fields
installed() { in_tree "$ROOT" dpkg-query -W -f '${Package} ${Version}\n' | sort; }
installed >"$work/packages.before"

# Without recommended packages: Depends alone must be enough. A stale
# package list (the mirror moved on) is renewed once.
install=(apt-get install -y -q --no-install-recommends "$STAGE/$(basename "$deb")")
t=$SECONDS
if ! in_tree "$ROOT" "${install[@]}" >"$work/install.log" 2>&1; then
  in_tree "$ROOT" apt-get update -q >>"$work/install.log" 2>&1 || true
  in_tree "$ROOT" "${install[@]}" >>"$work/install.log" 2>&1 ||
    { tail -n 30 "$work/install.log" >&2; die "apt-get install failed"; }
fi
say "installed with $(grep -c '^Setting up' "$work/install.log") packages in $((SECONDS - t))s"
in_tree "$ROOT" dpkg-query -L rtqflash >"$work/files"

check "libraries" check_libraries
check "rtqflash-cli --version" check_version
check "rtqflash-cli check" check_font_file
check "CG FONT flash to rtqsim" check_font_flash
check "rtqflash starts" check_dialog_starts

# Purged, the package leaves no file and no dependency behind.
removed() {
  in_tree "$ROOT" apt-get purge -y -q --autoremove rtqflash >"$work/purge.log" 2>&1 ||
    { tail -n 20 "$work/purge.log" >&2; return 1; }
  installed >"$work/packages.after"
  diff "$work/packages.before" "$work/packages.after" >&2 || return 1
  local path left=0
  while IFS= read -r path; do
    if [ -e "$ROOT$path" ] && [ ! -d "$ROOT$path" ]; then
      echo "left behind: $path" >&2
      left=1
    fi
  done <"$work/files"
  return "$left"
}
check "purge" removed
rm -rf "$OUT"

say "took $((SECONDS - started))s"
echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
