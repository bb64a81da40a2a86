# A real X session for acceptance tests: Xvfb with a window manager, and
# the operator's hands (xdotool) and eyes (xwininfo, xprop, screenshots).
# Sourced; every wait has a limit. Windows are X window ids in decimal.

x11_pids=()

# x11_start DIR: an X server on a free display and openbox on it; exports
# DISPLAY. Its files go to DIR.
x11_start() {
  local dir=$1
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
    3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
  x11_pids+=($!)
  wait_until 10 test -s "$dir/display" || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$(head -n 1 "$dir/display")"
  # The system's configuration without the minimize animation, so that a
  # window shown again is at its place at once.
  sed 's|<animateIconify>yes</animateIconify>|<animateIconify>no</animateIconify>|' \
    /etc/xdg/openbox/rc.xml >"$dir/openbox-rc.xml"
  openbox --sm-disable --config-file "$dir/openbox-rc.xml" >"$dir/openbox.log" 2>&1 &
  x11_pids+=($!)
  wait_until 10 wm_running || { echo "openbox did not start" >&2; return 1; }
}

# Ends what x11_start started, the window manager first.
x11_stop() {
  local i
  for ((i = ${#x11_pids[@]} - 1; i >= 0; i--)); do
    kill "${x11_pids[i]}" 2>/dev/null
    wait "${x11_pids[i]}" 2>/dev/null
  done
  x11_pids=()
}

wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# wait_until SECONDS COMMAND...: true once COMMAND succeeds, false when the
# time is up.
wait_until() {
  local limit=$1 tries
  shift
  tries=$((limit * 10))
  while ! "$@"; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.1
  done
}

# window NAME-REGEX: the ids of the visible windows with that title.
window() { xdotool search --onlyvisible --name "$1" 2>/dev/null; }
has_window() { [ -n "$(window "$1")" ]; }
no_window() { [ -z "$(window "$1")" ]; }

# Visible override-redirect windows of a class: the open list of a combo box.
popup_windows() {
  local w
  for w in $(xdotool search --onlyvisible --class "$1" 2>/dev/null); do
    xwininfo -id "$w" | grep -q 'Override Redirect State: yes' && echo "$w"
  done
}
has_popup() { [ -n "$(popup_windows "$1")" ]; }
no_popup() { [ -z "$(popup_windows "$1")" ]; }

# geometry ID: sets gx gy gw gh to the window's client area on the screen.
geometry() {
  local info
  info=$(xwininfo -id "$1") || return 1
  gx=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
  gy=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
  gw=$(sed -n 's/.*Width: *//p' <<<"$info")
  gh=$(sed -n 's/.*Height: *//p' <<<"$info")
}

# inside INNER OUTER: INNER's client area lies within OUTER's.
inside() {
  local ix iy iw ih
  geometry "$1" || return 1
  ix=$gx iy=$gy iw=$gw ih=$gh
  geometry "$2" || return 1
  [ "$ix" -ge "$gx" ] && [ "$iy" -ge "$gy" ] &&
    [ $((ix + iw)) -le $((gx + gw)) ] && [ $((iy + ih)) -le $((gy + gh)) ]
}

# The managed windows from bottom to top, in decimal.
stacking() {
  local id
  for id in $(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*#//; s/,/ /g'); do
    printf '%d\n' "$id"
  done
}

# above UPPER LOWER: UPPER is stacked above LOWER.
above() { stacking | tr '\n' ' ' | grep -Eq "(^| )$2 (.* )?$1 "; }

active_window() { printf '%d\n' "$(xprop -root _NET_ACTIVE_WINDOW | sed 's/.*# *//; s/,.*//')"; }

is_viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }

# click_du ID DU-WIDTH DU-HEIGHT X Y: a left click at (X, Y) in the units of
# a dialog laid out on a DU-WIDTH x DU-HEIGHT grid filling the window.
click_du() {
  local id=$1 duw=$2 duh=$3 x=$4 y=$5
  geometry "$id" || return 1
  xdotool mousemove --sync $((gx + (x * gw + duw / 2) / duw)) $((gy + (y * gh + duh / 2) / duh)) \
    click 1
}

# shot NAME: a picture of the whole screen, numbered in the order taken.
shot_count=0
shot() {
  shot_count=$((shot_count + 1))
  import -window root "$(printf '%s/%02d-%s.png' "$shots" "$shot_count" "$1")"
}
