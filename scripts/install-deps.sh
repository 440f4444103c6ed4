#!/usr/bin/env bash
# Installs the Debian packages the project needs, but only those missing.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qtbase5-dev libqt5opengl5-dev
  libboost-filesystem-dev libboost-system-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth libglu1-mesa-dev libgl1-mesa-dri
  fonts-dejavu-core
  python3 python3-clang-14
)

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
