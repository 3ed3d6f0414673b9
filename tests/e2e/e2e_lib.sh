# SPDX-License-Identifier: MIT
# Shared by the end-to-end scripts, which source it after setting $logs (the folder whose *.log
# files a failure shows). A script may define on_failure, run first when a check fails.

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
