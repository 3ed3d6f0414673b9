#!/usr/bin/env bash
# End-to-end test of the real program in a virtual X display with a system tray.
#
# With a fresh, empty home it checks that the tray icon is embedded once a tray appears after the
# program has started, that clicking it shows the 300x340 panel hanging below the icon, that the
# next click on the icon or a click elsewhere closes it, that the first launch opened "Glidewheel
# Settings" (360x340 content) and a later launch does not, that a launch while running brings the
# settings forward and exits 0 (also after a killed instance left its socket behind), that Quit in
# the panel and SIGTERM each end the program with status 0, and that without a display the
# program says so and exits 1.
# Screenshots go to the artefact directory.
#
# Usage: tray_e2e.sh <glidewheel executable> <artefact directory>
# Exits 77 (skipped) when Xvfb, trayer, xdotool, xwininfo or import is missing.
set -euo pipefail

program=$(realpath "$1")
artefacts=$2

for tool in Xvfb trayer xdotool xwininfo import; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (scripts/deps test installs it)"
    exit 77
  fi
done

# Without a display it says what it needs and exits 1, instead of the toolkit's abort.
status=0
no_session=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" 2>&1) || status=$?
((status == 1)) && [[ $no_session == *"needs a desktop session"* ]] ||
  { echo "FAIL: without a display: status $status, said: $no_session" >&2; exit 1; }

mkdir -p "$artefacts"
rm -f "$artefacts"/*.png
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
  shot failure || true
  for log in "$work"/*.log; do
    [[ -s $log ]] && { echo "--- $(basename "$log")"; cat "$log"; } >&2
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

shot() {
  import -window root "$artefacts/$1.png" 2>/dev/null && echo "screenshot: $artefacts/$1.png"
}

# --- the display and a clean session ---
screen_width=1280
screen_height=800
Xvfb -displayfd 3 -screen 0 "${screen_width}x${screen_height}x24" -nolisten tcp \
  3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
wait_for "Xvfb" 10 test -s "$work/display"
display_number=$(<"$work/display")
export DISPLAY=":$display_number"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM DBUS_SESSION_BUS_ADDRESS SESSION_MANAGER
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" TMPDIR="$work/tmp"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$HOME" "$TMPDIR" && mkdir -m 0700 "$XDG_RUNTIME_DIR"

# --- helpers that read the X window tree ---
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
settings_window() {
  local id
  for id in $(xdotool search --onlyvisible --name '^Glidewheel Settings$' 2>/dev/null); do
    echo "$id"
    return 0
  done
  return 1
}

launch_program() {
  "$program" >>"$work/glidewheel.log" 2>&1 &
  program_pid=$!
  pids+=("$program_pid")
}
wait_for_icon() {
  wait_for "the icon in the tray" 30 has_icon
  icon=$(icon_window)
  icon_x=$(field "$icon" 'Absolute upper-left X')
  icon_y=$(field "$icon" 'Absolute upper-left Y')
  icon_w=$(field "$icon" 'Width')
  icon_h=$(field "$icon" 'Height')
}

start_program() { launch_program; wait_for_icon; }

click() { xdotool mousemove "$1" "$2" click 1; }
click_icon() { click $((icon_x + icon_w / 2)) $((icon_y + icon_h / 2)); }

# Waits for process $1 to end and fails unless it exited with status 0; $2 says what ended it.
expect_exit_0() {
  local deadline=$((SECONDS + 10))
  while kill -0 "$1" 2>/dev/null; do
    ((SECONDS < deadline)) || fail "$2 did not end the program"
    sleep 0.1
  done
  local status=0
  wait "$1" || status=$?
  ((status == 0)) || fail "$2: the program exited with status $status"
}

# Quit is the panel's last control: the panel gives its first control the keyboard when it
# shows, so Shift+Tab wraps round to Quit and Space presses it, wherever the layout put it.
quit_from_panel() {
  click_icon
  wait_for "the panel" 10 viewable_sized 300x340 >/dev/null
  local popup
  popup=$(viewable_sized 300x340)
  wait_for "the panel to take the keyboard" 10 has_focus "$popup"
  xdotool key shift+Tab space
  expect_exit_0 "$program_pid" "Quit in the panel"
}

# --- first launch, before the tray exists (as at login, before the panel has started) ---
launch_program
wait_for "the first-launch settings window" 20 settings_window >/dev/null
trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
  --transparent false --tint 0x404040 >"$work/trayer.log" 2>&1 &
pids+=($!)
wait_for "the tray" 10 has_tray_panel
panel=$(tray_panel)
wait_for_icon
echo "icon embedded at ${icon_w}x${icon_h}+${icon_x}+${icon_y} once the tray appeared"

settings=$(settings_window)
size="$(field "$settings" 'Width')x$(field "$settings" 'Height')"
[[ $size == 360x340 ]] || fail "settings window content is $size, not 360x340"
shot first-launch

click_icon
wait_for "the panel after clicking the icon" 10 viewable_sized 300x340 >/dev/null
popup=$(viewable_sized 300x340)
popup_x=$(field "$popup" 'Absolute upper-left X')
popup_y=$(field "$popup" 'Absolute upper-left Y')
shot panel-open
((popup_y == icon_y + icon_h)) || fail "panel top is $popup_y, not just below the icon ($((icon_y + icon_h)))"
((popup_x <= icon_x + icon_w && popup_x + 300 >= icon_x)) || fail "panel at x $popup_x is not under the icon"
((popup_x >= 0 && popup_x + 300 <= screen_width)) || fail "panel runs off the screen at x $popup_x"

# The icon toggles: a second click closes the panel and does not open it again at once.
click_icon
wait_for "the panel to close after a click on the icon" 10 not viewable "$popup"
sleep 0.5  # a shown panel may be a new window: look for any
not viewable_sized 300x340 >/dev/null || fail "the click that closed the panel opened it again"
click_icon
wait_for "the panel after a third click" 10 viewable_sized 300x340 >/dev/null
popup=$(viewable_sized 300x340)

click 200 $((screen_height - 60))
wait_for "the panel to close after a click elsewhere" 10 not viewable "$popup"
shot panel-closed

quit_from_panel
echo "first run quit with status 0"

# --- second launch: same home, no settings window ---
start_program
sleep 3  # the first launch opened its window within a turn of the event loop
settings_window >/dev/null && fail "the second launch opened the settings window"
shot second-launch

# Killed, it leaves its socket behind; the next instance must still take over.
kill -KILL "$program_pid"
{ wait "$program_pid"; } 2>/dev/null || true  # no "Killed" notice
wait_for "the killed program's icon to go" 10 not has_icon
start_program

# A launch while running asks the running one for its settings and leaves.
"$program" >>"$work/glidewheel.log" 2>&1 &
pids+=($!)
expect_exit_0 $! "a launch while running"
wait_for "the running instance's settings window" 10 settings_window >/dev/null
shot settings-on-request

# Logout sends SIGTERM: the program quits the normal way.
kill -TERM "$program_pid"
expect_exit_0 "$program_pid" "SIGTERM"
echo "third run ended by SIGTERM with status 0"
! grep -F 'unsetUrlHandler' "$work/glidewheel.log" || fail "a URL handler outlived its registration"
echo "PASS"
