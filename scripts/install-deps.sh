#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the GUI need.
set -euo pipefail
pkgs=(cmake ninja-build g++ libgtest-dev libgmock-dev qt6-base-dev fonts-dejavu-core)
missing=()
for p in "${pkgs[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq "${missing[@]}"
