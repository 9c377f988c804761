#!/usr/bin/env bash
# Writes the licence list the application shows (a property list: an array of dictionaries
# with "libraryName" and "licenseText") from what an executable links, so that the list
# names every library the program uses and cannot fall behind the build:
#   - each library the executable names as needed (its ELF NEEDED entries), found where the
#     loader finds it, and the Debian package that ships it, whose copyright file is the text;
#     packages whose copyright files are the same text share one entry;
#   - the libraries named after the output (their file names, "libavcodec.so.59"), which the
#     program opens itself at run time rather than linking, found and attributed the same way;
#   - the packages named after the output, used at run time without being linked (fonts);
#   - the full text of each common licence those files refer to (/usr/share/common-licenses).
# A library that no package ships, or a package without a copyright file, stops the build.
#
#   licenses.sh EXECUTABLE OUTPUT.plist [LIBRARY.so.N | PACKAGE...]
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "usage: $0 EXECUTABLE OUTPUT.plist [PACKAGE...]" >&2
  exit 2
fi
executable=$1
output=$2
shift 2
opened=() extra=()
for argument in "$@"; do
  case $argument in
    *.so.*) opened+=("$argument") ;;
    *) extra+=("$argument") ;;
  esac
done

fail() {
  echo "licenses.sh: $*" >&2
  exit 1
}

# XML text: the markup characters escaped, bytes that are no UTF-8 and control characters
# other than tab, line feed and carriage return left out (a property list cannot hold them).
xml_text() {
  iconv -f UTF-8 -t UTF-8 -c | tr -d '\000-\010\013\014\016-\037' |
    sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g'
}

# The spellings of a path that dpkg may know it by (/lib and /usr/lib are one folder on a
# merged system, and the loader may name either).
spellings() {
  local path=$1
  printf '%s\n' "$path" "$(readlink -f "$path")" "${path#/usr}" "/usr$path"
}

[ -f "$executable" ] || fail "no executable at $executable"
mapfile -t needed < <(readelf -d "$executable" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p')
[ ${#needed[@]} -gt 0 ] || fail "$executable links no shared library"
declare -A located=()
while read -r name arrow path _; do
  [ "$arrow" = "=>" ] && [ -n "$path" ] && located[$name]=$path
done < <(ldd "$executable")
# Those the program opens itself are found where the loader's cache has them.
for library in "${opened[@]}"; do
  case " ${needed[*]} " in *" $library "*) continue ;; esac
  path=$(ldconfig -p | sed -n "s|^[[:space:]]*$library (.*) => ||p" | head -n1)
  [ -n "$path" ] || fail "the loader does not find $library, which the program opens at run time"
  needed+=("$library")
  located[$library]=$path
done

# Which package ships each spelling of each library's path, asked of dpkg at once.
declare -A owner=()
mapfile -t candidates < <(for library in "${needed[@]}"; do
  [ -n "${located[$library]:-}" ] && spellings "${located[$library]}"
done | sort -u)
while IFS= read -r line; do
  owner[${line#*: }]=${line%%:*}
done < <(dpkg-query -S "${candidates[@]}" 2>/dev/null | grep -v ', ' || true)

# Entries in the order of first appearance, keyed by the copyright file's text.
order=()
declare -A packages=() libraries=() files=()
add() {
  local package=$1 what=$2 file="/usr/share/doc/$1/copyright" key
  [ -f "$file" ] || fail "package $package has no copyright file ($file)"
  key=$(sha1sum <"$file" | cut -d' ' -f1)
  if [ -z "${files[$key]:-}" ]; then
    order+=("$key")
    files[$key]=$file
  fi
  case " ${packages[$key]:-} " in *" $package "*) ;; *) packages[$key]="${packages[$key]:-} $package" ;; esac
  [ -n "$what" ] && libraries[$key]="${libraries[$key]:-}, $what"
  return 0
}
for library in "${needed[@]}"; do
  path=${located[$library]:-}
  [ -n "$path" ] || fail "the loader does not find $library"
  package=""
  while IFS= read -r spelling; do
    if [ -n "${owner[$spelling]:-}" ]; then
      package=${owner[$spelling]}
      break
    fi
  done < <(spellings "$path")
  [ -n "$package" ] || fail "no Debian package ships $library ($path)"
  add "$package" "$library"
done
for package in "${extra[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    fail "package $package, used at run time, is not installed"
  add "$package" ""
done

mkdir -p "$(dirname "$output")"
temporary="$output.tmp.$$"
trap 'rm -f "$temporary"' EXIT
{
  printf '<?xml version="1.0" encoding="UTF-8"?>\n'
  printf '<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">\n'
  printf '<plist version="1.0">\n<array>\n'
  referenced=()
  for key in "${order[@]}"; do
    names=$(echo ${packages[$key]} | sed 's/ /, /g')
    uses=${libraries[$key]:-}
    if [ -n "$uses" ]; then title="$names (${uses#, })"; else title="$names (used at run time)"; fi
    printf '\t<dict>\n\t\t<key>libraryName</key>\n\t\t<string>%s</string>\n' "$(printf '%s' "$title" | xml_text)"
    printf '\t\t<key>licenseText</key>\n\t\t<string>'
    xml_text <"${files[$key]}"
    printf '</string>\n\t</dict>\n'
    mapfile -t -O "${#referenced[@]}" referenced < <(grep -o '/usr/share/common-licenses/[A-Za-z0-9.+_-]*[A-Za-z0-9+_-]' "${files[$key]}" || true)
  done
  if [ ${#referenced[@]} -gt 0 ]; then
    # A name that is a link to another licence's file ("GPL" to "GPL-3") is that licence.
    for licence in $(for name in "${referenced[@]}"; do [ -f "$name" ] && readlink -f "$name"; done | sort -u); do
      printf '\t<dict>\n\t\t<key>libraryName</key>\n\t\t<string>%s</string>\n' "$(basename "$licence" | xml_text)"
      printf '\t\t<key>licenseText</key>\n\t\t<string>'
      xml_text <"$licence"
      printf '</string>\n\t</dict>\n'
    done
  fi
  printf '</array>\n</plist>\n'
} >"$temporary"
mv -f "$temporary" "$output"
trap - EXIT
