#!/usr/bin/env bash
# Builds the fuzz targets (clang++, libFuzzer, AddressSanitizer + UBSan) in
# build-fuzz and runs each for SECONDS (default 20), starting from a scratch
# copy of its committed corpus and regression inputs, so the committed
# corpus never grows. Prints each target's executions and coverage; fails
# if any target finds anything (crash, leak, broken property, time-out),
# keeping the input under build-fuzz/findings/TARGET/. A finding becomes a
# regression test once its input is committed under
# tests/fuzz/regressions/TARGET/.
#
# usage: scripts/fuzz.sh [SECONDS] [TARGET...]
# FUZZ_JOBS=N runs N targets at a time (default 2, so that the build and
# all seven targets fit in about four minutes on two cores).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
[ $# -gt 0 ] && shift
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
  echo "usage: scripts/fuzz.sh [SECONDS] [TARGET...]" >&2
  exit 64
fi
all=(fuzz_data_file fuzz_model_table fuzz_sim_frames fuzz_serial_link fuzz_usb_link
  fuzz_cli_options fuzz_rtqsim_options)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all[@]}")
jobs=${FUZZ_JOBS:-2}

build=build-fuzz
started=$SECONDS
# Light optimisation and line tables only: the build is part of the time
# budget, and the sanitizers' reports need no more than lines.
nice -n 10 cmake -S . -B "$build" -G Ninja -DRTQ_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
  -DRTQ_WERROR=ON -DRTQ_GUI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" >/dev/null
nice -n 10 cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"
echo "fuzz targets built in $((SECONDS - started)) s"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

run_target() {  # run_target TARGET: fuzzes it, leaves its log in the scratch folder
  local t=$1 work=$scratch/$1
  mkdir -p "$work/corpus" "$work/tmp" "$build/findings/$t"
  cp tests/fuzz/corpus/"$t"/* "$work/corpus/"
  if [ -d tests/fuzz/regressions/"$t" ]; then
    cp tests/fuzz/regressions/"$t"/* "$work/corpus/" 2>/dev/null || true
  fi
  local dict=()
  [ -f tests/fuzz/dict/"$t".dict ] && dict=(-dict=tests/fuzz/dict/"$t".dict)
  local rc=0
  TMPDIR=$work/tmp nice -n 10 "$build/tests/fuzz/$t" -max_total_time="$seconds" \
    -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$build/findings/$t/" "${dict[@]}" "$work/corpus" \
    >"$work/log" 2>&1 || rc=$?
  echo "$rc" >"$work/rc"
}

report() {  # report TARGET: prints its line; returns non-zero on a finding
  local t=$1 work=$scratch/$1
  local rc done execs
  rc=$(cat "$work/rc")
  done=$(grep -E '^#[0-9]+[[:space:]]+DONE ' "$work/log" | tail -1 || true)
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -1)
  printf '%-20s %s executions  %s\n' "$t" "${execs:-?}" \
    "$(sed -E 's/^#[0-9]+[[:space:]]+DONE[[:space:]]+//' <<<"${done:-no final line}")"
  if [ "$rc" -ne 0 ]; then
    echo "---- $t found something (exit $rc); its input is in $build/findings/$t/" >&2
    grep -E 'ERROR|fuzz property broken|SUMMARY|Test unit written' "$work/log" >&2 || true
    tail -n 40 "$work/log" >&2
    return 1
  fi
}

failed=0
for ((i = 0; i < ${#targets[@]}; i += jobs)); do
  batch=("${targets[@]:i:jobs}")
  for t in "${batch[@]}"; do run_target "$t" & done
  wait
  for t in "${batch[@]}"; do report "$t" || failed=1; done
done
echo "fuzzing took $((SECONDS - started)) s in all"
exit $failed
