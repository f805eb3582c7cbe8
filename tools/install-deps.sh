#!/usr/bin/env bash
# Installs everything the build, the tests and the run command need, from Debian's packages.
# Idempotent: when every package is already there it installs nothing and prints nothing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev librapidcheck-dev
  libudev-dev libasound2-dev
  clang libclang-rt-14-dev
  xvfb xauth x11-utils imagemagick poppler-utils
  fonts-liberation2 fonts-crosextra-caladea fonts-dejavu-core fonts-vlgothic fonts-noto-cjk
  xdg-utils iputils-ping procps
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
echo "installing: ${missing[*]}"
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
