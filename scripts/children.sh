# Sourced by the desktop scripts: a scratch folder in $work and the background programs they
# start (append each one's PID to pids), all stopped and removed however the script ends.
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
