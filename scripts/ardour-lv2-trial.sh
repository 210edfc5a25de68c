#!/usr/bin/env bash
# Tries the built LV2 bundle in a real Linux host: Ardour from Debian's packages, driven
# headless through its Lua interpreter (ardour7-lua) with the dummy audio backend. Not part
# of the test suite (CI does not depend on a DAW); run it by hand:
#   ./scripts/ardour-lv2-trial.sh        (installs ardour when missing; needs root or sudo)
# Steps: Ardour finds the plug-in by its URI; a session gets a stereo track with a sine
# generator followed by QuarloDorvantix, whose "Limiter Level" port is set to +6 dB; the
# session is saved and closed; it is reopened, the port value is read back, and the session
# is exported with the plug-in active and with it deactivated. The host tool measures both.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
uri="urn:quarlo:QuarloDorvantix"

if ! command -v ardour7-lua > /dev/null; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends ardour
fi

# QD_BUILD_DIR names an existing build tree to use instead.
build="${QD_BUILD_DIR:-$root/build/release}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$build" --target QuarloDorvantixLv2Bundle qdhost > /dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/qd-ardour-lv2.XXXXXX")
trap 'rm -rf "$work"' EXIT
# A private home, and the bundle where lilv finds it first: a copy installed in the user's
# ~/.lv2 plays no part.
export HOME="$work/home"
mkdir -p "$HOME/.lv2"
cp -r "$build/lv2/QuarloDorvantix.lv2" "$HOME/.lv2/"
export LV2_PATH="$HOME/.lv2:/usr/lib/lv2"
export WORK="$work" QD_URI="$uri"

echo 'print("Ardour started once")' > "$work/first.lua"
ardour7-lua "$work/first.lua" 2>&1 | grep "started once"

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
local qd = ARDOUR.LuaAPI.new_plugin(Session, os.getenv("QD_URI"), ARDOUR.PluginType.LV2, "")
assert(not qd:isnil(), "Ardour did not find " .. os.getenv("QD_URI"))
assert(track:add_processor_by_index(qd, 1, nil, true) == 0, "could not insert the plug-in")
local plugin = qd:to_insert():plugin(0)
print("inserted " .. qd:name() .. " (" .. plugin:unique_id() .. ") with "
      .. plugin:parameter_count() .. " control ports on track " .. track:name()
      .. " (" .. track:n_inputs():n_audio() .. " in)")
-- Control input 3 is "Limiter Level", in dB.
assert(ARDOUR.LuaAPI.set_processor_param(qd, 3, 6.0), "could not set Limiter Level")
print("set Limiter Level to " .. ARDOUR.LuaAPI.get_processor_param(qd, 3, true) .. " dB")
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
    local p = r:nth_plugin(i):to_insert():plugin(0)
    if p:unique_id() == os.getenv("QD_URI") then qd = r:nth_plugin(i) end
    i = i + 1
  end
end
assert(qd, "the reopened session has no QuarloDorvantix")
local level = ARDOUR.LuaAPI.get_processor_param(qd, 3, true)
print("reopened: Limiter Level " .. level .. " dB")
print(math.abs(level - 6.0) < 1e-6 and "SETTING KEPT" or "SETTING LOST")
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
grep -o '<Port symbol="limiter_level"[^>]*>' "$work/session/trial.ardour" |
  sed 's/^/saved in trial.ardour: /' || true
echo "== The exports, measured by the host tool"
"$build/tools/host/qdhost" measure "$work/with-plugin.wav" "$work/plugin-deactivated.wav"
