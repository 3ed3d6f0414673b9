#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# End-to-end test of the real program in a Wayland session without a tray: weston's headless
# backend, Qt's Wayland plugin. The first launch in a fresh home opens the settings window as
# every first launch does; the second, in the same home, must open it because no tray is found,
# saying so on standard error. Each window must be mapped (a toplevel titled "Glidewheel Settings"
# whose surface commits a buffer, as WAYLAND_DEBUG records the program's requests), and SIGTERM
# must end each launch with status 0. With --background, as at login, a launch without input
# access must open it all the same; a test build judging access by a stand-in /dev/uinput under
# FAKE_ROOT, which gives it, must say it runs in the background and make no toplevel at all.
#
# Usage: wayland_e2e.sh <glidewheel executable> <artefact directory> <test build> <FAKE_ROOT>
# Exits 77 (skipped) when weston is missing.
set -euo pipefail

program=$(realpath "$1")
artefacts=$2
test_build=$(realpath "$3")
fake_root=$4
if ! command -v weston >/dev/null; then
  echo "SKIP: weston is not installed (scripts/deps test installs it)"
  exit 77
fi

mkdir -p "$artefacts"
rm -f "$artefacts"/*.log
source "$(dirname "$0")/e2e_lib.sh"
logs=$artefacts
mkdir -m 700 "$work/runtime" "$work/home"

# Whether the log, from its first line matching $2 on, shows the settings window mapped: its
# toplevel's title set, then a buffer attached to its surface and committed.
window_mapped() {
  awk -v from="$2" '
    !started { started = from == "" || index($0, from) > 0; if (!started) next }
    match($0, /new id xdg_surface@[0-9]+, wl_surface@[0-9]+/) {
      split(substr($0, RSTART, RLENGTH), ids, /@|,/); surface_of[ids[2]] = ids[4] }
    match($0, /xdg_surface@[0-9]+\.get_toplevel\(new id xdg_toplevel@[0-9]+/) {
      split(substr($0, RSTART, RLENGTH), ids, /@|\./); toplevel_of[ids[4]] = ids[2] }
    /\.set_title\("Glidewheel Settings"\)/ {
      match($0, /xdg_toplevel@[0-9]+/); window = surface_of[toplevel_of[substr($0, RSTART + 13, RLENGTH - 13)]] }
    window != "" && index($0, "wl_surface@" window ".attach(wl_buffer@") { attached = 1 }
    attached && index($0, "wl_surface@" window ".commit()") { mapped = 1; exit }
    END { exit !mapped }' "$1"
}

export XDG_RUNTIME_DIR=$work/runtime HOME=$work/home WAYLAND_DISPLAY=glidewheel-e2e
export QT_QPA_PLATFORM=wayland
unset DISPLAY
weston --backend=headless-backend.so --shell=kiosk-shell.so --no-config --idle-time=0 \
  --socket="$WAYLAND_DISPLAY" >"$artefacts/weston.log" 2>&1 &
pids+=($!)
wait_for "weston's socket" 10 test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY"

# Launches the program (with options $3...), waits until its log shows the window mapped from
# the line matching $2 on, and ends it with SIGTERM.
launch() {
  local log="$artefacts/$1.log" from=$2 status=0
  WAYLAND_DEBUG=client "$program" "${@:3}" 2>"$log" &
  local pid=$!
  pids+=("$pid")
  wait_for "the settings window of the $1 launch" 30 window_mapped "$log" "$from"
  kill -TERM "$pid"
  wait "$pid" || status=$?
  ((status == 0)) || fail "SIGTERM ended the $1 launch with status $status"
}
launch first ""
launch second "no system tray was found; the settings window opens instead."
launch without-access "no system tray was found; the settings window opens instead." --background

rm -rf "$fake_root"
mkdir -p "$fake_root/dev"
: >"$fake_root/dev/uinput"
background_log=$artefacts/background.log
WAYLAND_DEBUG=client "$test_build" --background 2>"$background_log" &
pids+=($!)
wait_for "the background launch to miss the tray" 30 \
  grep -q "no system tray was found; running in the background" "$background_log"
sleep 1  # the window the second launch opened was mapped well within this
kill -TERM "${pids[-1]}"
wait "${pids[-1]}" || fail "SIGTERM ended the background launch with status $?"
! grep -q 'get_toplevel' "$background_log" || fail "the background launch made a window"
echo "PASS: $(weston --version): the settings window mapped without a tray, in the background too" \
  "while access is missing, and not once it is there; SIGTERM exits 0"
