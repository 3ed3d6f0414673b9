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
