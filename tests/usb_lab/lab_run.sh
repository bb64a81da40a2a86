#!/usr/bin/env bash
# Runs the USB lab's cases inside the guest, one after the other. Each case
# runs in its own process, bounded in time; whatever a case that had to be
# stopped left behind is removed before the next one starts. Appends one
# line per case to RESULTS/results:
#   CASE<TAB>VERDICT<TAB>RESULT<TAB>FLASH<TAB>SECONDS<TAB>NOTE
# and writes RESULTS/finished at the end.
#
#   lab_run.sh RESULTS BUILD SAMPLES CASE...
#   lab_run.sh --bound CASE...     the sum of the cases' bounds, in seconds
set -uo pipefail

# Upper bounds in seconds: what a case takes, most of it the run's own
# fixed waits, and about half as much again on a busy host.
bound() {
  case $1 in
    none) echo 30 ;;
    pin) echo 45 ;;
    bt-pin | bt-dialog) echo 90 ;;
    bt-gone | bt-off) echo 120 ;;
    bt-away) echo 90 ;;
    bt-font | bt-tty) echo 150 ;;
    smoke | acm-font) echo 60 ;;
    font | two | unplug-back | unplug-never) echo 90 ;;
    ipl | dialog | acm-unplug) echo 120 ;;
    main) echo 160 ;;
    *) echo 30 ;;
  esac
}

if [ "${1:-}" = --bound ]; then
  shift
  total=0
  for c in "$@"; do total=$((total + $(bound "$c"))); done
  echo "$total"
  exit 0
fi

results=$1 build=$2 samples=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lab_gadget.sh
. "$here/lab_gadget.sh"

now_ms() { echo $(($(date +%s%N) / 1000000)); }

for c in "$@"; do
  work=$results/$c
  rm -rf "$work"
  mkdir -p "$work"
  limit=$(bound "$c")
  echo "usb-lab-guest: case $c (at most ${limit}s)"
  start=$(now_ms)
  CASE_BOUND=$limit timeout -k 5 "$limit" bash "$here/lab_cases.sh" "$work" "$build" "$samples" "$c" \
    >"$work/case.log" 2>&1
  status=$?
  ms=$(($(now_ms) - start))
  seconds=$((ms / 1000)).$(((ms % 1000) / 100))

  verdict=FAIL result=- flash=- note=
  if [ -s "$work/result" ]; then
    IFS=$'\t' read -r verdict result flash note <"$work/result"
  fi
  if [ "$status" = 124 ] || [ "$status" = 137 ]; then
    verdict=FAIL
    note="no end within ${limit}s${note:+; $note}"
  elif [ ! -s "$work/result" ]; then
    note="ended without a result (status $status)"
  fi
  gadget_remove_all || { verdict=FAIL; note+="${note:+; }gadgets left behind"; }

  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$c" "$verdict" "$result" "$flash" "$seconds" "$note" \
    >>"$results/results"
  echo "usb-lab-guest: case $c $verdict (${seconds}s) $note"
done
: >"$results/finished"
