#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the application need.
# Only what is missing is installed, so running it again is cheap.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libcurl4-openssl-dev libsqlite3-dev libplist-dev libplist-utils libsimdjson-dev
  libicu-dev zlib1g-dev libdeflate-dev libgif-dev libpng-dev libcairo2-dev libpango1.0-dev
  fontconfig fonts-dejavu-core fonts-lato libcpp-httplib-dev libssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-16 libclang-rt-16-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  libgtk-3-dev libxi-dev gsettings-desktop-schemas xvfb xauth xdotool xclip imagemagick dbus dbus-x11 at-spi2-core trayer
  desktop-file-utils appstream
  x11-utils sqlite3 curl jq
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
