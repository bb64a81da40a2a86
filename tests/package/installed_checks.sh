# Checks of the installed package inside the tree. Sourced by
# package_test.sh after chroot_tree.sh; each check_* function returns
# non-zero with a reason on stderr. ROOT is the tree, STAGE the folder
# inside it (as seen from inside) with the sample files; OUT the same
# folder as seen from this machine.

# Processes started here and not yet reaped, for the caller's clean-up.
check_pids=()
forget_pid() {
  local keep=() pid
  for pid in "${check_pids[@]}"; do
    [ "$pid" = "$1" ] || keep+=("$pid")
  done
  check_pids=("${keep[@]}")
}

# Every library the programs need is on the installed system: what the
# package's Depends field brought in is enough.
check_libraries() {
  local bin missing=0
  for bin in rtqflash rtqflash-cli rtqsim; do
    if in_tree "$ROOT" ldd "/usr/bin/$bin" | grep 'not found' >&2; then
      echo "$bin: missing libraries" >&2
      missing=1
    fi
  done
  return "$missing"
}

check_version() {
  local got
  got=$(in_tree "$ROOT" rtqflash-cli --version 2>&1) || { echo "$got" >&2; return 1; }
  [ "$got" = "rtqflash-cli $VERSION" ] || { echo "--version printed: $got" >&2; return 1; }
}

check_font_file() {
  local got
  got=$(in_tree "$ROOT" rtqflash-cli check --type font "$STAGE/samples/sample_font.bin" 2>&1) ||
    { echo "$got" >&2; return 1; }
  grep -q '^CG FONT: .*, 65536 bytes, 1 sector$' <<<"$got" || { echo "$got" >&2; return 1; }
}

# A CG FONT download to rtqsim over a pseudo-terminal linked as ttyUSB0 in
# a device folder of its own, reached as COM17. The simulated flash must
# hold the file's bytes at the font's address, 1 MiB.
check_font_flash() {
  local status=0 sim_status=0 last
  rm -rf "${OUT:?}/dev" "$OUT/flash.bin"
  mkdir "$OUT/dev"
  in_tree_bg "$OUT/sim.log" "$ROOT" rtqsim --link "$STAGE/dev/ttyUSB0" \
    --flash-out "$STAGE/flash.bin" --exit-after-reset
  local sim=$!
  check_pids+=("$sim")
  for _ in $(seq 100); do
    [ -L "$OUT/dev/ttyUSB0" ] && break
    kill -0 "$sim" 2>/dev/null || break
    sleep 0.1
  done
  if [ -L "$OUT/dev/ttyUSB0" ]; then
    in_tree "$ROOT" RTQFLASH_DEVICE_ROOT="$STAGE/dev" timeout 120 \
      rtqflash-cli flash --port COM17 --type "CG FONT" "$STAGE/samples/sample_font.bin" \
      >"$OUT/cli.out" 2>"$OUT/cli.err" || status=$?
  else
    echo "rtqsim did not start" >&2
    status=none
  fi
  # The printer leaves by itself after the reset that ends the download.
  for _ in $(seq 100); do
    kill -0 "$sim" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$sim" 2>/dev/null; then
    stop_pid "$sim"
    sim_status="still running"
  else
    wait "$sim" || sim_status=$?
  fi
  forget_pid "$sim"

  last=$(tail -n 1 "$OUT/cli.out" 2>/dev/null || true)
  if [ "$status" != 0 ] || [ "$last" != "result 1: Download successfully completed!" ]; then
    cat "$OUT/cli.out" "$OUT/cli.err" "$OUT/sim.log" >&2 2>/dev/null || true
    echo "flash ended with status $status" >&2
    return 1
  fi
  [ "$sim_status" = 0 ] || { cat "$OUT/sim.log" >&2; echo "rtqsim: $sim_status" >&2; return 1; }
  cmp -n 65536 "$OUT/samples/sample_font.bin" "$OUT/flash.bin" 0 1048576 >&2 ||
    { echo "the simulated flash does not hold the font" >&2; return 1; }
}

# The dialog starts on the installed system (toolkit and its platform
# plugin included) and is still up after a few seconds; it is then ended.
check_dialog_starts() {
  rm -rf "${OUT:?}/runtime"
  mkdir -m 700 "$OUT/runtime"
  in_tree_bg "$OUT/dialog.log" "$ROOT" QT_QPA_PLATFORM=offscreen \
    XDG_RUNTIME_DIR="$STAGE/runtime" rtqflash
  local dialog=$!
  check_pids+=("$dialog")
  sleep 3
  if ! kill -0 "$dialog" 2>/dev/null; then
    wait "$dialog" || true
    forget_pid "$dialog"
    cat "$OUT/dialog.log" >&2
    echo "rtqflash ended by itself" >&2
    return 1
  fi
  stop_pid "$dialog"
  forget_pid "$dialog"
}
