#!/usr/bin/env bash
# Installs every package the build, the tests and the demo need, from Debian's archive.
# Idempotent: packages already present are left alone, and apt is only asked when
# something is missing. Needs root (or sudo) only when it has to install.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libebur128-dev
  libcairo2-dev libpng-dev zlib1g-dev libfreetype-dev libfontconfig-dev fonts-liberation
  libsndfile1-dev ffmpeg
  libx11-dev libxtst-dev xvfb xdotool
  lv2-dev liblilv-dev sordi
  clang-14 libclang-rt-14-dev valgrind
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
