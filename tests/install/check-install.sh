#!/usr/bin/env bash
# `make install` into a temporary prefix and `make uninstall` again: the files land where a
# desktop looks for them, both validators accept the launcher and the metadata, the installed
# program started without a display reads the resources installed with it and puts itself in
# the login items, and uninstalling leaves no file behind, nor any folder the install made.
# The same with DESTDIR staging, and into a prefix that other programs share, twice over:
# its other files and the folders that were there before stay.
# Usage: check-install.sh SOURCE_DIR BUILD_DIR STANDIN_PROGRAM
set -euo pipefail
source_dir=$1
build_dir=$2
standin_program=$3

work=$(mktemp -d)
standin=""
app=""
cleanup() {
  for pid in $app $standin; do kill "$pid" 2>/dev/null || true; done
  for pid in $app $standin; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# Polls a condition for up to a minute (generous, for a loaded machine).
await() {
  local what=$1
  shift
  for _ in $(seq 1 600); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  fail "timed out waiting for $what"
}

# The make that runs us may have handed down its job server; ours is a make of its own.
unset MAKEFLAGS MFLAGS MAKELEVEL
make_in_tree() { make -s -C "$source_dir" BUILD="$build_dir" JOBS=1 "$@" >>"$work/make.log" 2>&1 || {
  cat "$work/make.log" >&2
  fail "make $*"
}; }

app_id=com.glimdeck.Glimdeck
expected_files() {
  echo bin/glimdeck
  echo share/glimdeck/Info.plist
  echo share/glimdeck/Licenses.plist
  echo share/glimdeck/installed-files
  for image in "$source_dir"/resources/images/*; do echo "share/glimdeck/images/${image##*/}"; done
  echo share/applications/$app_id.desktop
  echo share/metainfo/$app_id.metainfo.xml
  for size in 48 64 128 256; do echo share/icons/hicolor/${size}x$size/apps/$app_id.png; done
  echo share/icons/hicolor/scalable/apps/$app_id.svg
  for state in light dark active; do echo share/icons/hicolor/36x36/status/$app_id-status-$state.png; done
}
installed_files() { (cd "$1" && find . \( -type f -o -type l \) -printf '%P\n' | sort); }
# The folders of the expected files under the prefix (the prefix itself left out).
expected_folders() {
  expected_files | while IFS= read -r file; do
    local folder=${file%/*}
    while [ "$folder" != "$file" ] && [ -n "$folder" ]; do
      echo "$folder"
      file=$folder
      folder=${folder%/*}
    done
  done | sort -u
}
# What the install's list names: its files, and the folders it made (the lines ending in /).
listed_files() { grep -v '/$' "$1" | sort; }
listed_folders() { sed -n 's|/$||p' "$1" | sort; }
everything_under() { (cd "$1" && find . -mindepth 1 -printf '%P\n' | sort); }

# Checks an installed tree under $1 whose programs live under the prefix $2.
check_tree() {
  local root=$1 prefix=$2
  diff -u <(expected_files | sort) <(installed_files "$root") || fail "the installed files differ from the expected ones"
  diff -u <(expected_files | sort) <(listed_files "$root/share/glimdeck/installed-files") || fail "the list of installed files is wrong"
  diff -u <(expected_folders) <(listed_folders "$root/share/glimdeck/installed-files") ||
    fail "the list of the folders the install made is wrong"
  [ -x "$root/bin/glimdeck" ] || fail "the program is not executable"
  cmp -s "$root/bin/glimdeck" "$build_dir/glimdeck" || fail "the installed program is not the one built"

  local desktop=$root/share/applications/$app_id.desktop
  local report
  report=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $report"
  [ -z "$report" ] || fail "desktop-file-validate: $report"
  grep -qxF "Exec=\"$prefix/bin/glimdeck\"" "$desktop" || fail "the launcher does not start $prefix/bin/glimdeck: $(grep ^Exec= "$desktop")"
  grep -qxF "Icon=$app_id" "$desktop" || fail "the launcher names another icon"

  local metainfo=$root/share/metainfo/$app_id.metainfo.xml
  report=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate: $report"
  if grep -qE '^[EW]:' <<<"$report"; then fail "appstreamcli validate: $report"; fi
  grep -qF "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
    fail "the metadata names another launcher"

  local size
  for size in 48 64 128 256; do
    [ "$(identify -format '%wx%h' "$root/share/icons/hicolor/${size}x$size/apps/$app_id.png")" = "${size}x$size" ] ||
      fail "the ${size}x$size icon has another size"
  done
  for state in light dark active; do
    [ "$(identify -format '%wx%h' "$root/share/icons/hicolor/36x36/status/$app_id-status-$state.png")" = 36x36 ] ||
      fail "the $state status icon is not 36x36"
  done
}

# Uninstalled, the tree under $1 holds just what it held before the install (listed in $2).
check_uninstalled() {
  local root=$1 before=$2
  [ -d "$root" ] || fail "uninstall removed the prefix itself"
  diff -u "$before" <(everything_under "$root") || fail "uninstall did not leave $root as it was before the install"
}

# Into a prefix of our own.
prefix=$work/prefix
make_in_tree install PREFIX="$prefix"
check_tree "$prefix" "$prefix"

# The installed program, headless, against a stand-in of the service. Its Info dictionary gets
# a name of its own here: the login item it writes is named from the Info dictionary it read.
# No session bus: a Glimdeck the user runs there would take the launch over.
"$standin_program" --port 0 >"$work/standin.out" 2>&1 &
standin=$!
await "the stand-in" grep -q "listening on" "$work/standin.out"
service=$(sed -n 's/.*listening on \(http[^ ]*\).*/\1/p' "$work/standin.out")
sed -i '/<key>CFBundleName<\/key>/{n;s|<string>.*</string>|<string>InstalledGlimdeck</string>|}' \
  "$prefix/share/glimdeck/Info.plist"
home=$work/home
mkdir -p "$home"
(cd "$work" && exec env -u DISPLAY -u WAYLAND_DISPLAY -u GLIMDECK_RESOURCES_DIR -u DBUS_SESSION_BUS_ADDRESS -u XDG_RUNTIME_DIR \
  HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" XDG_CACHE_HOME="$home/.cache" \
  GLIMDECK_SERVICE_URL="$service" "$prefix/bin/glimdeck" >"$work/app.out" 2>&1) &
app=$!
entry=$home/.config/autostart/installedglimdeck.desktop
await "the headless line" grep -q "runs headless" "$work/app.out"
await "the login item" test -f "$entry"
kill -TERM "$app"
status=0
wait "$app" || status=$?
app=""
[ "$status" -eq 0 ] || { cat "$work/app.out" >&2; fail "the installed program ended with status $status"; }
if grep -q "NSBundle:" "$work/app.out"; then cat "$work/app.out" >&2; fail "the installed program missed its resources"; fi
grep -q "^Name=InstalledGlimdeck$" "$entry" || fail "the login item was not named from the installed Info dictionary"
grep -q "^Exec=.*$prefix/bin/glimdeck" "$entry" || fail "the login item does not start the installed program: $(cat "$entry")"

make_in_tree uninstall PREFIX="$prefix"
check_uninstalled "$prefix" /dev/null

# Staged for a package: the files under DESTDIR, naming the final prefix.
stage=$work/stage
make_in_tree install PREFIX=/usr DESTDIR="$stage"
check_tree "$stage/usr" /usr
make_in_tree uninstall PREFIX=/usr DESTDIR="$stage"
check_uninstalled "$stage/usr" /dev/null

# A prefix other programs use too, with a folder the install uses that was there before,
# empty: installed twice over, then uninstalled.
shared=$work/shared
mkdir -p "$shared/bin" "$shared/share/applications" "$shared/share/icons/hicolor/48x48/apps"
echo "#!/bin/sh" >"$shared/bin/other-program"
echo "[Desktop Entry]" >"$shared/share/applications/other-program.desktop"
everything_under "$shared" >"$work/shared-before"
make_in_tree install PREFIX="$shared"
make_in_tree install PREFIX="$shared"
diff -u <(expected_folders | grep -vxF -f "$work/shared-before") <(listed_folders "$shared/share/glimdeck/installed-files") ||
  fail "in a shared prefix, the list of the folders the install made is wrong"
make_in_tree uninstall PREFIX="$shared"
check_uninstalled "$shared" "$work/shared-before"
echo "install, validation, headless start and uninstall: passed"
