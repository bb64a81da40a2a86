#!/usr/bin/env bash
# Builds the Windows programs (rtqflash.exe, rtqflash-cli.exe and the
# core's tests) with the mingw-w64 cross compiler in build-win/.
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
