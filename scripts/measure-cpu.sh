#!/usr/bin/env bash
# Measures the application's own CPU on a desktop. It starts an X server of its own (Xvfb,
# on a free display), a session bus, a system tray when trayer is installed and the
# stand-in on a free port, then launches the application against it with a fresh HOME
# twice: the first launch only gets past the first-run welcome screen, the second opens
# the panel on the home grid. Once the grid's tiles play, it reads the process's user and
# system time from /proc over a window with the panel open, then over one with the panel
# closed (the global shortcut closes it).
#
#   scripts/measure-cpu.sh [build-dir] [seconds] [scale]
#
# Prints one line per window: the CPU seconds used and the share of one core. `scale` is
# the desktop's window scale (GDK_SCALE), 1 by default.
set -euo pipefail

if [ "${1:-}" = "--inside" ]; then
  shift
  build=$1 seconds=$2 scale=$3 work=$4
else
  build=${1:-build}
  seconds=${2:-10}
  scale=${3:-1}
  here=$(cd "$(dirname "$0")/.." && pwd)
  case "$build" in /*) ;; *) build="$here/$build" ;; esac
  for program in glimdeck glimdeck-standin; do
    if [ ! -x "$build/$program" ]; then echo "measure-cpu: $build/$program is missing (make build)" >&2; exit 1; fi
  done
  for tool in Xvfb xdotool dbus-run-session; do
    if ! command -v "$tool" >/dev/null; then echo "measure-cpu: $tool is missing (scripts/setup.sh)" >&2; exit 1; fi
  done
  work=$(mktemp -d)
  xvfb_pid=""
  cleanup() {
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
    rm -rf "$work"
  }
  trap cleanup EXIT
  # Xvfb picks a free display itself and writes its number to the descriptor.
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
  xvfb_pid=$!
  for _ in $(seq 1 200); do
    if grep -q . "$work/display" 2>/dev/null; then break; fi
    if ! kill -0 "$xvfb_pid" 2>/dev/null; then cat "$work/xvfb.log" >&2; exit 1; fi
    sleep 0.05
  done
  if ! grep -q . "$work/display"; then echo "measure-cpu: Xvfb did not start" >&2; exit 1; fi
  export DISPLAY=":$(head -n1 "$work/display")"
  export NO_AT_BRIDGE=1
  # The rest runs inside a session bus of its own.
  dbus-run-session -- bash "$0" --inside "$build" "$seconds" "$scale" "$work" 2> >(grep -v 'dbus-daemon' >&2)
  exit $?
fi

pids=()
stop_all() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap stop_all EXIT

if command -v trayer >/dev/null; then
  trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>&1 &
  pids+=($!)
fi

"$build/glimdeck-standin" --port 0 >"$work/standin.log" 2>&1 &
pids+=($!)
url=""
for _ in $(seq 1 200); do
  url=$(sed -n 's/^glimdeck-standin listening on //p' "$work/standin.log" 2>/dev/null || true)
  if [ -n "$url" ]; then break; fi
  sleep 0.05
done
if [ -z "$url" ]; then echo "measure-cpu: the stand-in did not start" >&2; cat "$work/standin.log" >&2; exit 1; fi

home="$work/home"
mkdir -p "$home"
app=""
launch() {
  HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" XDG_CACHE_HOME="$home/.cache" \
    GDK_SCALE="$scale" GLIMDECK_SERVICE_URL="$url" "$build/glimdeck" >>"$work/app.log" 2>&1 &
  app=$!
  pids+=($app)
}
# The panel is the application's one large window (the tray icon is its small one).
panel_shown() {
  local window
  for window in $(xdotool search --onlyvisible --pid "$app" 2>/dev/null); do
    if xdotool getwindowgeometry "$window" 2>/dev/null |
      awk '/Geometry:/ { split($2, s, "x"); found = s[1] >= 100 } END { exit !found }'; then
      return 0
    fi
  done
  return 1
}
wait_for_panel() {
  for _ in $(seq 1 200); do
    if panel_shown; then return 0; fi
    if ! kill -0 "$app" 2>/dev/null; then echo "measure-cpu: the application ended" >&2; cat "$work/app.log" >&2; exit 1; fi
    sleep 0.05
  done
  echo "measure-cpu: the panel did not show" >&2
  exit 1
}

ticks=$(getconf CLK_TCK)
# User plus system time of the process, all its threads, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$app/stat"; }
measure() {
  local what=$1 before after start end
  before=$(cpu_ticks)
  start=$(date +%s.%N)
  sleep "$seconds"
  after=$(cpu_ticks)
  end=$(date +%s.%N)
  awk -v what="$what" -v used=$((after - before)) -v ticks="$ticks" -v start="$start" -v end="$end" \
    'BEGIN { cpu = used / ticks; printf "%s: %.2f s of CPU in %.1f s = %.1f %% of one core\n", what, cpu, end - start, 100 * cpu / (end - start) }'
}

# The first launch shows the welcome screen over the grid and remembers that it did.
launch
wait_for_panel
sleep 2
kill "$app"
wait "$app" 2>/dev/null || true

launch
wait_for_panel
# The home grid's page and its tiles' media arrive from the stand-in; then they play.
sleep 5
echo "scale $scale, $seconds s windows, stand-in at $url"
if [ -n "${GLIMDECK_MEASURE_SHOT:-}" ]; then import -window root "$GLIMDECK_MEASURE_SHOT"; fi
measure "panel open on the home grid"
xdotool key --clearmodifiers shift+ctrl+g
for _ in $(seq 1 100); do
  if ! panel_shown; then break; fi
  sleep 0.05
done
if panel_shown; then echo "measure-cpu: the panel did not close" >&2; exit 1; fi
sleep 1
measure "panel closed"
