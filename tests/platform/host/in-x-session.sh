#!/usr/bin/env bash
# Runs a program inside an X server and a session bus of its own, as the desktop host's
# tests need, so they pass on machines without a display. Xvfb picks a free display itself
# (-displayfd), so programs started side by side never race for one.
set -euo pipefail

work=$(mktemp -d)
xvfb_pid=""
cleanup() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 1 200); do
  if grep -q . "$work/display" 2>/dev/null; then break; fi
  if ! kill -0 "$xvfb_pid" 2>/dev/null; then cat "$work/xvfb.log" >&2; exit 1; fi
  sleep 0.05
done
if ! grep -q . "$work/display"; then echo "Xvfb did not start" >&2; exit 1; fi

export DISPLAY=":$(head -n1 "$work/display")"
# GTK would otherwise start the accessibility bus.
export NO_AT_BRIDGE=1
# Settings (GSettings) live in each process's memory: the tests set the desktop's own and
# never read or write the user's.
export GSETTINGS_BACKEND=memory
dbus-run-session -- "$@"
