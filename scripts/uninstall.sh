#!/usr/bin/env bash
# `make uninstall`: removes what `make install` put under $DESTDIR<prefix>, as listed in the
# install's own list (share/glimdeck/installed-files): its files, then the folders it made
# (the lines ending in a slash), deepest first, each only once it is empty. Files of other
# programs, and folders that were there before the install (bin, the icon theme), stay; so
# does the prefix itself.
set -euo pipefail
prefix=${1:?usage: uninstall.sh PREFIX}
root="${DESTDIR:-}$prefix"
list="$root/share/glimdeck/installed-files"
if [ ! -f "$list" ]; then
  echo "uninstall: nothing of Glimdeck is installed under $root" >&2
  exit 0
fi
removed=0
folders=()
while IFS= read -r entry; do
  # Only paths inside the prefix: a damaged list never removes anything else.
  case "$entry" in
    "" | / | /* | . | ./* | */. | */./* | .. | ../* | */../* | */.. | */../) continue ;;
  esac
  if [[ "$entry" == */ ]]; then
    folders+=("${entry%/}")
  elif [ -f "$root/$entry" ] || [ -L "$root/$entry" ]; then
    rm -f -- "$root/$entry"
    removed=$((removed + 1))
  fi
done <"$list"
rm -f -- "$list"
# Our resources' folders are ours whatever the list says (a list of an older install names
# no folders).
folders+=(share/glimdeck/images share/glimdeck)
# A folder sorts before the folders inside it: in reverse order each comes after them.
emptied=0
while IFS= read -r folder; do
  [ -n "$folder" ] || continue
  path="$root/$folder"
  if [ -d "$path" ] && [ ! -L "$path" ] && [ -z "$(ls -A -- "$path")" ]; then
    rmdir -- "$path"
    emptied=$((emptied + 1))
  fi
done < <(printf '%s\n' "${folders[@]}" | LC_ALL=C sort -ru)
echo "uninstall: removed $removed files and $emptied folders from $root"
