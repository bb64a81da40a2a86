#!/usr/bin/env bash
# Builds the Windows programs (rtqflash.exe, rtqflash-cli.exe and the
# core's tests), the installer rtqflash-<version>-setup.exe and the zip
# rtqflash-<version>-win64.zip with the mingw-w64 cross compiler and NSIS
# in build-win/.
#
#   bash scripts/windows.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-win}
bash scripts/install-deps.sh
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$dir" -G Ninja -DRTQ_WERROR=ON -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  "${launcher[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
