#!/usr/bin/env bash
# Builds and starts the simulated printer on a pseudo-terminal.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target rtqsim
exec build/sim/rtqsim --link "${TMPDIR:-/tmp}/rtqsim-tty"
