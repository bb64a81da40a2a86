#!/usr/bin/env bash
# Builds everything and runs every test: a warnings-as-errors build and
# its tests (the two labs included), the Windows build and its tests under
# Wine, all tests again under AddressSanitizer with UBSan, the threaded
# tests under ThreadSanitizer, then each fuzz target for a short while.
#
# The tests spend much of their time waiting (the labs' virtual machines
# on one core each, the protocol's pauses in real time), so the next
# stage's build goes on beside them at a lower priority: the tests keep
# the processor when they want it, the build takes what they leave.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="$(mktemp -d)"
chmod 700 "$XDG_RUNTIME_DIR"
jobs=$(nproc)

# A compiler cache, where the machine has one, makes repeated runs cheap.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

build() {  # build DIR [cmake options...]
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DRTQ_WERROR=ON "${launcher[@]}" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

# beside NAME COMMAND...: runs the command beside the current stage, its
# output in logs/NAME.log; aside does the same at a lower priority; finish
# NAME waits for it, prints the log and fails when the command did.
mkdir -p logs
declare -A beside_pid
stop_besides() {
  local pid
  for pid in "${beside_pid[@]}"; do
    pkill -P "$pid" 2>/dev/null || true
    kill "$pid" 2>/dev/null || true
  done
}
trap stop_besides EXIT
beside() {
  local name=$1; shift
  "$@" >"logs/$name.log" 2>&1 &
  beside_pid[$name]=$!
}
lower_priority() {
  renice -n 10 -p "$BASHPID" >/dev/null
  "$@"
}
aside() {
  local name=$1; shift
  beside "$name" lower_priority "$@"
}
finish() {
  local name=$1 status=0
  wait "${beside_pid[$name]}" || status=$?
  unset "beside_pid[$name]"
  cat "logs/$name.log"
  [ "$status" -eq 0 ] || { echo "== $name: failed (exit $status)"; exit 1; }
}

echo "== build and test"
build build
aside windows-build bash scripts/windows.sh build-win
ctest --test-dir build --output-on-failure -j "$jobs"
# The USB lab's line per case, also when it passed.
echo "== USB lab"
grep -E '^usb-lab: (booted|.* (PASS|FAIL)$)' build/Testing/Temporary/LastTest.log || true

echo "== Windows (Wine)"
# The Windows programs cross-built, their tests and runs against this
# build's rtqsim, all under Wine. The runs mostly wait out the protocol's
# pauses, so they go on beside the sanitizer build.
finish windows-build
beside wine-tests bash tests/wine/wine_tests.sh build-win build
build build-asan -DRTQ_SANITIZE=address -DCMAKE_BUILD_TYPE=Debug
finish wine-tests

tsan_build() {
  # Only what the threaded tests run: the test programs, and the programs
  # the system tests start.
  cmake -S . -B build-tsan -G Ninja -DRTQ_WERROR=ON "${launcher[@]}" -DRTQ_SANITIZE=thread \
    -DCMAKE_BUILD_TYPE=Debug >/dev/null
  local threaded
  mapfile -t threaded < <(ctest --test-dir build-tsan -L threaded -N | awk '/Test +#/ { print $3 }')
  cmake --build build-tsan -j "$jobs" --target "${threaded[@]}" rtqsim rtqflash-cli
}

echo "== AddressSanitizer + UBSan"
aside tsan-build tsan_build
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== ThreadSanitizer (threaded tests)"
finish tsan-build
aside fuzzing bash scripts/fuzz.sh 10
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L threaded

echo "== Fuzzing (10 s per target)"
finish fuzzing
