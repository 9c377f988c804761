#!/usr/bin/env bash
# Takes docs/panel.png: the application from a build tree, on an X server of its own with a
# top panel holding a system tray (trayer), talking to the local stand-in, its panel open
# under the tray icon as it opens at launch. Usage: scripts/screenshot-panel.sh [BUILD [OUT]]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=${2:-$root/docs/panel.png}
case "$out" in /*) ;; *) out=$PWD/$out ;; esac

if [ -z "${GLIMDECK_SCREENSHOT_SESSION:-}" ]; then
  exec env GLIMDECK_SCREENSHOT_SESSION=1 "$root/tests/platform/host/in-x-session.sh" bash "$0" "$build" "$out"
fi

source "$(dirname "${BASH_SOURCE[0]}")/children.sh"
await() {
  local what=$1
  shift
  for _ in $(seq 1 300); do
    if "$@" >/dev/null 2>&1; then return 0; fi
    sleep 0.1
  done
  echo "screenshot: no $what" >&2
  exit 1
}

# A plain desktop: a dark backdrop and a panel along the top with the tray at its right.
convert -size 1280x1024 gradient:'#4b6584'-'#1e2a38' "$work/backdrop.png"
# display sets the backdrop, then reports failure as it has no window of its own to show.
display -window root "$work/backdrop.png" || true
trayer --edge top --align right --widthtype percent --width 100 --height 28 --transparent true \
  --alpha 0 --tint 0x202833 --SetDockType true --SetPartialStrut true --expand true >/dev/null 2>&1 &
pids+=($!)
await "system tray" xdotool search --onlyvisible --class trayer

"$build/glimdeck-standin" --port 0 >"$work/standin.out" 2>&1 &
pids+=($!)
await "stand-in" grep -q "listening on" "$work/standin.out"
service=$(sed -n 's/.*listening on \(http[^ ]*\).*/\1/p' "$work/standin.out")

# The panel hangs under the tray icon at the top right of the screen.
backdrop=$(convert "$work/backdrop.png" -format '%[pixel:p{1080,300}]' info:)
panel_shown() { [ "$(import -window root -crop 1x1+1080+300 +repage -format '%[pixel:p{0,0}]' info:)" != "$backdrop" ]; }
mkdir -p "$work/home"
launch() {
  env HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share" \
    XDG_CACHE_HOME="$work/home/.cache" GLIMDECK_SERVICE_URL="$service" "$build/glimdeck" >>"$work/app.out" 2>&1 &
  app=$!
  pids+=($app)
  await "panel" panel_shown
}
# The first run welcomes the user with the terms of service; the panel as one uses it is the
# second run's, once the first has noted that it showed them.
launch
defaults=$work/home/.config/Glimdeck/com.glimdeck.Glimdeck.plist
await "terms noted" bash -c "plistutil -i '$defaults' 2>/dev/null | grep -q termsOfServiceShown"
kill -TERM "$app"
wait "$app" || true
launch
# The grid fills from the stand-in and its tiles start playing: give them a moment.
sleep "${GLIMDECK_SCREENSHOT_SETTLE:-5}"

import -window root "$work/screen.png"
mkdir -p "$(dirname "$out")"
convert "$work/screen.png" -crop 560x680+720+0 +repage -strip "$out"
echo "screenshot: $out ($(identify -format '%wx%h' "$out"))"
