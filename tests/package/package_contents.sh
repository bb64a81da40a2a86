# Checks of the package's files, unpacked in a folder. Sourced by
# package_test.sh; each function returns non-zero with a reason on stderr.

check_payload() {
  local root=$1 path bad=0
  local wanted=(
    usr/bin/rtqflash usr/bin/rtqflash-cli usr/bin/rtqsim
    usr/share/applications/rtqflash.desktop
    usr/share/icons/hicolor/16x16/apps/rtqflash.png
    usr/share/icons/hicolor/32x32/apps/rtqflash.png
    usr/share/icons/hicolor/48x48/apps/rtqflash.png
    usr/share/man/man1/rtqflash.1.gz usr/share/man/man1/rtqflash-cli.1.gz
    usr/share/man/man1/rtqsim.1.gz
    usr/share/doc/rtqflash/copyright usr/share/doc/rtqflash/changelog.gz)
  for path in "${wanted[@]}"; do
    [ -f "$root/$path" ] || { echo "missing: /$path" >&2; bad=1; }
  done
  compgen -G "$root/usr/share/metainfo/*.metainfo.xml" >/dev/null ||
    { echo "missing: AppStream metainfo" >&2; bad=1; }
  compgen -G "$root/usr/lib/udev/rules.d/*.rules" >/dev/null ||
    { echo "missing: udev rule" >&2; bad=1; }
  for path in usr/bin/rtqflash usr/bin/rtqflash-cli usr/bin/rtqsim; do
    [ -f "$root/$path" ] || continue
    file -b "$root/$path" | grep -q ', stripped' || { echo "not stripped: /$path" >&2; bad=1; }
  done
  # Each icon is as large as the folder it is in says.
  for path in 16 32 48; do
    file -b "$root/usr/share/icons/hicolor/${path}x${path}/apps/rtqflash.png" 2>/dev/null |
      grep -q "PNG image data, $path x $path," || { echo "icon ${path}x$path: wrong size" >&2; bad=1; }
  done
  return "$bad"
}

# The udev rule grants the seat's user every id pair the programs look
# for (the table in HEADER) and no other, and runs before the rule that
# acts on the uaccess tag.
check_udev_rule() {
  local root=$1 header=$2 rules pair vendor product bad=0 count
  rules=$(compgen -G "$root/usr/lib/udev/rules.d/*.rules" | head -n 1)
  [ -n "$rules" ] || { echo "no udev rule" >&2; return 1; }
  local order
  order=$(basename "$rules" | sed -n 's/^\([0-9][0-9]*\)-.*/\1/p')
  if [ -z "$order" ] || [ "$order" -ge 73 ]; then
    echo "$(basename "$rules") does not sort before 73-seat-late.rules" >&2
    bad=1
  fi
  count=0
  while IFS= read -r pair; do
    vendor=$(sed 's/{"\([^"]*\)", "\([^"]*\)"}/\1/' <<<"$pair" | tr 'A-F' 'a-f')
    product=$(sed 's/{"\([^"]*\)", "\([^"]*\)"}/\2/' <<<"$pair" | tr 'A-F' 'a-f')
    count=$((count + 1))
    grep '^SUBSYSTEM=="usbmisc", KERNEL=="lp\[0-9\]\*"' "$rules" |
      grep "ATTRS{idVendor}==\"$vendor\", ATTRS{idProduct}==\"$product\"" |
      grep -q 'TAG+="uaccess"' || { echo "no uaccess rule for $vendor:$product" >&2; bad=1; }
  done < <(grep -o '{"[0-9A-Fa-f]\{4\}", "[0-9A-Fa-f]\{4\}"}' "$header")
  [ "$count" -gt 0 ] || { echo "no id pairs found in $header" >&2; return 1; }
  [ "$(grep -c 'TAG+="uaccess"' "$rules")" -eq "$count" ] ||
    { echo "the rule grants access to ids the programs do not use" >&2; bad=1; }
  return "$bad"
}
