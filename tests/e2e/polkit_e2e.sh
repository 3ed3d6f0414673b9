#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# End-to-end test of "Grant Access…" through the system's own pkexec and Debian's polkitd, with
# the package's polkit action installed.
#
# In a mount namespace of its own (so nothing on the machine changes), it starts a system bus at
# its standard socket and polkitd, and makes two users: a person, who runs a test build of the
# program, and an administrator. The person's polkit agent is pkttyagent on a terminal of its
# own, which the test answers as a person would. Three times the person presses "Grant Access…"
# on the help page; the first time the person closes the agent's terminal instead of answering,
# the second time gives a wrong password, and the third the right one. The first two must leave
# the helper unrun and the scratch root empty, and the page must say access was not granted;
# the third must run the helper as root (installing the rule under the scratch root) and the
# page must say access was granted.
#
# The test build and its helper work on the scratch root; the helper is installed where the
# policy names it, and modprobe and udevadm are stand-ins that record their calls.
#
# Usage: polkit_e2e.sh <test build> <grant helper> <scratch root> <polkit policy> <artefact directory>
# Exits 77 (skipped), saying why, when not run as root, when a tool is missing, or when the
# system bus or polkitd cannot start here.
set -euo pipefail

skip() {
  echo "SKIP: $*"
  exit 77
}

# The rest runs in a private mount namespace, where the mounts below are seen by nothing else.
if [[ -z ${GLIDEWHEEL_E2E_PRIVATE_MOUNTS:-} ]]; then
  (($(id -u) == 0)) || skip "needs root: it makes users and mounts of its own, and runs the setuid pkexec"
  for tool in unshare setpriv script useradd chpasswd gpasswd dbus-daemon dbus-send pkexec \
    pkttyagent pkaction /usr/lib/polkit-1/polkitd Xvfb trayer xdotool xwininfo; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/deps test installs it)"
  done
  [[ -u $(command -v pkexec) ]] || skip "pkexec is not setuid root"
  unshare --mount true 2>/dev/null || skip "no private mount namespace can be made here"
  GLIDEWHEEL_E2E_PRIVATE_MOUNTS=1 exec unshare --mount --propagation private "$0" "$@"
fi

program=$(realpath "$1")
helper=$(realpath "$2")
root=$3
policy=$(realpath "$4")
artefacts=$5
rule=$(realpath "$(dirname "$0")/../../packaging/70-glidewheel.rules")
action=org.glidewheel.grant-access
person=glidewheel-person
admin=glidewheel-admin
password='correct horse'

mkdir -p "$artefacts"
rm -f "$artefacts"/*.png
source "$(dirname "$0")/e2e_lib.sh"
logs=$work
on_failure() { import -window root "$artefacts/failure.png" 2>/dev/null || true; }
chmod 711 "$work"  # the person reaches its own folders in it
calls=$work/calls.log
rm -rf "$root"
mkdir -p "$root"

make_private_system

gpasswd --members '' sudo >/dev/null  # the administrator is the only one polkit may ask for
useradd --no-log-init --no-create-home --home-dir "$work/person" --shell /bin/sh "$person"
useradd --no-log-init --no-create-home --home-dir /nonexistent --shell /bin/sh --groups sudo "$admin"
echo "$admin:$password" | chpasswd
mkdir -m 700 "$work/person" "$work/person/runtime"
chown -R "$person:" "$work/person"
# No login manager runs here to put the person in an active local session, where the action's
# defaults ask for an administrator (checked below). This rule asks the same of the person.
cat >/etc/polkit-1/rules.d/10-glidewheel-e2e.rules <<RULES
polkit.addRule(function(action, subject) {
    if (action.id == "$action" && subject.user == "$person") return polkit.Result.AUTH_ADMIN_KEEP;
});
RULES
chmod 644 /etc/polkit-1/rules.d/10-glidewheel-e2e.rules

# The package's files where it installs them: the action, the helper, and the program beside the
# helper, where it looks first.
install -m 644 "$policy" "$(private_dir /usr/share/polkit-1/actions)/"
libexec=$(private_dir /usr/libexec)/glidewheel
install -D -m 755 "$helper" "$libexec/glidewheel-grant-access"
install -m 755 "$program" "$libexec/glidewheel"
# pkexec runs the helper with PATH=/usr/sbin:/usr/bin:/sbin:/bin, so these come first.
sbin=$(private_dir /usr/sbin)
for command in modprobe udevadm; do
  rm -f "$sbin/$command"
  printf '#!/bin/sh\necho "uid $(id -u): %s $*" >>%q\n' "$command" "$calls" >"$sbin/$command"
  chmod 755 "$sbin/$command"
done

# --- the system bus and polkitd ---
start_system_bus
start_polkitd
pkaction --action-id "$action" --verbose >"$work/pkaction.log" 2>&1 || fail "polkitd does not know $action"
grep -q 'implicit any: *no$' "$work/pkaction.log" && grep -q 'implicit inactive: *no$' "$work/pkaction.log" &&
  grep -q 'implicit active: *auth_admin_keep$' "$work/pkaction.log" ||
  fail "the action's defaults are not what the rule above stands in for"

# --- the person's session: a display with a tray, the program, its help page ---
start_xvfb 1280 800
start_tray
as_person=(setpriv --reuid="$person" --regid="$person" --init-groups)
"${as_person[@]}" env -i DISPLAY="$DISPLAY" HOME="$work/person" XDG_RUNTIME_DIR="$work/person/runtime" \
  PATH=/usr/bin:/bin SHELL=/bin/sh RESOURCE_NAME=glidewheel /usr/libexec/glidewheel/glidewheel \
  >"$work/glidewheel.log" 2>&1 &
program_pid=$!
pids+=("$program_pid")
wait_for_icon
# The panel's warning row: Tab moves from the header switch to "Open Settings".
click_icon
wait_for "the panel" 10 viewable_sized 300x340 >/dev/null
wait_for "the panel to take the keyboard" 10 has_focus "$(viewable_sized 300x340)"
xdotool key Tab space
wait_for "the help page" 10 has_help_window
help=$(help_window)

# --- three grants ---
# Starts the person's pkttyagent for the program, on a terminal whose keyboard is descriptor 8,
# and returns once polkitd has it; $agent is its terminal's process, $1 names its screen's log.
start_agent() {
  agent_log=$work/agent-$1.log
  local keys=$work/keys-$1 registered=$work/person/registered-$1
  mkfifo "$keys"
  "${as_person[@]}" mkfifo "$registered"
  # pkttyagent closes descriptor 9 once it is registered.
  { cat "$registered" >/dev/null && : >"$work/registered-$1"; } &
  pids+=($!)
  # In the C locale, so that its prompts read as the checks below expect.
  "${as_person[@]}" env -i PATH=/usr/bin:/bin LC_ALL=C script --quiet --flush --command \
    "exec pkttyagent --process $program_pid --notify-fd 9 9>'$registered'" /dev/null \
    <"$keys" >"$agent_log" 2>&1 &
  agent=$!
  pids+=("$agent")
  exec 8>"$keys"
  wait_for "pkttyagent to register" 10 test -e "$work/registered-$1"
}
# Ends the agent, as closing its terminal does.
stop_agent() {
  exec 8>&-
  kill "$agent" 2>/dev/null || true
  wait "$agent" 2>/dev/null || true
}
# Presses "Grant Access…" and waits for the agent to ask for the administrator's password.
press_grant() {
  wait_for "the help page to take the keyboard" 10 has_focus "$help"
  xdotool key space  # "Grant Access…" has the keyboard
  wait_for "the password prompt" 20 grep -q 'Password:' "$agent_log"
  grep -qF "==== AUTHENTICATING FOR $action ====" "$agent_log" || fail "pkexec asked for another action"
  grep -qF "Authenticating as: $admin" "$agent_log" || fail "polkit did not ask for the administrator"
}
outcomes() { grep -c '^glidewheel: Grant Access: ' "$work/glidewheel.log" || true; }
has_outcomes() { (($(outcomes) >= $1)); }
# Waits for the page's $1th outcome and fails unless it is $2.
expect_outcome() {
  wait_for "the page's outcome" 20 has_outcomes "$1"
  local said
  said=$(grep '^glidewheel: Grant Access: ' "$work/glidewheel.log" | sed -n "$1p")
  [[ $said == "glidewheel: Grant Access: $2"* ]] || fail "grant $1: the page said '${said#*: *: }'"
}
expect_nothing_done() {
  [[ ! -e $calls ]] || fail "$1, yet the helper ran: $(<"$calls")"
  [[ -z $(ls -A "$root") ]] || fail "$1, yet the scratch root holds: $(find "$root" | tr '\n' ' ')"
}
not_granted='Access could not be granted this way.'

start_agent cancel
press_grant
stop_agent
expect_outcome 1 "$not_granted"
expect_nothing_done "the agent was closed at the password prompt"
echo "closing the agent at the prompt: $(grep '^glidewheel: Grant Access: ' "$work/glidewheel.log" | sed -n 1p)"

start_agent wrong
press_grant
printf '%s\n' "not the password" >&8
expect_outcome 2 "$not_granted"
expect_nothing_done "the password was wrong"
grep -qF 'AUTHENTICATION FAILED' "$agent_log" || fail "the agent did not fail the wrong password"
stop_agent
echo "a wrong password: $(grep '^glidewheel: Grant Access: ' "$work/glidewheel.log" | sed -n 2p)"

start_agent right
press_grant
printf '%s\n' "$password" >&8
expect_outcome 3 'Access granted.'
stop_agent
expected_calls="uid 0: modprobe uinput
uid 0: udevadm control --reload-rules
uid 0: udevadm trigger --subsystem-match=input --subsystem-match=misc
uid 0: udevadm settle --timeout=10"
[[ -e $calls && $(<"$calls") == "$expected_calls" ]] || fail "the helper ran: $(cat "$calls" 2>/dev/null)"
cmp -s "$root/etc/udev/rules.d/70-glidewheel.rules" "$rule" || fail "the helper did not install the udev rule"
[[ $(stat -c %u "$root/etc/udev/rules.d/70-glidewheel.rules") == 0 ]] || fail "the rule was not written by root"
import -window root "$artefacts/granted.png" 2>/dev/null || true
echo "the right password: $(grep '^glidewheel: Grant Access: ' "$work/glidewheel.log" | sed -n 3p)"
kill -0 "$program_pid" || fail "the program ended"
echo "PASS"
