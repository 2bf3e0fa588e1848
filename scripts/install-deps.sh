#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test.
# Safe to run again: only what is missing is installed.
set -euo pipefail
packages=(
  build-essential g++ cmake ninja-build pkg-config
  libode-dev duktape-dev libpng-dev zlib1g-dev libsdl2-dev
  libfreetype-dev fonts-dejavu-core
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth libgl1-mesa-dri libgl-dev mesa-utils
  python3 openssl imagemagick povray
  xdotool
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
