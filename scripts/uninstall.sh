#!/usr/bin/env bash
# `make uninstall`: removes what `make install` put under $DESTDIR<prefix>, as listed in the
# install's own list of files (share/glimdeck/installed-files), then the folders of ours that
# are left empty. Files of other programs and shared folders (bin, the icon theme) stay.
set -euo pipefail
prefix=${1:?usage: uninstall.sh PREFIX}
root="${DESTDIR:-}$prefix"
list="$root/share/glimdeck/installed-files"
if [ ! -f "$list" ]; then
  echo "uninstall: nothing of Glimdeck is installed under $root" >&2
  exit 0
fi
removed=0
while IFS= read -r file; do
  # Only paths inside the prefix: a damaged list never removes anything else.
  case "$file" in
    "" | /* | ../* | */../* | */..) continue ;;
  esac
  if [ -f "$root/$file" ] || [ -L "$root/$file" ]; then
    rm -f -- "$root/$file"
    removed=$((removed + 1))
  fi
done <"$list"
rm -f -- "$list"
for folder in "$root/share/glimdeck/images" "$root/share/glimdeck"; do
  if [ -d "$folder" ]; then rmdir --ignore-fail-on-non-empty -- "$folder"; fi
done
echo "uninstall: removed $removed files from $root"
