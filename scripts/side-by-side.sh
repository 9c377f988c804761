#!/usr/bin/env bash
# Measures the application beside a plain GTK 3 program showing the same GIFs: the home
# panel's tiles (the featured tags' covers and the trending strip's GIFs, fetched from the
# stand-in as the application fetches them) in GtkImage tiles of the same sizes and places,
# played by gdk-pixbuf (tools/plain-gtk-grid). Both run in turn on one desktop of their own:
# an X server (Xvfb), a session bus, a tray (trayer) and the stand-in. For each pair and
# each window scale (GDK_SCALE 1 and 2) the two are launched one after the other, which one
# goes first alternating, and each is measured:
#   launch  exec to the window mapped; for the application its panel, less the 0.2 s the
#           panel waits before it opens by itself
#   CPU     user + system time from /proc/<pid>/stat over a fixed window once the tiles
#           have played for a while: the panel open, then (the application) closed
#   memory  VmRSS at the end of each window, and with the panel open the private part of it
# Prints each run, then the medians and the ratios (application / plain program) as a
# table for the README.
#
#   scripts/side-by-side.sh [build folder] [pairs] [seconds]
#
# pairs defaults to 3, seconds (each CPU window) to 15. In the environment: SETTLE, the
# seconds of play before the first window (3 by default); PLAIN_MODE, how the plain program
# plays: "kept" (default: each GIF decoded once, its frames kept scaled to the tile),
# "each-frame" (each frame scaled as it comes) or "gtk-image" (GtkImage plays the GIF at its
# own size, cut to the tile).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

if [ "${1:-}" != "--inside" ]; then
  build=${1:-build}
  case "$build" in /*) ;; *) build="$PWD/$build" ;; esac
  pairs=${2:-3}
  seconds=${3:-15}
  for program in glimdeck glimdeck-standin; do
    if [ ! -x "$build/$program" ]; then echo "side-by-side: $build/$program is missing (make build)" >&2; exit 1; fi
  done
  for tool in Xvfb xev xdotool xwininfo trayer dbus-run-session dbus-send curl jq cc pkg-config stdbuf; do
    if ! command -v "$tool" >/dev/null; then echo "side-by-side: $tool is missing (scripts/setup.sh)" >&2; exit 1; fi
  done
  # The plain program is built here, as its own source asks nothing of the project's build.
  plain="$build/glimdeck-plain-grid"
  source_file="$here/tools/plain-gtk-grid/plain-gtk-grid.c"
  if [ ! -x "$plain" ] || [ "$source_file" -nt "$plain" ]; then
    # shellcheck disable=SC2046
    cc -O2 -Wall -o "$plain" "$source_file" $(pkg-config --cflags --libs gtk+-3.0)
  fi
  # Always a session bus of its own: the user's is never touched.
  exec dbus-run-session -- bash "$0" --inside "$build" "$pairs" "$seconds" 2> >(grep -v 'dbus-daemon' >&2)
fi

build=$2 pairs=$3 seconds=$4
settle=${SETTLE:-3}
plain="$build/glimdeck-plain-grid"
source "$here/scripts/children.sh"

# Big enough for the panel at scale 2 (800 × 1200 pixels) below the tray.
start_display 1920x1600 || exit 1

# Every window made and mapped on the display, as X reports it, one line at a time.
coproc WATCH { exec stdbuf -oL xev -root -event substructure; }
pids+=($WATCH_PID)

start_tray || exit 1

"$build/glimdeck-standin" --port 0 >"$work/standin.out" 2>&1 &
pids+=($!)
url=""
for _ in $(seq 1 200); do
  url=$(sed -n 's/.*listening on //p' "$work/standin.out")
  if [ -n "$url" ]; then break; fi
  sleep 0.05
done
[ -n "$url" ] || { echo "side-by-side: the stand-in did not start" >&2; cat "$work/standin.out" >&2; exit 1; }

app_home="$work/app-home"
plain_home="$work/plain-home"
mkdir -p "$app_home" "$plain_home" "$work/media"

# Drops what the watcher reported before now, so the next launch reads only its own windows.
drain() {
  local line
  while IFS= read -r -t 0.02 line <&"${WATCH[0]}"; do :; done
}

# Waits for the first window of at least 300 × 300 pixels to be mapped; prints its id and the
# microseconds since `start`.
wait_mapped() {
  local start=$1 pid=$2 big="" line window
  while :; do
    if ! IFS= read -r -t 30 line <&"${WATCH[0]}"; then
      echo "side-by-side: no window appeared" >&2
      return 1
    fi
    if [[ $line =~ window\ (0x[0-9a-f]+),\ \(-?[0-9]+,-?[0-9]+\),\ width\ ([0-9]+),\ height\ ([0-9]+) ]]; then
      if (( BASH_REMATCH[2] >= 300 && BASH_REMATCH[3] >= 300 )); then big=${BASH_REMATCH[1]}; fi
    elif [[ -n $big && $line =~ ^MapNotify ]]; then
      IFS= read -r -t 5 line <&"${WATCH[0]}" || true
      window=$(sed -n 's/.*window \(0x[0-9a-f]*\).*/\1/p' <<<"$line")
      if [[ $window == "$big" ]]; then
        echo "$window $(( ${EPOCHREALTIME/./} - ${start/./} ))"
        return 0
      fi
    fi
    kill -0 "$pid" 2>/dev/null || { echo "side-by-side: the program ended" >&2; return 1; }
  done
}

viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable'; }

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
# The part of it that is the program's own: its private pages and the shared memory it
# draws through (X's MIT-SHM images), without the library and font pages that every program
# using them maps too, which VmRSS counts in full.
private_kb() {
  { cat "/proc/$1/smaps_rollup"; grep '^RssShmem:' "/proc/$1/status"; } |
    awk '/^(Private_Clean|Private_Dirty|RssShmem):/ { kb += $2 } END { print kb }'
}
# The share of one core the process used over the window, in per cent.
cpu_window() {
  local pid=$1 before after start end
  before=$(cpu_ticks "$pid")
  start=$EPOCHREALTIME
  sleep "$seconds"
  after=$(cpu_ticks "$pid")
  end=$EPOCHREALTIME
  awk -v used=$((after - before)) -v ticks="$ticks" -v start="$start" -v end="$end" \
    'BEGIN { printf "%.2f", 100 * used / ticks / (end - start) }'
}

# Run in the background, the function's shell becomes the application, so that $! is its PID.
app_env() {
  exec env HOME="$app_home" XDG_CONFIG_HOME="$app_home/.config" XDG_DATA_HOME="$app_home/.local/share" \
    XDG_CACHE_HOME="$app_home/.cache" GLIMDECK_SERVICE_URL="$url" "$@"
}

stop() {
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
# The bus lets the ended copy's name go once it has seen the connection close; a launch
# before that would find the name owned and hand over to a copy that is gone.
stop_app() {
  stop "$1"
  for _ in $(seq 1 200); do
    if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.NameHasOwner string:com.glimdeck.Glimdeck | grep -q 'boolean false'; then
      return 0
    fi
    sleep 0.05
  done
  echo "side-by-side: the application's name stayed on the bus" >&2
  exit 1
}

# Starts a program in the background (its output appended to a log) and waits for its
# window; sets `launched` (its PID), `window` and `elapsed` (microseconds from the exec).
launch() {
  local log=$1 start
  shift
  drain
  start=$EPOCHREALTIME
  "$@" >>"$log" 2>&1 &
  launched=$!
  pids+=($launched)
  read -r window elapsed < <(wait_mapped "$start" "$launched") || { cat "$log" >&2; exit 1; }
}
plain_env() { exec env HOME="$plain_home" "$@"; }

# The first launch shows the welcome screen and downloads the home panel's GIFs into the
# cache; later launches open on the home grid, as a user's do.
launch "$work/app.log" app_env "$build/glimdeck"
app=$launched
for _ in $(seq 1 400); do
  if grep -qs termsOfServiceShown "$app_home/.config/Glimdeck/"*.plist; then break; fi
  sleep 0.05
done

# The home panel's tiles, from the same replies the application had: the featured tags
# (two columns of tiles 47:27 in the grid below the strip, 5 points apart from each other
# and the sides) and the first page of trending GIFs (the strip, 80 points high, each GIF at
# its own aspect, 5 points apart). Points from the panel's top left.
targets=$(curl -sf "$url/_standin/log" | jq -r '.requests[].target')
tags_target=$(grep -m1 '^/v1/tags?type=featured' <<<"$targets")
trending_target=$(grep -m1 '^/v1/trending' <<<"$targets")
[ -n "$tags_target" ] && [ -n "$trending_target" ] ||
  { echo "side-by-side: the application did not ask for the home panel's streams" >&2; exit 1; }
curl -sf "$url$tags_target" >"$work/tags.json"
curl -sf "$url$trending_target" >"$work/trending.json"
panel_w=400 panel_h=600 grid_top=196 strip_top=111 strip_h=80
jq -r --argjson top "$grid_top" '
  (200 * 27 / 47) as $row
  | .tags | to_entries[]
  | "\(.value.image) \(5 + 200 * (.key % 2)) \($top + 5 + $row * ((.key / 2) | floor)) 190 \($row - 10)"' \
  "$work/tags.json" >"$work/tiles"
jq -r --argjson top "$strip_top" --argjson h "$strip_h" --argjson w "$panel_w" '
  reduce (.results[] | .media[0]) as $m ({x: 0, out: []};
    if .x >= $w then . else
      ($m.gif.dims // [140, 70]) as $d
      | ($h * (if $d[1] > 0 then $d[0] / $d[1] else 2 end)) as $tw
      | .out += ["\($m.tinygif.url) \(.x) \($top) \($tw) \($h)"] | .x += $tw + 5
    end) | .out[]' "$work/trending.json" >>"$work/tiles"

# Every tile's GIF is in the application's cache before its launches are timed.
for _ in $(seq 1 400); do
  served=$(curl -sf "$url/_standin/log" | jq -r '.requests[].target')
  missing=0
  while read -r address _; do
    grep -qxF "${address#"$url"}" <<<"$served" || missing=1
  done <"$work/tiles"
  if [ "$missing" = 0 ]; then break; fi
  sleep 0.05
done
[ "$missing" = 0 ] || { echo "side-by-side: the application did not download the home panel's GIFs" >&2; exit 1; }
stop_app "$app"

plain_args=("$panel_w" "$panel_h")
case "${PLAIN_MODE:-kept}" in
  kept) ;;
  each-frame | gtk-image) plain_args=("--$PLAIN_MODE" "${plain_args[@]}") ;;
  *) echo "side-by-side: PLAIN_MODE is kept, each-frame or gtk-image" >&2; exit 2 ;;
esac
while read -r address x y w h; do
  file="$work/media/$(tr -c 'A-Za-z0-9.\n' '_' <<<"${address#"$url"}")"
  [ -s "$file" ] || curl -sf -o "$file" "$address"
  plain_args+=("$file" "$x" "$y" "$w" "$h")
done <"$work/tiles"
# The plain program's first launch, like the application's, fills what a first run fills.
launch "$work/plain.log" plain_env "$plain" "${plain_args[@]}"
stop "$launched"

echo "side-by-side: $(wc -l <"$work/tiles") tiles; $pairs pairs of ${seconds} s windows after ${settle} s of play; stand-in at $url"

# One run of a subject at a scale, into `result`: "launch_ms cpu_open rss_open cpu_closed
# rss_closed private_open". Run in this shell, so that a program left by a failed run is stopped on exit.
run_app() {
  local scale=$1 app cpu_open rss_open cpu_closed rss_closed private_open
  launch "$work/app.log" app_env GDK_SCALE="$scale" "$build/glimdeck"
  app=$launched
  sleep "$settle"
  cpu_open=$(cpu_window "$app")
  rss_open=$(rss_kb "$app")
  private_open=$(private_kb "$app")
  # The global shortcut closes the panel.
  xdotool key --clearmodifiers shift+ctrl+g
  for _ in $(seq 1 200); do
    if ! viewable "$window"; then break; fi
    sleep 0.05
  done
  if viewable "$window"; then echo "side-by-side: the panel did not close" >&2; exit 1; fi
  sleep 1
  cpu_closed=$(cpu_window "$app")
  rss_closed=$(rss_kb "$app")
  stop_app "$app"
  result="$(( elapsed / 1000 - 200 )) $cpu_open $rss_open $cpu_closed $rss_closed $private_open"
}

run_plain() {
  local scale=$1 cpu_open rss_open private_open
  launch "$work/plain.log" plain_env GDK_SCALE="$scale" "$plain" "${plain_args[@]}"
  sleep "$settle"
  cpu_open=$(cpu_window "$launched")
  rss_open=$(rss_kb "$launched")
  private_open=$(private_kb "$launched")
  stop "$launched"
  result="$(( elapsed / 1000 )) $cpu_open $rss_open - - $private_open"
}

: >"$work/results"
for pair in $(seq 1 "$pairs"); do
  for scale in 1 2; do
    if (( (pair + scale) % 2 == 0 )); then order="app plain"; else order="plain app"; fi
    for subject in $order; do
      "run_$subject" "$scale"
      read -r launch cpu_open rss_open cpu_closed rss_closed private_open <<<"$result"
      echo "$subject $scale $launch $cpu_open $rss_open $cpu_closed $rss_closed $private_open" >>"$work/results"
      printf 'pair %d, scale %d, %-5s launch %4d ms, CPU open %5s %%, closed %5s %%, memory open %s kB, closed %s kB\n' \
        "$pair" "$scale" "$subject" "$launch" "$cpu_open" "$cpu_closed" "$rss_open" "$rss_closed"
    done
  done
done

# Medians of one column (3: launch, 4: CPU open, 5: memory open, 6: CPU closed, 7: memory
# closed, 8: private memory open) for a subject at a scale.
median() {
  awk -v s="$1" -v k="$2" -v c="$3" '$1 == s && $2 == k && $c != "-" { print $c }' "$work/results" | sort -g |
    awk '{ a[NR] = $1 } END { if (NR == 0) print "-"; else print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'
}
row() {
  local what=$1 scale=$2 column=$3 unit=$4 divisor=$5 app_value plain_value
  app_value=$(median app "$scale" "$column")
  plain_value=$(median plain "$scale" "$column")
  awk -v what="$what" -v a="$app_value" -v p="$plain_value" -v unit="$unit" -v d="$divisor" 'BEGIN {
    fmt = (unit == "%") ? "%.2f %%" : (unit == "MB") ? "%.1f MB" : "%d ms"
    as = (a == "-") ? "—" : sprintf(fmt, a / d)
    ps = (p == "-") ? "—" : sprintf(fmt, p / d)
    rs = (a == "-" || p == "-" || p == 0) ? "—" : sprintf("%.2f", a / p)
    printf "| %s | %s | %s | %s |\n", what, as, ps, rs
  }'
}
echo
echo "Medians of $pairs pairs (application / plain GTK program, ${PLAIN_MODE:-kept}):"
echo
echo "| measure | app | plain GTK program | ratio |"
echo "|---|---|---|---|"
for scale in 1 2; do
  row "CPU, home panel open, scale $scale" "$scale" 4 % 1
  row "CPU, panel closed, scale $scale" "$scale" 6 % 1
  row "resident memory, panel open, scale $scale" "$scale" 5 MB 1024
  row "resident memory, panel closed, scale $scale" "$scale" 7 MB 1024
  row "own memory (private pages and shared images, no libraries), panel open, scale $scale" "$scale" 8 MB 1024
  row "launch to the window mapped, scale $scale (app: beyond the panel's 0.2 s delay)" "$scale" 3 ms 1
done
