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

# An X server of its own on a display it picks itself (Xvfb writes the number to the
# descriptor), of the given size; exports DISPLAY.
start_display() {
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
  pids+=($!)
  for _ in $(seq 1 200); do
    if grep -q . "$work/display" 2>/dev/null; then break; fi
    sleep 0.05
  done
  if ! grep -q . "$work/display"; then
    echo "$(basename "$0" .sh): Xvfb did not start" >&2
    cat "$work/xvfb.log" >&2
    return 1
  fi
  export DISPLAY=":$(head -n1 "$work/display")"
  export NO_AT_BRIDGE=1
}

# A system tray (trayer) along the top of the display, as a desktop has one; returns once
# trayer has mapped its window.
start_tray() {
  command -v trayer >/dev/null || { echo "$(basename "$0" .sh): trayer is not installed (scripts/setup.sh installs it)" >&2; return 1; }
  trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 1 200); do
    if xdotool search --onlyvisible --class trayer >/dev/null 2>&1; then return 0; fi
    sleep 0.05
  done
  echo "$(basename "$0" .sh): trayer did not start" >&2
  return 1
}
