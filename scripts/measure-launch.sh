#!/usr/bin/env bash
# Measures the application's launch as a user meets it: from the exec of the program to its
# panel's window mapped on an X server of its own (Xvfb, which picks a free display), against
# the stand-in, on a session bus of its own (never the user's), with a system tray (trayer)
# on the display as a desktop has one, unless `no-tray` is asked for. The panel opens by
# itself 0.2 s after launch; the rest is the launch's own work. One launch first fills the
# folders a first run fills; then `runs` launches are timed. Printed: each launch's time and
# the CPU time the process had used by then (all its threads), then the medians and the
# fastest launch.
#
#   scripts/measure-launch.sh [build folder] [runs] [tray|no-tray]
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
runs=${2:-10}
tray=${3:-tray}
case "$tray" in tray | no-tray) ;; *) echo "measure-launch: the third argument is tray or no-tray" >&2; exit 2 ;; esac
if [ -z "${GLIMDECK_MEASURE_LAUNCH_BUS:-}" ]; then
  # The bus daemon's complaints about its limits are no part of the launch.
  exec env GLIMDECK_MEASURE_LAUNCH_BUS=1 dbus-run-session -- "$0" "$build" "$runs" "$tray" 2> >(grep -v '^dbus-daemon' >&2)
fi

source "$(dirname "${BASH_SOURCE[0]}")/children.sh"

start_display 1280x1024

if [ "$tray" = tray ]; then start_tray || exit 1; fi

"$build/glimdeck-standin" --port 0 >"$work/standin.out" &
pids+=($!)
for _ in $(seq 1 200); do
  if grep -q "listening on" "$work/standin.out" 2>/dev/null; then break; fi
  sleep 0.05
done
export GLIMDECK_SERVICE_URL=$(sed -n 's/.*listening on //p' "$work/standin.out")
[ -n "$GLIMDECK_SERVICE_URL" ] || { echo "measure-launch: the stand-in did not start" >&2; exit 1; }

export HOME="$work/home"
mkdir -p "$HOME"
unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME

# Every window made and mapped on the display, as X reports it, one line at a time.
coproc WATCH { exec stdbuf -oL xev -root -event substructure; }
pids+=($WATCH_PID)
sleep 0.3

# Launches the program and answers the milliseconds until its panel (a window of at least
# 300 × 300) is mapped; the program is then ended.
launch() {
  local panel="" line window start elapsed app
  start=$EPOCHREALTIME
  "$build/glimdeck" >"$work/app.log" 2>&1 &
  app=$!
  while IFS= read -r -t 20 line <&"${WATCH[0]}"; do
    if [[ $line =~ window\ (0x[0-9a-f]+),\ \(-?[0-9]+,-?[0-9]+\),\ width\ ([0-9]+),\ height\ ([0-9]+) ]]; then
      if (( BASH_REMATCH[2] >= 300 && BASH_REMATCH[3] >= 300 )); then panel=${BASH_REMATCH[1]}; fi
    elif [[ -n $panel && $line =~ ^MapNotify ]]; then
      IFS= read -r -t 5 line <&"${WATCH[0]}"
      window=$(sed -n 's/.*window \(0x[0-9a-f]*\).*/\1/p' <<<"$line")
      if [[ $window == "$panel" ]]; then
        elapsed=$(( (${EPOCHREALTIME/./} - ${start/./}) / 1000 ))
        cpu=0
        for task in /proc/"$app"/task/*/schedstat; do
          # A thread may end between the listing and the reading.
          { read -r spent _ <"$task"; } 2>/dev/null && cpu=$(( cpu + spent ))
        done
        break
      fi
    fi
  done
  kill "$app" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
  [ -n "${elapsed:-}" ] || { echo "measure-launch: no panel appeared" >&2; cat "$work/app.log" >&2; exit 1; }
  echo "$elapsed $(( cpu / 1000000 ))"
}

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }

launch >/dev/null
times=()
cpus=()
for i in $(seq 1 "$runs"); do
  read -r elapsed cpu < <(launch)
  times+=("$elapsed")
  cpus+=("$cpu")
  echo "launch $i: $elapsed ms, $cpu ms of CPU"
done
wall=$(printf '%s\n' "${times[@]}" | median)
used=$(printf '%s\n' "${cpus[@]}" | median)
fastest=$(printf '%s\n' "${times[@]}" | sort -n | head -n1)
echo "median: $wall ms from exec to the panel mapped ($(( ${wall%.*} - 200 )) ms beyond the panel's 0.2 s delay), $used ms of CPU; fastest $fastest ms"
