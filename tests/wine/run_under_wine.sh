#!/usr/bin/env bash
# Runs one Windows program under Wine for CTest. Its output goes through a
# file: a Wine service started on the program's behalf inherits its
# standard handles and keeps them open after the program ended, and CTest
# would wait on that pipe until its time-out.
set -u
out=$(mktemp "${TMPDIR:-/tmp}/rtq-wine-out-XXXXXX")
wine "$@" >"$out" 2>&1 </dev/null
status=$?
cat "$out"
rm -f "$out"
exit "$status"
