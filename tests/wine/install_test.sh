#!/usr/bin/env bash
# The Windows installer under Wine: a silent install into Program Files,
# the installed CLI's --version equal to the Linux build's, the Start-menu
# entry and the uninstall entry, then a silent uninstall that leaves
# nothing behind. Runs in the prefix (and with the server) of its caller.
#
#   bash tests/wine/install_test.sh SETUP_EXE LINUX_CLI
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: install_test.sh SETUP_EXE LINUX_CLI" >&2; exit 64; }
setup=$1 linux_cli=$2
: "${WINEPREFIX:?}"
drive=$WINEPREFIX/drive_c
dir=$drive/"Program Files"/rtqflash
menu=$drive/ProgramData/Microsoft/Windows/"Start Menu"/Programs/rtqflash
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\rtqflash'
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "PASS: $*"; }

# What the prefix holds, without what Wine itself rewrites as it runs.
listing() {
  (cd "$drive" && find . -path ./windows -prune -o -path './users/*/Temp' -prune \
    -o -path './users/*/AppData/Local/Temp' -prune -o -print | sort)
}
before=$(mktemp) after=$(mktemp)
trap 'rm -f "$before" "$after"' EXIT
listing >"$before"

start=$(date +%s%N)
wine "$setup" /S </dev/null >/dev/null 2>&1 || fail "the installer exited with $?"
ms=$((($(date +%s%N) - start) / 1000000))
if [ -f "$dir/rtqflash.exe" ] && [ -f "$dir/rtqflash-cli.exe" ] && [ -f "$dir/uninstall.exe" ] &&
  [ -f "$menu/rtqflash.lnk" ]; then
  pass "silent install: programs, uninstaller and Start-menu entry in place (${ms} ms, setup $(stat -c %s "$setup") bytes)"
else
  fail "silent install: files missing"; ls -la "$dir" "$menu" 2>&1 || true
fi

want=$("$linux_cli" --version)
got=$(wine 'C:\Program Files\rtqflash\rtqflash-cli.exe' --version </dev/null 2>&1 | tr -d '\r')
[ "$got" = "$want" ] && pass "installed rtqflash-cli.exe --version: $got" ||
  fail "installed --version '$got', the Linux build says '$want'"
version=${want##* }
# The version resources say the same (UTF-16 strings in the programs).
for exe in rtqflash.exe rtqflash-cli.exe; do
  resource=$(strings -el "$dir/$exe" | grep -A1 -x FileVersion | tail -n 1)
  [ "$resource" = "$version" ] && pass "$exe version resource $resource" ||
    fail "$exe version resource '$resource', the Linux build says $version"
done
wine reg query "$key" /v DisplayVersion 2>/dev/null | tr -d '\r' | grep -q "REG_SZ *$version\$" &&
  pass "uninstall entry registered, version $version" || fail "no uninstall entry for $version"

wine 'C:\Program Files\rtqflash\uninstall.exe' /S </dev/null >/dev/null 2>&1 || true
# The uninstaller runs from a copy of itself and returns before it is done.
for _ in $(seq 150); do [ -e "$dir" ] || break; sleep 0.2; done
wine reg query "$key" >/dev/null 2>&1 && fail "the uninstall entry stayed"
listing >"$after"
if diff "$before" "$after" >/dev/null; then
  pass "silent uninstall: nothing left"
else
  fail "silent uninstall left:"; diff "$before" "$after" || true
fi
[ "$failures" -eq 0 ]
