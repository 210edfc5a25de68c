#!/usr/bin/env bash
# Tries the built LV2 bundle with its editor in jalv, the LV2 reference host: a private Xvfb
# display, a dummy JACK server, jalv.gtk3 showing the plug-in's own X11 editor, and JACK's
# metronome playing into it. Not part of the test suite; run it by hand:
#   ./scripts/jalv-trial.sh [output folder]   (installs jalv and jackd2 when missing)
# Screenshots of the host window land in the output folder (default: a fresh temporary
# one): two taken while the audio plays (the meters move between them), and one after a
# click on the "Soft Clipper" switch. jalv's dump of what passes between the editor and the
# plug-in shows the click arriving as a port write.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
uri="urn:quarlo:QuarloDorvantix"

missing=()
for tool in jalv.gtk3:jalv jackd:jackd2 Xvfb:xvfb xdotool:xdotool import:imagemagick; do
  command -v "${tool%%:*}" > /dev/null || missing+=("${tool##*:}")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends \
    "${missing[@]}"
fi

# QD_BUILD_DIR names an existing build tree to use instead.
build="${QD_BUILD_DIR:-$root/build/release}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$build" --target QuarloDorvantixLv2Bundle > /dev/null

out=${1:-$(mktemp -d "${TMPDIR:-/tmp}/qd-jalv.XXXXXX")}
mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/qd-jalv-run.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
  wait 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

export HOME="$work/home"
mkdir -p "$HOME/.lv2"
cp -r "$build/lv2/QuarloDorvantix.lv2" "$HOME/.lv2/"
export LV2_PATH="$HOME/.lv2:/usr/lib/lv2"

# A display of our own.
display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
  display=$((display + 1))
done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp > "$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=":$display"
for _ in $(seq 50); do xdpyinfo > /dev/null 2>&1 && break; sleep 0.1; done

# A dummy JACK server of our own, found by name.
export JACK_DEFAULT_SERVER="qd-trial-$$"
export JACK_NO_AUDIO_RESERVATION=1
jackd --no-realtime -d dummy -r 48000 -p 512 > "$work/jackd.log" 2>&1 &
pids+=($!)
jack_wait -w -t 10 > /dev/null 2>&1

echo "== jalv.gtk3 with the plug-in's editor"
jalv.gtk3 --print-controls --jack-name qdtrial "$uri" > "$out/jalv.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  jack_lsp 2> /dev/null | grep -q '^qdtrial:in_l$' && break
  sleep 0.1
done
jack_lsp | grep '^qdtrial:' | tr '\n' ' '
echo

echo "== JACK's metronome into the plug-in's inputs"
jack_metro --bpm 240 --frequency 440 --amplitude 0.9 --duration 200 --name metro > /dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do jack_lsp 2> /dev/null | grep -q '^metro:' && break; sleep 0.1; done
metro_port=$(jack_lsp | grep '^metro:' | head -1)
jack_connect "$metro_port" qdtrial:in_l
jack_connect "$metro_port" qdtrial:in_r
jack_lsp -c qdtrial:in_l | sed 's/^/  /'

window=""
for _ in $(seq 100); do
  window=$(xdotool search --name "QuarloDorvantix" 2> /dev/null | head -1 || true)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "no jalv window"; cat "$out/jalv.log"; exit 1; }
sleep 2
import -window root "$out/playing-1.png"
sleep 1
import -window root "$out/playing-2.png"
if cmp -s "$out/playing-1.png" "$out/playing-2.png"; then
  echo "the two screenshots while playing are the same"
else
  echo "the two screenshots while playing differ"
fi

# The editor is the child window of jalv's top level with the editor's size; the "Soft
# Clipper" switch sits at (47, 205) to (47 + 34, 205 + 34) inside it.
editor=""
for id in $(xdotool search --onlyvisible --name "" 2> /dev/null); do
  if xwininfo -id "$id" 2> /dev/null | grep -q 'Width: 640' &&
     xwininfo -id "$id" 2> /dev/null | grep -q 'Height: 480'; then
    editor=$id
  fi
done
if [ -z "$editor" ]; then
  echo "no 640 x 480 editor window inside jalv's window"
  xwininfo -root -tree | grep -E '[0-9]+x[0-9]+' | head -20
  exit 1
fi
eval "$(xdotool getwindowgeometry --shell "$editor")"
echo "editor window $editor at $X,$Y size ${WIDTH}x$HEIGHT"
reduction() { grep -a '^clipper_reduction' "$out/jalv.log" | tail -n +"$1" | awk '{print $3}' |
  sort -g | tail -1; }
lines_before=$(grep -ac '^clipper_reduction' "$out/jalv.log" || true)
echo "clipper gain reduction before the click, at most: $(reduction 1) dB"
xdotool mousemove $((X + 68)) $((Y + 226)) click 1
sleep 2
import -window root "$out/after-click.png"
echo "clipper gain reduction after the click, at most: $(reduction $((lines_before + 1))) dB"
echo "screenshots: $out/playing-1.png $out/playing-2.png $out/after-click.png"
