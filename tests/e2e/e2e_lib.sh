# SPDX-License-Identifier: MIT
# Shared by the end-to-end scripts. Sourcing it makes a scratch folder, $work, removed at exit
# with every process whose pid the script adds to $pids. A script sets $logs (the folder whose
# *.log files a failure shows) and may define on_failure, run first when a check fails.

work=$(mktemp -d)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM INT HUP PIPE  # a timeout's signal still tears everything down

fail() {
  echo "FAIL: $*" >&2
  if declare -F on_failure >/dev/null; then on_failure || true; fi
  for log in "$logs"/*.log; do
    [[ -s $log ]] && { echo "--- $(basename "$log")"; tail -n 40 "$log"; } >&2
  done
  exit 1
}

# Polls `$@` every 0.1 s until it succeeds; fails after $timeout seconds.
wait_for() {
  local what=$1 timeout=$2
  shift 2
  local deadline=$((SECONDS + timeout))
  until "$@"; do
    ((SECONDS < deadline)) || fail "timed out after ${timeout}s waiting for $what"
    sleep 0.1
  done
}

# --- a private system, for a script already in a mount namespace of its own (unshare) ---

# Mounts a tmpfs over /run, which holds everything mounted below, and binds a copy of /etc over
# /etc, for users and polkit rules of the test's own.
make_private_system() {
  mount -n -t tmpfs -o mode=755 glidewheel-e2e /run
  private=/run/glidewheel-e2e
  mkdir -p /run/dbus "$private"
  cp -a /etc "$private/etc"
  mount -n --bind "$private/etc" /etc
}

# Makes folder $1 writable in this namespace: a folder of links to what it holds is bound over
# it. Prints the path of that folder.
private_dir() {
  local original="$private/original$1" copy="$private/copy$1" entry
  mkdir -p "$original" "$copy"
  mount -n --bind "$1" "$original"
  for entry in "$original"/* "$original"/.[!.]*; do
    if [[ -L $entry ]]; then
      cp -P "$entry" "$copy/"  # a relative link still points where it did
    elif [[ -e $entry ]]; then
      ln -s "$entry" "$copy/"
    fi
  done
  mount -n --bind "$copy" "$1"
  echo "$copy"
}

# Waits up to 10 s for `$@` to succeed while process $2 runs; skips (the script's skip), showing
# log $3, if it ends.
wait_for_service() {
  local what=$1 pid=$2 log=$3
  shift 3
  local deadline=$((SECONDS + 10))
  until "$@"; do
    kill -0 "$pid" 2>/dev/null || skip "$what cannot start here: $(tail -n 5 "$log" | tr '\n' ' ')"
    ((SECONDS < deadline)) || skip "$what did not start within 10 s: $(tail -n 5 "$log" | tr '\n' ' ')"
    sleep 0.1
  done
}

# Whether a service owns bus name $1 on the system bus.
on_system_bus() {
  dbus-send --system --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
    "string:$1" 2>/dev/null | grep -q 'boolean true'
}

# A system bus at its standard socket, and Debian's polkitd on it.
start_system_bus() {
  dbus-daemon --system --nofork --nopidfile >"$work/dbus.log" 2>&1 &
  pids+=($!)
  wait_for_service "the system bus" $! "$work/dbus.log" test -S /run/dbus/system_bus_socket
}
start_polkitd() {
  /usr/lib/polkit-1/polkitd >"$work/polkitd.log" 2>&1 &
  pids+=($!)
  wait_for_service "polkitd" $! "$work/polkitd.log" on_system_bus org.freedesktop.PolicyKit1
}

# --- a virtual X display with a tray, and our windows on it (xwininfo, xdotool) ---

# Starts Xvfb, $1 by $2 pixels, on a display number no other X server has, and points DISPLAY
# at it.
start_xvfb() {
  Xvfb -displayfd 3 -screen 0 "${1}x${2}x24" -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  wait_for "Xvfb" 10 test -s "$work/display"
  export DISPLAY=":$(<"$work/display")"
}

# Starts a tray at the top right of the screen; $panel is its window.
start_tray() {
  trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
    --transparent false --tint 0x404040 >"$work/trayer.log" 2>&1 &
  pids+=($!)
  wait_for "the tray" 10 has_tray_panel
  panel=$(tray_panel)
}

tray_panel() { xwininfo -root -tree | awk '/\("panel" "trayer"\)/ { print $1; exit }'; }
has_tray_panel() { [[ -n $(tray_panel) ]]; }
# The id of our icon window inside the tray.
icon_window() { xwininfo -id "$panel" -tree | awk '/\("glidewheel" "glidewheel"\)/ { print $1; exit }'; }
# Ids of our top-level windows whose geometry starts with $1 (e.g. 300x340).
windows_sized() {
  xwininfo -root -children | awk -v size="$1" '/\("glidewheel" "glidewheel"\)/ && $0 ~ " " size "\\+" { print $1 }'
}
has_icon() { [[ -n $(icon_window) ]]; }
viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
viewable_sized() {
  local id
  for id in $(windows_sized "$1"); do viewable "$id" && { echo "$id"; return 0; }; done
  return 1
}
not() { ! "$@"; }
has_focus() { (($(xdotool getwindowfocus 2>/dev/null || echo 0) == $1)); }
field() { xwininfo -id "$1" | awk -F: -v key="$2" '$1 ~ key { gsub(/ /, "", $2); print $2; exit }'; }
# Waits for our icon in the tray; $icon is its window, $icon_x, $icon_y, $icon_w and $icon_h its
# place on the screen.
wait_for_icon() {
  wait_for "the icon in the tray" 30 has_icon
  icon=$(icon_window)
  icon_x=$(field "$icon" 'Absolute upper-left X')
  icon_y=$(field "$icon" 'Absolute upper-left Y')
  icon_w=$(field "$icon" 'Width')
  icon_h=$(field "$icon" 'Height')
}

click() { xdotool mousemove "$1" "$2" click 1; }
click_icon() { click $((icon_x + icon_w / 2)) $((icon_y + icon_h / 2)); }

help_window() { xdotool search --onlyvisible --name '^Glidewheel: Access to Your Mouse$' 2>/dev/null | head -n 1; }
has_help_window() { [[ -n $(help_window) ]]; }

