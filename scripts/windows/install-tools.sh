#!/usr/bin/env bash
# Installs the Debian packages the Windows build and its Wine checks need: the mingw-w64
# cross compilers (-posix thread model), the tools that unpack Debian source packages, Wine
# and Xvfb. Idempotent; asks apt only when something is missing.
set -euo pipefail
packages=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  mingw-w64-x86-64-dev dpkg-dev make cmake ninja-build pkg-config xz-utils
  googletest wine wine64 xvfb xdotool imagemagick python3
)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2> /dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then exit 0; fi
echo "install-tools: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
