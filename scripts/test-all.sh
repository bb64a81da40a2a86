#!/usr/bin/env bash
# Builds everything and runs every test: a warnings-as-errors build and
# its tests (the two labs included), the Windows build and its tests under
# Wine, all tests again under AddressSanitizer with UBSan, the threaded
# tests under ThreadSanitizer, then each fuzz target for a short while.
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

echo "== build and test"
build build
ctest --test-dir build --output-on-failure -j "$jobs"
# The USB lab's line per case, also when it passed.
echo "== USB lab"
grep -E '^usb-lab: (booted|.* (PASS|FAIL)$)' build/Testing/Temporary/LastTest.log || true

echo "== Windows (Wine)"
# The Windows programs cross-built, their tests and runs against this
# build's rtqsim, all under Wine. The runs mostly wait out the protocol's
# pauses, so they go on beside the sanitizer build.
bash scripts/windows.sh build-win
bash tests/wine/wine_tests.sh build-win build >build-win/wine-tests.log 2>&1 &
wine_pid=$!
build build-asan -DRTQ_SANITIZE=address -DCMAKE_BUILD_TYPE=Debug
wine_status=0
wait "$wine_pid" || wine_status=$?
cat build-win/wine-tests.log
[ "$wine_status" -eq 0 ] || { echo "== Windows (Wine): failed"; exit 1; }

echo "== AddressSanitizer + UBSan"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== ThreadSanitizer (threaded tests)"
# Only what those tests run: the test programs, and the programs the
# system tests start.
cmake -S . -B build-tsan -G Ninja -DRTQ_WERROR=ON "${launcher[@]}" -DRTQ_SANITIZE=thread \
  -DCMAKE_BUILD_TYPE=Debug >/dev/null
mapfile -t threaded < <(ctest --test-dir build-tsan -L threaded -N | awk '/Test +#/ { print $3 }')
cmake --build build-tsan -j "$jobs" --target "${threaded[@]}" rtqsim rtqflash-cli
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L threaded

echo "== Fuzzing (10 s per target)"
bash scripts/fuzz.sh 10
