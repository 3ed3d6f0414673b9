#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# End-to-end test of raising the input thread through RealtimeKit, the desktop's broker for
# priorities: a person who may not raise a thread's priority runs the input tests' InputThread
# case, which passes only once the input thread runs at its raised nice value.
#
# In a mount namespace of its own (so nothing on the machine changes), it starts a system bus at
# its standard socket, Debian's polkitd and rtkit-daemon, and makes the person.
#
# Usage: rtkit_e2e.sh <linux_input_tests binary>
# Exits 77 (skipped), saying why, when not run as root, when a tool is missing, or when a service
# cannot start here.
set -euo pipefail

skip() {
  echo "SKIP: $*"
  exit 77
}

if [[ -z ${GLIDEWHEEL_E2E_PRIVATE_MOUNTS:-} ]]; then
  (($(id -u) == 0)) || skip "needs root: it makes a user and mounts of its own, and starts system services"
  for tool in unshare setpriv useradd dbus-daemon dbus-send /usr/lib/polkit-1/polkitd \
    /usr/libexec/rtkit-daemon; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/deps test installs it)"
  done
  unshare --mount true 2>/dev/null || skip "no private mount namespace can be made here"
  GLIDEWHEEL_E2E_PRIVATE_MOUNTS=1 exec unshare --mount --propagation private "$0" "$@"
fi

person=glidewheel-person
source "$(dirname "$0")/e2e_lib.sh"
logs=$work
chmod 711 "$work"
install -m 755 "$1" "$work/linux_input_tests"

make_private_system
useradd --no-log-init --no-create-home --home-dir /nonexistent --shell /bin/sh "$person"
# No login manager runs here to put the person in an active local session, where the action's
# defaults let the broker raise its threads. This rule lets the person as that session would.
cat >/etc/polkit-1/rules.d/10-glidewheel-e2e.rules <<RULES
polkit.addRule(function(action, subject) {
    if (action.id == "org.freedesktop.RealtimeKit1.acquire-high-priority" &&
        subject.user == "$person") return polkit.Result.YES;
});
RULES
chmod 644 /etc/polkit-1/rules.d/10-glidewheel-e2e.rules

start_system_bus
start_polkitd
# Through a pipe: the daemon forbids itself to write files, its log included.
/usr/libexec/rtkit-daemon --stderr --no-canary > >(cat >"$work/rtkit.log") 2>&1 &
pids+=($!)
wait_for_service "rtkit-daemon" $! "$work/rtkit.log" on_system_bus org.freedesktop.RealtimeKit1

as_person=(setpriv --reuid="$person" --regid="$person" --init-groups)
[[ $("${as_person[@]}" nice -n -1 nice 2>/dev/null) == 0 ]] || fail "the person may raise priorities itself"
"${as_person[@]}" env -i PATH=/usr/bin:/bin "$work/linux_input_tests" \
  --gtest_filter='InputThread.*' >"$work/tests.log" 2>&1 || fail "the input thread was not raised"
grep -q '^\[  PASSED  \] 1 test' "$work/tests.log" && ! grep -q 'SKIPPED' "$work/tests.log" ||
  fail "the test did not run: $(grep -m1 -A1 'Skipped' "$work/tests.log")"
grep -q 'high priority at nice level' "$work/rtkit.log" || fail "rtkit-daemon raised nothing"
grep 'high priority at nice level' "$work/rtkit.log" | tail -n 1
echo "PASS"
