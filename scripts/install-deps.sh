#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the GUI need.
set -euo pipefail
pkgs=(cmake ninja-build g++ libgtest-dev libgmock-dev qt6-base-dev fonts-dejavu-core
  # rtqflash-cli and rtqsim: command-line parsing and JSON output (both
  # header-only).
  libcli11-dev nlohmann-json3-dev
  # The Bluetooth link: RFCOMM socket headers and the printer's service
  # directory (SDP), and BlueZ's paired devices over D-Bus.
  libbluetooth-dev libsdbus-c++-dev
  # The USB lab (tests/usb_lab): a virtual machine booted from an initramfs.
  qemu-system-x86 busybox-static cpio
  # Its Bluetooth cases: bluetoothd, btmgmt, sdptool, bluetoothctl (bluez),
  # btvirt (bluez-test-tools), the system bus (dbus) and the pairing agent
  # (python3-dbus, python3-gi).
  bluez bluez-test-tools dbus python3-dbus python3-gi
  # The real-window test (tests/x11): X server, window manager, input,
  # window queries and screenshots.
  xvfb openbox xdotool x11-utils imagemagick
  # The Debian package (tests/package): cpack's dependency list, checks of
  # the package and its desktop files, and a Debian tree to install it in.
  dpkg-dev file lintian desktop-file-utils appstream debootstrap
  # The fuzz targets (tests/fuzz, scripts/fuzz.sh): clang with libFuzzer and
  # its sanitizer runtimes.
  clang libclang-rt-14-dev
  # A wall-clock step in the middle of a run (tests/cli).
  libfaketime
  # The Windows programs (scripts/windows.sh): the mingw-w64 cross
  # compiler (posix threads) with windres, Wine to run them and their
  # tests, NSIS for the installer.
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev wine wine64 nsis
  # rtqflash.exe's icon and About picture, made from the PNGs at build time.
  icoutils netpbm)
missing=()
for p in "${pkgs[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq "${missing[@]}"
