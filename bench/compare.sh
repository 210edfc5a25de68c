#!/usr/bin/env bash
# Times the built VST2 module against the peer limiters installed on this machine, one
# configuration after another in one run, through `qdhost bench` (CPU time of the processing
# thread; 48 kHz stereo generated music; the fastest of --runs runs counts).
#
# Usage: bench/compare.sh [BUILD_DIR] [SECONDS] [RUNS] [ROUNDS]
# Prints one Markdown table row per configuration: ours, then the peer in the same run. Each
# row measures the two plug-ins ROUNDS times in turn (ours, peer, ours, peer, ...) and keeps
# the best of each, so a stretch of load on the machine cannot favour either one.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build/dev}"
seconds="${2:-30}"
runs="${3:-3}"
rounds="${4:-3}"
qdhost="$build/tools/host/qdhost"
ours="$build/vst/QuarloDorvantix.so"
lsp=/usr/lib/vst/lsp-plugins/limiter-stereo.so

# realtime factor of one plug-in with the given block size and settings
rt() {
  local plugin="$1" block="$2"
  shift 2
  "$qdhost" bench "$plugin" --quiet --rate 48000 --seconds "$seconds" --runs "$runs" \
    --block "$block" "$@" | tail -n 1 | awk '{print $NF}'
}

# the larger of two figures
best() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b + 0 > a + 0) ? b : a }'; }

# LSP "Full x4" is the oversampling list's entry shown as "Full x4" (normalised 0.8); its
# default is "None".
lsp_x4=(--set-normalized ovs=0.8)

declare -A cfg=(
  [a]="1x/1x, auto level off|--set Auto output level=off"
  [b]="1x/1x, auto level RMS|--set Auto output level=on|--set Auto out type=RMS"
  [c]="1x/1x, auto level LUFS|--set Auto output level=on|--set Auto out type=LUFS"
  [d]="4x/4x hard clip, auto RMS|--set Clipper Oversample=4x|--set Limiter Oversample=4x|--set Auto output level=on|--set Auto out type=RMS"
  [e]="4x/4x soft clip, auto RMS|--set Clipper Oversample=4x|--set Limiter Oversample=4x|--set Soft Clipper=on|--set Auto output level=on|--set Auto out type=RMS"
)

echo "| configuration | block | QuarloDorvantix | LSP Limiter Stereo (same run) |"
echo "|---|---|---|---|"
for key in a b c d e; do
  IFS='|' read -r -a parts <<<"${cfg[$key]}"
  name="${parts[0]}"
  args=()
  for p in "${parts[@]:1}"; do args+=(--set "${p#--set }"); done
  if [[ $key == d || $key == e ]]; then peer=("${lsp_x4[@]}"); peer_name='"Full x4"'; else peer=(); peer_name=default; fi
  for block in 32 256 4096; do
    ours_rt="" peer_rt=""
    for ((round = 0; round < rounds; ++round)); do
      ours_rt=$(best "$ours_rt" "$(rt "$ours" "$block" "${args[@]}")")
      peer_rt=$(best "$peer_rt" "$(rt "$lsp" "$block" "${peer[@]}")")
    done
    echo "| $name | $block | ${ours_rt}x | ${peer_rt}x ($peer_name) |"
  done
done
