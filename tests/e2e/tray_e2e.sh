#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# End-to-end test of the real program in a virtual X display with a system tray.
#
# With a fresh, empty home it checks that without a tray the program says on standard error that
# the settings window opens instead, and that its access notice names that window; that the tray
# icon is embedded once a tray appears after the program has started, that clicking it shows the
# 300x340 panel hanging below the icon, that the next click on the icon or a click elsewhere
# closes it, that the first launch opened "Glidewheel Settings" (400x382 content) and a later
# launch does not, that a launch while running brings the settings forward and exits 0 (also
# after a killed instance left its socket behind) and one with --background brings nothing, that Quit in the panel and SIGTERM each end
# the program with status 0, and that without a display, or with one that cannot be opened, the
# program says so and exits 1.
# Then, with a test build pointed at a stand-in system under FAKE_ROOT (its pkexec is a stub
# this script writes), it checks that "Grant Access…" on the help page runs the grant helper
# through pkexec, and that the access warning leaves the settings window and the panel without a
# restart once the helper has given access.
# Screenshots go to the artefact directory.
#
# Usage: tray_e2e.sh <glidewheel executable> <artefact directory> <test build> <fake root>
# Exits 77 (skipped) when Xvfb, trayer, xdotool, xwininfo, import or convert is missing.
set -euo pipefail

program=$(realpath "$1")
artefacts=$2
test_build=$(realpath "$3")
fake_root=$4
rule=$(realpath "$(dirname "$0")/../../packaging/70-glidewheel.rules")

for tool in Xvfb trayer xdotool xwininfo import convert; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (scripts/deps test installs it)"
    exit 77
  fi
done

# Without a display, or with one that cannot be opened (a stale DISPLAY after the X server has
# gone, a WAYLAND_DISPLAY nobody listens on), it says what it needs and exits 1, instead of the
# toolkit's abort. The stale display is a socket path in a folder of this run's own, where no X
# server on the machine can be listening.
gone=$(mktemp -d)
trap 'rmdir "$gone"' EXIT
for session in "" "DISPLAY=$gone/X:0" "WAYLAND_DISPLAY=wayland-gone" \
  "DISPLAY=$gone/X:0 WAYLAND_DISPLAY=/nowhere"; do
  status=0
  # shellcheck disable=SC2086  # $session is a list of assignments
  said=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM $session "$program" 2>&1) || status=$?
  ((status == 1)) && [[ $said == *"needs a desktop session"* ]] ||
    { echo "FAIL: with '${session:-no display}': status $status, said: $said" >&2; exit 1; }
done
rmdir "$gone"
trap - EXIT

mkdir -p "$artefacts"
rm -f "$artefacts"/*.png
source "$(dirname "$0")/e2e_lib.sh"
logs=$work
on_failure() { shot failure; }

shot() {
  import -window root "$artefacts/$1.png" 2>/dev/null && echo "screenshot: $artefacts/$1.png"
}

# --- the display and a clean session ---
screen_width=1280
screen_height=800
start_xvfb "$screen_width" "$screen_height"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM DBUS_SESSION_BUS_ADDRESS SESSION_MANAGER
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" TMPDIR="$work/tmp"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$HOME" "$TMPDIR" && mkdir -m 0700 "$XDG_RUNTIME_DIR"

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
start_program() { launch_program; wait_for_icon; }

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
# Still no tray a few seconds on: one line says the settings window is the way in, and the access
# notice (there is no access here) names that window rather than the panel.
said_no_tray() { grep -qF 'no system tray was found; the settings window opens instead' "$work/glidewheel.log"; }
wait_for "the line about the missing tray" 15 said_no_tray
(($(grep -cF 'no system tray' "$work/glidewheel.log") == 1)) || fail "the missing tray was reported more than once"
grep -qF '"Accessibility Settings…" in the Glidewheel Settings window' "$work/glidewheel.log" ||
  fail "the access notice does not name the settings window"
start_tray
wait_for_icon
echo "icon embedded at ${icon_w}x${icon_h}+${icon_x}+${icon_y} once the tray appeared"

settings=$(settings_window)
size="$(field "$settings" 'Width')x$(field "$settings" 'Height')"
[[ $size == 400x382 ]] || fail "settings window content is $size, not 400x382"
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

# A launch at login (--background) while running leaves, bringing nothing forward.
"$program" --background >>"$work/glidewheel.log" 2>&1 &
pids+=($!)
expect_exit_0 $! "a background launch while running"
sleep 1  # a window asked for comes forward within a turn of the running one's event loop
settings_window >/dev/null && fail "a background launch brought the settings window forward"

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

# --- granting access from the help page, in a test build on a stand-in system ---
# The stand-in pkexec records its call and runs the helper as this user, with stand-ins for
# modprobe and udevadm; the udevadm trigger gives access the way the udev rule would, by making
# the stand-in /dev/uinput writable.
rm -rf "$fake_root"
mkdir -p "$fake_root/usr/bin" "$fake_root/stubs"
calls=$fake_root/calls.log
cat >"$fake_root/usr/bin/pkexec" <<STUB
#!/bin/sh
echo "pkexec \$*" >>'$calls'
PATH='$fake_root/stubs':/usr/bin:/bin exec "\$@"
STUB
cat >"$fake_root/stubs/modprobe" <<STUB
#!/bin/sh
echo "modprobe \$*" >>'$calls'
STUB
cat >"$fake_root/stubs/udevadm" <<STUB
#!/bin/sh
echo "udevadm \$*" >>'$calls'
if [ "\$1" = trigger ]; then mkdir -p '$fake_root/dev' && : >'$fake_root/dev/uinput'; fi
STUB
chmod +x "$fake_root/usr/bin/pkexec" "$fake_root/stubs/"*

# Pixels of the warning symbol's yellow in window $1.
yellow_pixels() {
  import -window "$1" png:- 2>/dev/null |
    convert png:- -fuzz 10% -fill black +opaque '#FFCC00' -fill white -opaque '#FFCC00' \
      -format '%[fx:round(mean*w*h)]' info:
}
shows_warning() { (($(yellow_pixels "$1") > 0)); }

export HOME="$work/home2" XDG_CONFIG_HOME="$work/home2/.config"
export RESOURCE_NAME=glidewheel  # its windows' instance name, which would be the file's name
mkdir -p "$HOME"
program=$test_build
start_program
wait_for "the first-launch settings window of the test build" 20 settings_window >/dev/null
settings=$(settings_window)
wait_for "the warning in the settings window" 10 shows_warning "$settings"

# The panel's warning row: the panel gives the header switch the keyboard, and Tab moves on to
# "Open Settings", which opens the help page.
click_icon
wait_for "the panel" 10 viewable_sized 300x340 >/dev/null
popup=$(viewable_sized 300x340)
wait_for "the panel to take the keyboard" 10 has_focus "$popup"
shows_warning "$popup" || fail "the panel shows no warning without access"
xdotool key Tab space
wait_for "the help page" 10 has_help_window
help=$(help_window)
wait_for "the help page to take the keyboard" 10 has_focus "$help"
shot help-page
xdotool key space  # "Grant Access…" has the keyboard
wait_for "the grant to give access" 10 test -e "$fake_root/dev/uinput"

expected_calls="pkexec $(dirname "$test_build")/glidewheel-grant-access
modprobe uinput
udevadm control --reload-rules
udevadm trigger --subsystem-match=input --subsystem-match=misc
udevadm settle --timeout=10"
wait_for "the helper to finish" 10 grep -qF settle "$calls"
[[ $(<"$calls") == "$expected_calls" ]] || fail "the grant ran: $(<"$calls")"
cmp -s "$fake_root/etc/udev/rules.d/70-glidewheel.rules" "$rule" ||
  fail "the helper did not install the udev rule"

# Noticed without a restart: the open settings window drops its warning, interception starts
# (its tap then finds no real /dev/uinput here and says so), and the panel shows no warning.
wait_for "the settings window to drop its warning" 10 not shows_warning "$settings"
wait_for "interception to start" 10 grep -qF 'cannot open /dev/uinput' "$work/glidewheel.log"
# A click on the icon within about a second of the grant opened no panel on the Debian 12 test
# machine, every time (its cause is not found yet); a click after that does.
sleep 2
click_icon
wait_for "the panel" 10 viewable_sized 300x340 >/dev/null
popup=$(viewable_sized 300x340)
shows_warning "$popup" && fail "the panel still shows the warning"
shot access-granted
kill -0 "$program_pid" || fail "the test build ended"
echo "access granted from the help page, noticed without a restart"
echo "PASS"
