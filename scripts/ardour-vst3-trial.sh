#!/usr/bin/env bash
# Tries the built VST3 bundle in a real Linux host: Ardour from Debian's packages, driven
# headless through its Lua interpreter (ardour7-lua) with the dummy audio backend. Not part
# of the test suite (CI does not depend on a DAW); run it by hand:
#   ./scripts/ardour-vst3-trial.sh [BUILD]   (default build/release; installs ardour when
#                                            missing, which needs root or sudo)
# Steps: Ardour's VST3 scanner reads the bundle; a session gets a stereo track with a sine
# generator followed by QuarloDorvantix, whose "Limiter Level" is set to +6 dB; the session
# is saved and closed; it is reopened, the setting is read back, and the session is exported
# with the plug-in active and with it deactivated. The host tool measures both exports.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

if ! command -v ardour7-lua > /dev/null; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends ardour
fi

build=${1:-$root/build/release}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null
fi
cmake --build "$build" --target QuarloDorvantixVst3 qdhost > /dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/qd-ardour-vst3.XXXXXX")
trap 'rm -rf "$work"' EXIT
# A private home: Ardour's configuration and plug-in cache stay out of the user's; the
# bundle goes where Linux hosts look for a user's VST3 plug-ins.
export HOME="$work/home"
export VST3_PATH="$HOME/.vst3"
mkdir -p "$VST3_PATH"
cp -r "$build/vst3/QuarloDorvantix.vst3" "$VST3_PATH/"
export WORK="$work"

# A first start lays out Ardour's configuration folders; the scanner records its results
# there, and only then does a session find the plug-in.
echo 'print("Ardour started once")' > "$work/first.lua"
ardour7-lua "$work/first.lua" 2>&1 | grep "started once"

echo "== Ardour's VST3 scanner"
scanner=$(dpkg -L ardour | grep '/ardour-vst3-scanner$' | head -1)
LD_LIBRARY_PATH=$(dirname "$scanner") "$scanner" -f -v "$VST3_PATH/QuarloDorvantix.vst3" 2>&1 |
  grep -vE "^$" | head -40

cat > "$work/create.lua" <<'LUA'
AudioEngine:set_backend("None (Dummy)", "", "")
create_session(os.getenv("WORK") .. "/session", "trial", 48000)
local track = Session:new_audio_track(2, 2, nil, 1, "Stereo", ARDOUR.PresentationInfo.max_order,
                                      ARDOUR.TrackMode.Normal, true):front()
local sine = ARDOUR.LuaAPI.new_plugin(Session, "SinGen", ARDOUR.PluginType.Lua, "")
assert(not sine:isnil(), "no sine generator")
ARDOUR.LuaAPI.set_processor_param(sine, 0, 220)   -- Hz
ARDOUR.LuaAPI.set_processor_param(sine, 1, -6)    -- dB
track:add_processor_by_index(sine, 0, nil, true)
local qd = ARDOUR.LuaAPI.new_plugin(Session, "QuarloDorvantix", ARDOUR.PluginType.VST3, "")
assert(not qd:isnil(), "Ardour did not find QuarloDorvantix")
assert(track:add_processor_by_index(qd, 1, nil, true) == 0, "could not insert the plug-in")
local plugin = qd:to_insert():plugin(0)
print("inserted " .. qd:name() .. " (" .. plugin:get_info().type .. ") with "
      .. plugin:parameter_count() .. " parameters on track " .. track:name() .. " ("
      .. track:n_inputs():n_audio() .. " in)")
for i = 0, plugin:parameter_count() - 1 do
  local _, t = plugin:get_parameter_descriptor(i, ARDOUR.ParameterDescriptor())
  print(string.format("  parameter %d: %s (%g .. %g)", i, plugin:parameter_label(i),
                      t[2].lower, t[2].upper))
end
ARDOUR.LuaAPI.set_processor_param(qd, 3, 6.0)     -- "Limiter Level", in dB
print("set Limiter Level to " .. ARDOUR.LuaAPI.get_processor_param(qd, 3, true))
assert(Session:save_state("", false, false, false, false, false) == 0, "save failed")
print("session saved")
close_session()
LUA

cat > "$work/reopen.lua" <<'LUA'
AudioEngine:set_backend("None (Dummy)", "", "")
load_session(os.getenv("WORK") .. "/session", "trial")
local qd = nil
for r in Session:get_routes():iter() do
  local i = 0
  while not r:nth_plugin(i):isnil() do
    if r:nth_plugin(i):name() == "QuarloDorvantix" then qd = r:nth_plugin(i) end
    i = i + 1
  end
end
assert(qd, "the reopened session has no QuarloDorvantix")
local level = ARDOUR.LuaAPI.get_processor_param(qd, 3, true)
print("reopened: Limiter Level " .. level)
print(math.abs(level - 6.0) < 1e-3 and "SETTING KEPT" or "SETTING LOST")
local function export(name)
  local e = Session:simple_export()
  e:set_name(name)
  e:set_folder(os.getenv("WORK"))
  e:set_range(0, 5 * 48000)
  assert(e:set_preset("75969a1c-3133-4694-864b-a1fa50e43348"), "no WAV export preset")
  assert(e:run_export(), "export failed")
end
export("with-plugin")
qd:deactivate()
export("plugin-deactivated")
close_session()
LUA

echo "== Create the session"
ardour7-lua "$work/create.lua" 2>&1 | grep -vE "^$|WARNING|Butler"
echo "== Reopen, read the setting back, export"
ardour7-lua "$work/reopen.lua" 2>&1 | grep -vE "^$|WARNING|ERROR.*encoder|Butler|direct dispatch"
grep -o '<Processor [^>]*type="vst3"[^>]*>' "$work/session/trial.ardour" |
  sed 's/^/saved in trial.ardour: /' || true
echo "== The exports, measured by the host tool"
report=$("$build/tools/host/qdhost" measure "$work/with-plugin.wav" "$work/plugin-deactivated.wav")
echo "$report"
levels() { echo "$report" | grep "$1" | awk '{print $2, $3, $4, $5}'; }
if [ "$(levels with-plugin)" != "$(levels plugin-deactivated)" ]; then
  echo "The levels differ: the plug-in shaped the audio."
else
  echo "Same levels with the plug-in active and deactivated: it passed the audio through."
fi
