#!/usr/bin/env bash
# Rebuilds the artwork generator and redraws resources/img/*.png.
# Usage: tools/artwork/generate.sh [BUILD_DIR]   (default: build/artwork)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build/artwork}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DQD_BENCH=OFF
fi
cmake --build "$build" --target artwork_generator -j2
mkdir -p "$root/resources/img"
"$build/tools/artwork/artwork_generator" "$root/resources/img"
