#!/usr/bin/env bash
# Runs the Windows checks under Wine, after scripts/build-windows.sh:
#   1. without a display: the VST2, AAX and VST3 binding tests rebuilt as Windows programs (the
#      simulated AAX host and the VST2 and VST3 test hosts load the DLLs), and qdhost.exe against the
#      Linux build: the same `info` answers, and a render whose output agrees with the Linux
#      module's within 1e-6, also after a state saved on Windows is loaded on Linux;
#   2. with Xvfb: the Windows piece tests (window, text entry, menus, resources, GDI text) and
#      the editor in a windowed host, driven with synthetic X clicks and drags, with
#      screenshots before and while audio plays.
#   scripts/windows/wine-tests.sh [WINDOWS_BUILD [LINUX_BUILD]]
# Defaults: build/windows and build/release (the Linux parts are built when missing).
# Screenshots go to WINDOWS_BUILD/artifacts. Every Wine call has a time limit; each run gets
# a fresh Wine prefix, and the Wine server is waited for between the two parts.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
win=${1:-$root/build/windows}
linux=${2:-$root/build/release}
"$here/install-tools.sh"
win=$(cd "$win" && pwd)
mkdir -p "$linux"
linux=$(cd "$linux" && pwd)

if [ ! -x "$linux/tools/host/qdhost" ] || [ ! -f "$linux/vst/QuarloDorvantix.so" ]; then
  cmake -S "$root" -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null
  cmake --build "$linux" -j "${QD_JOBS:-2}" --target QuarloDorvantix qdhost
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/qd-wine.XXXXXX")
xvfb_pid=""
cleanup() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2> /dev/null || true; fi
  WINEPREFIX="$work/prefix" timeout 30 wineserver -k 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

export WINEDEBUG=-all
export WINEPREFIX="$work/prefix"
# No Mono or Gecko installers: nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
failures=0
step() { echo; echo "== $*"; }
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
# wine with a time limit (seconds first).
w() {
  local limit=$1; shift
  timeout --kill-after=15 "$limit" wine "$@"
}

step "Wine prefix"
w 300 wineboot --init > /dev/null 2>&1 || true
timeout 120 wineserver -w

tests="$win/wine-tests"
cd "$work"

step "VST2 binding tests under Wine (the module exports are checked with objdump instead of nm)"
w 900 "$tests/formats_vst2_tests.exe" --gtest_brief=1 \
  --gtest_filter=-Vst2Module.ExportsOnlyTheTwoEntryPoints || fail "formats_vst2_tests"

step "AAX binding tests under Wine: the simulated AAX host drives the .aaxplugin"
w 900 "$tests/formats_aax_tests.exe" --gtest_brief=1 || fail "formats_aax_tests"

step "VST3 test host under Wine: the Windows bundle through its factory"
w 900 "$tests/formats_vst3_tests.exe" --gtest_brief=1 || fail "formats_vst3_tests"

step "qdhost.exe: identity and parameters agree with the Linux module"
lin_host="$linux/tools/host/qdhost"
win_host="$win/tools/host/qdhost.exe"
cp "$win/vst/QuarloDorvantix.dll" "$work/"
"$lin_host" info "$linux/vst/QuarloDorvantix.so" | grep -v "QuarloDorvantix.so" > linux-info.txt
w 120 "$win_host" info QuarloDorvantix.dll | tr -d '\r' | grep -v "QuarloDorvantix.dll" \
  > windows-info.txt || fail "qdhost.exe info"
if diff -u linux-info.txt windows-info.txt; then
  echo "same answers ($(wc -l < linux-info.txt) lines)"
else
  fail "qdhost info differs"
fi

step "qdhost.exe: rendering agrees with the Linux module within 1e-6"
"$lin_host" generate input.wav --seconds 8 --peak -3 > /dev/null
settings=(--tempo 120 --set "Clipper Level=6" --set "Clipper Oversample=4x"
          --set "Limiter Level=6" --set "Limiter Oversample=2x" --set "Auto output level=on"
          --set "Auto out type=LUFS" --set "Auto output target=-14")
"$lin_host" render "$linux/vst/QuarloDorvantix.so" input.wav linux.wav "${settings[@]}" --quiet \
  > /dev/null
w 300 "$win_host" render QuarloDorvantix.dll input.wav windows.wav "${settings[@]}" --quiet \
  --save-state windows.state > /dev/null || fail "qdhost.exe render"
python3 "$here/compare-wav.py" linux.wav windows.wav 1e-6 || fail "renders differ"
for precision in float accumulating; do
  "$lin_host" render "$linux/vst/QuarloDorvantix.so" input.wav "linux-$precision.wav" \
    "${settings[@]}" --precision $precision --quiet > /dev/null
  w 300 "$win_host" render QuarloDorvantix.dll input.wav "windows-$precision.wav" \
    "${settings[@]}" --precision $precision --quiet > /dev/null || fail "render ($precision)"
  python3 "$here/compare-wav.py" "linux-$precision.wav" "windows-$precision.wav" 1e-6 ||
    fail "renders differ ($precision)"
done

step "State saved by the Windows DLL restores the same sound on Linux"
"$lin_host" render "$linux/vst/QuarloDorvantix.so" input.wav linux-state.wav --tempo 120 \
  --load-state windows.state --quiet > /dev/null || fail "Linux load of the Windows state"
python3 "$here/compare-wav.py" linux.wav linux-state.wav 1e-6 || fail "state did not carry"

# The windowed part needs a server of its own: wait for the one above to go away.
timeout 120 wineserver -w

step "Windows pieces and the editor window, under Xvfb"
display=""
for n in $(seq 90 130); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp > /dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
for _ in $(seq 50); do
  if xdpyinfo > /dev/null 2>&1 || [ -e "/tmp/.X11-unix/X${display#:}" ]; then break; fi
  sleep 0.2
done
w 600 "$tests/windows_tests.exe" --gtest_brief=1 || fail "windows_tests"
timeout 120 wineserver -w

step "qdhost.exe edit: the editor in the host's own window while it plays"
{ w 120 "$win_host" edit QuarloDorvantix.dll --seconds 2 || true; } | tr -d '\r' | tee edit.txt
grep -q "^Played 2.00 s" edit.txt || fail "qdhost.exe edit"
timeout 120 wineserver -w

step "The editor in a windowed host: clicks, drags, screenshots while audio plays"
artifacts="$win/artifacts"
mkdir -p "$artifacts" "$work/cues"
cues_win="Z:$(echo "$work/cues" | tr / '\\')"
w 300 "$tests/qd_editor_check.exe" QuarloDorvantix.dll "$cues_win" > editor.log 2>&1 &
editor_pid=$!
for _ in $(seq 600); do
  if grep -q "editor open" editor.log 2> /dev/null; then break; fi
  if ! kill -0 $editor_pid 2> /dev/null; then break; fi
  sleep 0.1
done
sleep 2
shot() { import -display "$DISPLAY" -window root -crop 640x480+0+0 +repage "$1"; }
shot "$artifacts/editor-defaults-under-wine.png" || fail "screenshot"
touch "$work/cues/play"
sleep 2
shot "$work/playing-1.png" || fail "screenshot"
# Drag the clipper knob up, click the soft-clip switch and the auto-release switch.
xdotool mousemove 159 155 mousedown 1 sleep 0.2 mousemove 159 140 sleep 0.1 mousemove 159 125 \
  sleep 0.1 mousemove 159 105 sleep 0.2 mouseup 1
sleep 0.3
xdotool mousemove 68 226 click 1
sleep 0.3
xdotool mousemove 485 271 click 1
sleep 1.5
shot "$artifacts/editor-under-wine.png" || fail "screenshot"
touch "$work/cues/stop"
wait $editor_pid || fail "the windowed host"
tr -d '\r' < editor.log > editor.txt
cat editor.txt | grep -v "^param" | sort | uniq -c | sort -rn | head -12
grep -q "^automate 0 " editor.txt || fail "dragging the clipper knob changed nothing"
grep -q "^automate 1 " editor.txt || fail "clicking the soft-clip switch changed nothing"
grep -q "^automate 4 " editor.txt || fail "clicking the auto-release switch changed nothing"
grep -q "^reopened ok" editor.txt || fail "closing and reopening the editor"
# The meters: the bars and readouts right of x = 520 change while audio plays.
moved=$(compare -metric AE -fuzz 2% -extract 120x410+520+60 "$work/playing-1.png" \
  "$artifacts/editor-under-wine.png" null: 2>&1 || true)
echo "meter area: $moved pixels changed between two screenshots while playing"
[ "${moved%% *}" -gt 50 ] 2> /dev/null || fail "the meters did not move"
reference="$linux/tests/effect/editor_defaults.png"
if [ -f "$reference" ]; then
  total=$((640 * 480))
  differ=$(compare -metric AE -fuzz 12% "$reference" "$artifacts/editor-defaults-under-wine.png" \
    null: 2>&1 || true)
  echo "against the Linux editor at its defaults: ${differ%% *} of $total pixels differ by more than 12%"
  [ "${differ%% *}" -lt $((total / 50)) ] 2> /dev/null || fail "the editor looks different from Linux"
else
  echo "(no Linux editor snapshot at $reference: look comparison skipped)"
fi
echo "screenshots: $artifacts/editor-defaults-under-wine.png, $artifacts/editor-under-wine.png"

echo
if [ $failures -ne 0 ]; then
  echo "wine-tests: $failures check(s) failed"
  exit 1
fi
echo "wine-tests: all checks passed"
